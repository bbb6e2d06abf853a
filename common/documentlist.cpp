#include "common/documentlist.h"

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
