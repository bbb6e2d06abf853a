#include "filelist/documentlist.h"
#include "filelist/listhandlers.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(ListView1_MoveSelected, MovesTheSelectedEntryOnePlaceAndKeepsItSelectedAndInView)
{
    StringDocumentList list({u"A"_s, u"B"_s, u"C"_s});
    list.Select(1);
    ListView1_MoveSelected(list, 1);
    ListView1_MoveSelected(list, 1);
    EXPECT_EQ(list.Entries(), (QStringList{u"B"_s, u"C"_s, u"A"_s}));
    EXPECT_EQ(list.SelectedIndex(), 3);
    EXPECT_EQ(list.ScrolledTo(), (QList<int>{2, 3}));
    ListView1_MoveSelected(list, 1); // the last entry goes no further
    ListView1_MoveSelected(list, -1);
    EXPECT_EQ(list.Entries(), (QStringList{u"B"_s, u"A"_s, u"C"_s}));
    EXPECT_EQ(list.SelectedIndex(), 2);

    StringDocumentList unselected({u"A"_s, u"B"_s});
    ListView1_MoveSelected(unselected, 1);
    unselected.Select(1);
    ListView1_MoveSelected(unselected, -1); // the first entry goes no further up
    EXPECT_EQ(unselected.Entries(), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_TRUE(unselected.ScrolledTo().isEmpty());
}
