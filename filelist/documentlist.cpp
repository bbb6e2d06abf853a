#include "filelist/documentlist.h"

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
