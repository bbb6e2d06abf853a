#include "filelist/documentlist.h"
#include "filelist/listhandlers.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(ListView1_MoveSelected, MovesTheSelectedEntryOnePlaceAndKeepsItSelectedAndInView)
{
    StringDocumentList list({u"A"_s, u"B"_s, u"C"_s});
    list.Select(1);
    ListView1_MoveSelected(list, 1, false);
    ListView1_MoveSelected(list, 1, false);
    EXPECT_EQ(list.Entries(), (QStringList{u"B"_s, u"C"_s, u"A"_s}));
    EXPECT_EQ(list.SelectedIndex(), 3);
    EXPECT_EQ(list.ScrolledTo(), (QList<int>{2, 3}));
    ListView1_MoveSelected(list, 1, false); // the last entry goes no further
    ListView1_MoveSelected(list, -1, false);
    EXPECT_EQ(list.Entries(), (QStringList{u"B"_s, u"A"_s, u"C"_s}));
    EXPECT_EQ(list.SelectedIndex(), 2);
}

TEST(ListView1_MoveSelected, RefusedWhileBusyAndWithNothingSelected)
{
    StringDocumentList list({u"A"_s, u"B"_s});
    ListView1_MoveSelected(list, 1, false); // nothing selected
    list.Select(2);
    ListView1_MoveSelected(list, -1, true); // busy, as a removal is refused
    list.Select(1);
    ListView1_MoveSelected(list, -1, false); // the first entry goes no further up
    EXPECT_EQ(list.Entries(), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_EQ(list.SelectedIndex(), 1);
    EXPECT_TRUE(list.ScrolledTo().isEmpty());
}
