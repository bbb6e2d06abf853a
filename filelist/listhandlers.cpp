#include "filelist/listhandlers.h"

#include "ui/messageboxes.h"
#include "common/services.h"
#include "common/statements.h"
#include "filelist/documentlist.h"
#include "filelist/samples.h"

using namespace Qt::StringLiterals;

void PushButton2_Click(const Services &services, IDocumentList &list, bool windowBusy)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton2_Click"_s));
    run(100, [&] {
        if (!windowBusy)
            list.Clear();
    });
}

void PushButton5_Click(const Services &services, IDocumentList &list)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton5_Click"_s));
    run(100, [&] { LoadSampleFiles(services, list); });
}

void ListView1_MouseDown(ListDragState &drag)
{
    drag.IsDragging = true;
}

void ListView1_ItemClick(ListDragState &drag, const IDocumentList &list)
{
    drag.DragItem = list.SelectedIndex();
}

void ListView1_MouseMove(ListDragState &drag, IDocumentList &list, int hit, int screenRow)
{
    if (drag.IsDragging)
        drag.DragItem = InListDragStep(list, drag.DragItem, hit, screenRow);
}

void ListView1_MouseUp(ListDragState &drag)
{
    drag.IsDragging = false;
}

void ListView1_Remove(IDocumentList &list, bool windowBusy)
{
    RemoveSelectedEntry(list, windowBusy);
}

void ListView1_MoveSelected(IDocumentList &list, int by)
{
    const int from = list.SelectedIndex();
    const int to = from + by;
    if (from < 1 || to < 1 || to > list.Count())
        return;
    list.Swap(from, to);
    list.Select(to);
    list.EnsureVisible(to);
}
