#include "filelist/documentlist.h"

StringDocumentList::StringDocumentList(QStringList entries)
    : m_entries(std::move(entries))
{
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_ids.append(++m_lastId);
}

int StringDocumentList::Count() const
{
    return static_cast<int>(m_entries.size());
}

QString StringDocumentList::Text(int index) const
{
    return m_entries.value(index - 1);
}

void StringDocumentList::SetText(int index, const QString &text)
{
    if (index >= 1 && index <= Count())
        m_entries[index - 1] = text;
}

quint64 StringDocumentList::Id(int index) const
{
    return m_ids.value(index - 1);
}

void StringDocumentList::Swap(int first, int second)
{
    if (first < 1 || first > Count() || second < 1 || second > Count())
        return;
    m_entries.swapItemsAt(first - 1, second - 1);
    m_ids.swapItemsAt(first - 1, second - 1);
}

void StringDocumentList::Append(const QString &path)
{
    m_entries.append(path);
    m_ids.append(++m_lastId);
}

void StringDocumentList::Remove(int index)
{
    if (index < 1 || index > Count())
        return;
    m_entries.removeAt(index - 1);
    m_ids.removeAt(index - 1);
    if (m_selected == index)
        m_selected = 0;
    else if (m_selected > index)
        --m_selected;
}

void StringDocumentList::Clear()
{
    m_entries.clear();
    m_ids.clear();
    m_selected = 0;
}

int StringDocumentList::SelectedIndex() const
{
    return m_selected;
}

void StringDocumentList::Select(int index)
{
    m_selected = (index >= 1 && index <= Count()) ? index : 0;
}

void StringDocumentList::EnsureVisible(int index)
{
    m_scrolledTo.append(index);
}

RunEntries::RunEntries(const IDocumentList &list)
{
    for (int i = 1; i <= list.Count(); ++i)
        m_pending.insert(list.Id(i));
}

int RunEntries::TakeNext(const IDocumentList &list)
{
    for (int i = 1; i <= list.Count() && !m_pending.isEmpty(); ++i) {
        if (m_pending.remove(list.Id(i)))
            return i;
    }
    return 0;
}

void RemoveSelectedEntry(IDocumentList &list, bool windowBusy)
{
    if (windowBusy || list.Count() == 0)
        return;
    const int selected = list.SelectedIndex();
    if (selected >= 1)
        list.Remove(selected);
}

int InListDragStep(IDocumentList &list, int dragItem, int hit, int screenRow)
{
    if (hit < 1 || hit > list.Count() || dragItem < 1 || dragItem > list.Count())
        return dragItem;
    if (list.Text(dragItem) == list.Text(hit))
        return dragItem;
    list.Swap(dragItem, hit);
    list.Select(hit);
    if (screenRow < kDragScrollUpBelowRow) {
        if (hit >= 2)
            list.EnsureVisible(hit - 1);
    } else if (screenRow >= kDragScrollDownFromRow && hit + 1 <= list.Count()) {
        list.EnsureVisible(hit + 1);
    }
    return hit;
}
