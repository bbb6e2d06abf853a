#include "common/runtimeerror.h"
#include "common/statements.h"
#include "filelist/addfiles.h"
#include "filelist/addfolder.h"
#include "filesystem/filesystem.h"
#include "filelist/documentlist.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {


class FolderScanTest : public ::testing::Test, protected FakeServices
{
protected:
    FolderScanTest()
    {
        root = dir.path() + u"/root"_s;
        QDir().mkpath(root);
    }

    void Make(const QString &relative, const QByteArray &bytes = "x")
    {
        const QString path = root + u'/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        WriteBytes(path, bytes);
    }

    QStringList Scan(const QString &folder, const QString &pattern)
    {
        StringDocumentList list;
        Statements run(reports, SiteTag(u"Form1"_s, u"PushButton4_Click"_s));
        AddFolderFiles(run, services, list, folder, pattern);
        return list.Entries();
    }

    QTemporaryDir dir;
    QString root;
};

} // namespace

TEST(FileAttributes, LinuxFilesMapOntoTheAttributeSums)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"plain.odt"_s), "x");
    WriteBytes(dir.filePath(u".hidden.odt"_s), "x");
    WriteBytes(dir.filePath(u".hidden-ro.odt"_s), "x");
    QDir(dir.path()).mkdir(u".hiddendir"_s);
    QFile::link(dir.filePath(u"plain.odt"_s), dir.filePath(u"link.odt"_s));
    ::chmod(QFile::encodeName(dir.filePath(u".hidden-ro.odt"_s)).constData(), 0444);
    EXPECT_EQ(FileAttributes(dir.filePath(u"plain.odt"_s)), 32);
    EXPECT_EQ(FileAttributes(dir.filePath(u".hidden.odt"_s)), 34);
    if (::geteuid() != 0) { // root may write anything
        EXPECT_EQ(FileAttributes(dir.filePath(u".hidden-ro.odt"_s)), 35);
    }
    EXPECT_EQ(FileAttributes(dir.filePath(u".hiddendir"_s)), 18);
    EXPECT_EQ(FileAttributes(dir.filePath(u".hiddendir/"_s)), 18);
    EXPECT_EQ(FileAttributes(dir.filePath(u"link.odt"_s)), 1024 + 32);
    EXPECT_THROW(FileAttributes(dir.filePath(u"missing"_s)), RuntimeError);
}

TEST(FileAttributes, OnlyTheExactSumsAreRefused)
{
    EXPECT_FALSE(IsAcceptedFileAttributes(34));
    for (int sum : {2, 32, 35, 38, 1058})
        EXPECT_TRUE(IsAcceptedFileAttributes(sum)) << sum;
    EXPECT_FALSE(IsWalkedFolderAttributes(22, false));
    EXPECT_FALSE(IsWalkedFolderAttributes(1046, false));
    EXPECT_TRUE(IsWalkedFolderAttributes(22, true)); // a drive root
    for (int sum : {16, 18, 20, 23, 1040})
        EXPECT_TRUE(IsWalkedFolderAttributes(sum, false)) << sum;
}

TEST(HasUnsafeChars, RefusesControlsAndWhatIsNoTextButNoScript)
{
    EXPECT_FALSE(HasUnsafeChars(u"Caf\u00e9 notes (2024)"_s));
    EXPECT_TRUE(HasUnsafeChars(u"what?"_s));
    EXPECT_TRUE(HasUnsafeChars(u"tab\there"_s));
    EXPECT_TRUE(HasUnsafeChars(u"\u20ac price"_s)); // code 128
    EXPECT_TRUE(HasUnsafeChars(u"it\u2019s"_s));     // code 146
    EXPECT_FALSE(HasUnsafeChars(u"\u65e5\u672c \u0412\u043e\u0439\u043d\u0430"_s)); // every script
    EXPECT_FALSE(HasUnsafeChars(u"\U0001F600"_s));
    EXPECT_TRUE(HasUnsafeChars(u"new\u0085line"_s));                   // a control outside the code page
    EXPECT_TRUE(HasUnsafeChars(FileSystem::NameFromNative("bad\xff.odt"))); // a byte that is no UTF-8
    EXPECT_FALSE(HasUnsafeChars(u"\u00a0\u00ff"_s));
}

TEST_F(FolderScanTest, FilesComeOutBreadthFirstFolderByFolder)
{
    Make(u"r.odt"_s);
    Make(u"a/a.odt"_s);
    Make(u"a/x/x.odt"_s);
    Make(u"b/b.odt"_s);
    Make(u"b/y/z/z.odt"_s);
    // The root's files, then a's and b's, then level 2 (x), then level 3 (z).
    EXPECT_EQ(Scan(root, u"*.odt"_s), (QStringList{root + u"/r.odt"_s, root + u"/a/a.odt"_s, root + u"/b/b.odt"_s,
                                                   root + u"/a/x/x.odt"_s, root + u"/b/y/z/z.odt"_s}));
}

TEST_F(FolderScanTest, ListingsComeInTheOrderAFileManagerShows)
{
    // Natural and letter case ignored: an audiobook's chapters in their order.
    const QStringList chapters = {u"Chapter 1.odt"_s, u"Chapter 2.odt"_s, u"chapter 3.odt"_s, u"Chapter 10.odt"_s,
                                  u"Chapter 11.odt"_s, u"CHAPTER 12.odt"_s};
    for (qsizetype i = chapters.size() - 1; i >= 0; --i)
        Make(u"book/"_s + chapters[i]);
    for (const QString &part : {u"Part 10"_s, u"part 9"_s, u"Part 1"_s})
        Make(u"parts/"_s + part + u"/x.odt"_s);
    EXPECT_EQ(ListFolderFiles(root + u"/book"_s, u"*.odt"_s), chapters);
    EXPECT_EQ(Scan(root + u"/parts"_s, u"*.odt"_s),
              (QStringList{root + u"/parts/Part 1/x.odt"_s, root + u"/parts/part 9/x.odt"_s,
                           root + u"/parts/Part 10/x.odt"_s}));
    QStringList names = {u"b"_s, u"B"_s, u"a10"_s, u"A2"_s, u"a1"_s};
    SortForListing(names);
    EXPECT_EQ(names, (QStringList{u"a1"_s, u"A2"_s, u"a10"_s, u"B"_s, u"b"_s})); // the same every time
}

TEST_F(FolderScanTest, TheTrashIsAHiddenSystemFolderThatIsNeverWalked)
{
    ScopedEnv home("HOME", root);
    ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    Make(u"kept.odt"_s);
    Make(u".local/share/Trash/files/deleted.odt"_s);
    Make(u".local/share/Trash/info/deleted.odt.trashinfo"_s);
    Make(u"usb/.Trash-1000/files/deleted.odt"_s);
    Make(u"usb/.Trash/deleted.odt"_s);
    Make(u"usb/kept2.odt"_s);
    EXPECT_EQ(FileAttributes(root + u"/.local/share/Trash"_s), 22);
    EXPECT_EQ(FileAttributes(root + u"/usb/.Trash-1000/"_s), 22);
    EXPECT_EQ(FileAttributes(root + u"/.local"_s), 18); // merely hidden: walked
    EXPECT_EQ(Scan(root, u"*.odt"_s), (QStringList{root + u"/kept.odt"_s, root + u"/usb/kept2.odt"_s}));

    // XDG_DATA_HOME moves the user's trash.
    ScopedEnv moved("XDG_DATA_HOME", root + u"/usb"_s);
    Make(u"usb/Trash/files/gone.odt"_s);
    EXPECT_EQ(FileAttributes(root + u"/usb/Trash"_s), 22);
    EXPECT_EQ(FileAttributes(root + u"/.local/share/Trash"_s), 16);
}

TEST_F(FolderScanTest, AFolderWhoseAttributesCannotBeReadIsNotWalked)
{
    // The folder vanishes while the walk yields, and is back (with a sub-folder) by the time
    // the failure's report is closed: it is skipped, not walked.
    Make(u"a/sub/s.odt"_s);
    bool removed = false;
    events.onYield = [&] {
        if (!removed) {
            removed = true;
            QDir(root + u"/a"_s).removeRecursively();
        }
    };
    boxes.onShow = [&](const FakeMessageBoxes::Box &) { Make(u"a/sub/s.odt"_s); };
    QStringList folders{root + u"/a/"_s};
    GetSubDirectories2016(reports, services, folders, true);
    EXPECT_EQ(folders, QStringList{root + u"/a/"_s});
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"in Brindle2021/08/31.AddFolder.GetSubDirectories2016 at line 116"_s));
}

TEST_F(FolderScanTest, ExtensionCaseTildeAndHiddenRules)
{
    Make(u"a.ODT"_s);
    Make(u"b.odt"_s);
    Make(u"c.txt"_s);
    Make(u"~lock.odt"_s);
    Make(u"x~.odt"_s);
    Make(u".~lock.b.odt#"_s);
    Make(u".hidden.odt"_s);
    Make(u".hidden/inside.odt"_s); // a hidden folder (18) is walked
    QStringList found = Scan(root, u"*.odt"_s);
    found.sort();
    EXPECT_EQ(found, (QStringList{root + u"/.hidden/inside.odt"_s, root + u"/a.ODT"_s, root + u"/b.odt"_s,
                                  root + u"/x~.odt"_s}));
    QStringList every = Scan(root, u"*.*"_s);
    every.sort();
    EXPECT_EQ(every, (QStringList{root + u"/.hidden/inside.odt"_s, root + u"/a.ODT"_s, root + u"/b.odt"_s,
                                  root + u"/c.txt"_s, root + u"/x~.odt"_s}));
}

TEST_F(FolderScanTest, UnsafeNamesLongPathsAndLinkLoopsAreSkippedWithoutAHang)
{
    Make(u"ok.odt"_s);
    Make(u"it\u2019s/in.odt"_s);              // an unsafe folder name: not walked
    Make(u"\u65e5\u672c.odt"_s);              // not in the code page: not appended
    const QByteArray invalid = QFile::encodeName(root) + "/bad\xff\xfe.odt"; // not valid text
    ::close(::open(invalid.constData(), O_CREAT | O_WRONLY, 0644));
    // Two links back to the root: a walk that followed them would never end.
    QFile::link(root, root + u"/loop1"_s);
    QFile::link(root, root + u"/loop2"_s);
    // A folder whose path reaches 260 characters keeps its files but is not walked into.
    QString deep = root + u'/';
    while (deep.size() < 262)
        deep += u"d/"_s;
    Make(deep.mid(root.size() + 1) + u"deep.odt"_s);
    const QStringList found = Scan(root, u"*.odt"_s);
    EXPECT_EQ(found.count(root + u"/ok.odt"_s), 1);
    for (const QString &path : found) {
        EXPECT_FALSE(path.contains(u"\u2019"_s));
        EXPECT_FALSE(path.contains(u"loop"_s)) << path.toStdString();
        EXPECT_FALSE(path.endsWith(u"deep.odt"_s));
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(FolderScanTest, AFolderWithATrailingSlashGivesSingleSlashes)
{
    Make(u"a.odt"_s);
    EXPECT_EQ(Scan(root + u'/', u"*.odt"_s), QStringList{root + u"/a.odt"_s});
}

TEST_F(FolderScanTest, TheButtonRemembersTheFolderAndShowsTheHourglass)
{
    Make(u"a.odt"_s);
    PlainMainWindow window;
    dialogs.pickedFolder = QString();
    PushButton4_Click(services, window);
    EXPECT_EQ(settings.values.value(u"Extension"_s), u"odt"_s);
    EXPECT_FALSE(settings.values.contains(u"LastFolder"_s));
    EXPECT_EQ(window.list.Count(), 0);

    dialogs.pickedFolder = root;
    PushButton4_Click(services, window);
    PushButton4_Click(services, window); // picking the same folder twice appends twice
    EXPECT_EQ(window.list.Entries(), (QStringList{root + u"/a.odt"_s, root + u"/a.odt"_s}));
    EXPECT_EQ(settings.values.value(u"LastFolder"_s), root);
    EXPECT_EQ(dialogs.asked.last(), u"PickFolder|Please select folder:|"_s + root);
    EXPECT_EQ(window.pointers.mid(0, 2), (QList<MousePointer>{MousePointer::Hourglass, MousePointer::Default}));
}

TEST_F(FolderScanTest, DialogResultsAreSplitAndJoined)
{
    StringDocumentList list;
    dialogs.openResult = QString();
    PushButton3_Click(services, list);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_EQ(dialogs.asked.first(), u"OpenFiles||2621953|Add File(s) - Use Ctrl & Shift to select multiple "
                                     u"files|Open Office Writer Documents (*.odt)|*.odt"_s);

    dialogs.openResult = u"/docs/one.odt"_s;
    PushButton3_Click(services, list);
    PushButton3_Click(services, list);
    dialogs.openResult = u"/docs\0a.odt\0b.odt\0c.odt"_s;
    PushButton3_Click(services, list);
    dialogs.openResult = u"/\0x.odt\0y.odt"_s;
    PushButton3_Click(services, list);
    EXPECT_EQ(list.Entries(), (QStringList{u"/docs/one.odt"_s, u"/docs/one.odt"_s, u"/docs/a.odt"_s,
                                           u"/docs/b.odt"_s, u"/docs/c.odt"_s, u"/x.odt"_s, u"/y.odt"_s}));

    dialogs.failWithTooMany = true;
    PushButton3_Click(services, list);
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(boxes.Texts(), QStringList{u"You've selected too many files to add.\r\rPlease try adding via the "
                                         u"\"Add All\" button."_s});
}

TEST_F(FolderScanTest, DropsAppendFilesAsDroppedAndWalkFolders)
{
    Make(u"A/a.odt"_s);
    Make(u"A/b.txt"_s);
    Make(u"A/~temp.odt"_s);
    Make(u"B/c.odt"_s);
    StringDocumentList list;
    DropOnList(services, list, {u"/elsewhere/notes.txt"_s, root + u"/A"_s, root + u"/B"_s});
    QStringList fromA = list.Entries().mid(1, 2);
    fromA.sort();
    EXPECT_EQ(list.Entries().first(), u"/elsewhere/notes.txt"_s);
    EXPECT_EQ(fromA, (QStringList{root + u"/A/a.odt"_s, root + u"/A/b.txt"_s}));
    EXPECT_EQ(list.Entries().mid(3), QStringList{root + u"/B/c.odt"_s});
    EXPECT_TRUE(QFile::exists(root + u"/A/a.odt"_s)); // only read, never moved
}
