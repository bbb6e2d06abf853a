#pragma once

#include "common/documentlist.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The documents of one run: the entries the list holds when it starts, each taken once,
// in the list's order at the time of its turn, wherever moves have carried it meanwhile.
class RunEntries
{
public:
    RunEntries() = default;
    explicit RunEntries(const IDocumentList &list);

    /// The first entry of the list, as it stands now, that is yet to be taken; it is taken.
    /// 0 when every one is taken or gone from the list.
    int TakeNext(const IDocumentList &list);

private:
    QSet<quint64> m_pending;
};

/// Removes the selected entry unless the window is busy; nothing when none is selected.
void RemoveSelectedEntry(IDocumentList &list, bool windowBusy);

/// Rows of the screen above which (and from which on) a drag scrolls the list.
inline constexpr int kDragScrollUpBelowRow = 305;
inline constexpr int kDragScrollDownFromRow = 365;

/// One pointer move of the in-list drag: swaps the dragged entry and the entry under the
/// pointer (hit, 0 for none), each with its text and identity, selects the latter, and
/// scrolls near the screen rows 305 and 365. Returns the entry that is the drag item afterwards.
int InListDragStep(IDocumentList &list, int dragItem, int hit, int screenRow);
