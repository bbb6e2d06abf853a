#include "filelist/documentlist.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

StringDocumentList Abcd()
{
    return StringDocumentList({u"A"_s, u"B"_s, u"C"_s, u"D"_s});
}

constexpr int kMiddleRow = 330; // between the scrolling rows

} // namespace

TEST(RemoveSelectedEntry, RemovesOnlyTheSelectedEntryWhenNotBusy)
{
    StringDocumentList list({u"a"_s, u"b"_s, u"a"_s});
    RemoveSelectedEntry(list, false); // nothing selected
    EXPECT_EQ(list.Count(), 3);
    list.Select(3);
    RemoveSelectedEntry(list, true); // busy
    EXPECT_EQ(list.Count(), 3);
    RemoveSelectedEntry(list, false);
    EXPECT_EQ(list.Entries(), (QStringList{u"a"_s, u"b"_s})); // the equal entry stays
    StringDocumentList empty;
    RemoveSelectedEntry(empty, false);
    EXPECT_EQ(empty.Count(), 0);
}

TEST(InListDrag, ASlowDragMovesTheEntryOnePlaceAtATime)
{
    StringDocumentList list = Abcd();
    int dragItem = 1;
    for (int hit : {1, 2, 3, 4})
        dragItem = InListDragStep(list, dragItem, hit, kMiddleRow);
    EXPECT_EQ(list.Entries(), (QStringList{u"B"_s, u"C"_s, u"D"_s, u"A"_s}));
    EXPECT_EQ(dragItem, 4);
    EXPECT_EQ(list.SelectedIndex(), 4);
}

TEST(InListDrag, AJumpSwapsJustTwoEntries)
{
    StringDocumentList list = Abcd();
    EXPECT_EQ(InListDragStep(list, 1, 4, kMiddleRow), 4);
    EXPECT_EQ(list.Entries(), (QStringList{u"D"_s, u"B"_s, u"C"_s, u"A"_s}));
}

TEST(InListDrag, EqualTextsAndMissingEntriesChangeNothing)
{
    StringDocumentList list({u"same"_s, u"x"_s, u"same"_s});
    EXPECT_EQ(InListDragStep(list, 1, 3, 100), 1);
    EXPECT_EQ(list.Entries(), (QStringList{u"same"_s, u"x"_s, u"same"_s}));
    EXPECT_TRUE(list.ScrolledTo().isEmpty());
    EXPECT_EQ(InListDragStep(list, 1, 0, kMiddleRow), 1);  // no entry under the pointer
    EXPECT_EQ(InListDragStep(list, 0, 2, kMiddleRow), 0);  // no drag item
    EXPECT_EQ(InListDragStep(list, 9, 2, kMiddleRow), 9);  // the drag item is gone
    EXPECT_EQ(list.Entries(), (QStringList{u"same"_s, u"x"_s, u"same"_s}));
}

TEST(InListDrag, ScrollsByTheScreenRow)
{
    StringDocumentList list = Abcd();
    InListDragStep(list, 2, 1, 304); // entry 1: there is no entry 0
    EXPECT_TRUE(list.ScrolledTo().isEmpty());
    InListDragStep(list, 1, 3, 304);
    EXPECT_EQ(list.ScrolledTo(), QList<int>{2});
    InListDragStep(list, 3, 2, 305);
    InListDragStep(list, 2, 3, 364);
    EXPECT_EQ(list.ScrolledTo(), QList<int>{2});
    InListDragStep(list, 3, 4, 365); // the last entry: nothing below it
    EXPECT_EQ(list.ScrolledTo(), QList<int>{2});
    InListDragStep(list, 4, 2, 365);
    EXPECT_EQ(list.ScrolledTo(), (QList<int>{2, 3}));
}

TEST(RunEntries, TakesEachEntryOfTheStartOnceInTheOrderOfTheMoment)
{
    StringDocumentList list = Abcd();
    RunEntries entries(list);
    EXPECT_EQ(entries.TakeNext(list), 1);
    list.Swap(1, 2); // the entry taken moves below the next: B, A, C, D
    list.Append(u"E"_s);
    list.Append(u"A"_s); // the same document again, added later
    EXPECT_EQ(entries.TakeNext(list), 1);
    list.Remove(4); // D
    InListDragStep(list, 3, 1, kMiddleRow); // C, A, B, E, A
    EXPECT_EQ(list.Entries(), (QStringList{u"C"_s, u"A"_s, u"B"_s, u"E"_s, u"A"_s}));
    EXPECT_EQ(entries.TakeNext(list), 1);
    EXPECT_EQ(entries.TakeNext(list), 0);
}
