#pragma once

class IDocumentList;
struct Services;

// The document list's own handlers: emptying it, the sample files, and the in-list drag
// that moves an entry by swapping texts with the entry under the pointer.

/// "Clear List": removes every entry unless the window is busy.
void PushButton2_Click(const Services &services, IDocumentList &list, bool windowBusy);
/// "Load Sample/Example Files".
void PushButton5_Click(const Services &services, IDocumentList &list);

/// The in-list drag, owned by the window: a button is down on the list; the entry being
/// moved (0: none). DragItem is set at every entry click and kept after the release.
struct ListDragState
{
    bool IsDragging = false;
    int DragItem = 0;
};

/// Any mouse button pressed on the list.
void ListView1_MouseDown(ListDragState &drag);
/// An entry clicked: it becomes the entry that a drag moves.
void ListView1_ItemClick(ListDragState &drag, const IDocumentList &list);
/// The pointer moved over the list with hit the entry under it (0: none) at a row of the
/// screen: with a button down, one drag step.
void ListView1_MouseMove(ListDragState &drag, IDocumentList &list, int hit, int screenRow);
/// The button let go.
void ListView1_MouseUp(ListDragState &drag);
/// The Delete key, or a double click: the selected entry goes, unless the window is busy.
void ListView1_Remove(IDocumentList &list, bool windowBusy);
/// Ctrl+Up (by -1) or Ctrl+Down (by 1): the selected entry changes places with its neighbour
/// and stays selected and in view, nothing at either end of the list. Like a drag it goes
/// through during a run, which takes the documents yet to be converted in the order of the moment.
void ListView1_MoveSelected(IDocumentList &list, int by);
