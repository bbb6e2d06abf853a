#include "common/codepage.h"
#include "filelist/documentlist.h"
#include "filelist/samples.h"
#include "system/inisettingsstore.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SamplesTest : public ::testing::Test, protected FakeServices
{
protected:
    SamplesTest()
    {
        services.programFolder = program.path();
        QDir(program.path()).mkdir(u"Samples"_s);
    }

    QString Sample(const QString &name) const { return program.path() + u"/Samples/"_s + name; }

    QTemporaryDir program;
};

} // namespace

TEST(Scramble, EveryCodeFrom1To255RoundTrips)
{
    FakeEventLoop events;
    QString all;
    for (int code = 1; code <= 255; ++code)
        all.append(CodePage::Chr(code));
    const QString key = QString::fromUtf16(kSnapshotKey);
    EXPECT_EQ(key.size(), 8);
    const QString scrambled = ScrambleText(events, all, key);
    EXPECT_EQ(scrambled.size(), all.size());
    EXPECT_NE(scrambled, all);
    EXPECT_EQ(UnscrambleText(events, scrambled, key), all);
    EXPECT_EQ(events.yields, 2 * 255);
    // The arithmetic: "a" (97) + "v" (118) = 215; 200 + 118 = 318 - 255 = 63.
    EXPECT_EQ(ScrambleText(events, u"a"_s, key), CodePage::Chr(215));
    EXPECT_EQ(ScrambleText(events, CodePage::Chr(200), key), CodePage::Chr(63));
}

TEST(Scramble, SurvivesTheSettingsFile)
{
    QTemporaryDir dir;
    FakeEventLoop events;
    const QString plain = u"/usr/lib/vocatext/Samples/Welcome.odt|/usr/lib/vocatext/Samples/Planets.odt"_s;
    const QString scrambled = ScrambleText(events, plain, QString::fromUtf16(kSnapshotKey));
    {
        IniSettingsStore store(dir.filePath(u"s.ini"_s));
        store.SetValue(u"Snapshot"_s, scrambled);
    }
    IniSettingsStore store(dir.filePath(u"s.ini"_s));
    EXPECT_EQ(UnscrambleText(events, *store.Value(u"Snapshot"_s), QString::fromUtf16(kSnapshotKey)), plain);
}

TEST_F(SamplesTest, TheSnapshotDecidesOnceWhichFilesAreSamples)
{
    WriteBytes(Sample(u"a.odt"_s), "x");
    WriteBytes(Sample(u"b.txt"_s), "x");
    TakeSampleSnapshot(services);
    EXPECT_FALSE(settings.values.value(u"Snapshot"_s).isEmpty());
    WriteBytes(Sample(u"later.odt"_s), "x");

    StringDocumentList list;
    list.Append(Sample(u"A.ODT"_s)); // other letter case: a different entry
    LoadSampleFiles(services, list);
    QStringList loaded = list.Entries().mid(1);
    loaded.sort();
    EXPECT_EQ(loaded, (QStringList{Sample(u"a.odt"_s), Sample(u"b.txt"_s)}));
    EXPECT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].kind, FakeMessageBoxes::Kind::Question);
    EXPECT_TRUE(shell.opened.isEmpty()); // answered No

    QFile::remove(Sample(u"b.txt"_s));
    boxes.answers = {true};
    LoadSampleFiles(services, list); // nothing new, the question again
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(shell.opened, QStringList{program.path() + u"/Samples/"_s});
}

TEST_F(SamplesTest, AnEmptyFolderLeavesTheSnapshotEmpty)
{
    TakeSampleSnapshot(services);
    EXPECT_EQ(settings.values.value(u"Snapshot"_s), QString());
    StringDocumentList list;
    LoadSampleFiles(services, list);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(boxes.shown.size(), 1);
}

TEST_F(SamplesTest, ASnapshotOfAnotherProgramFolderWhoseFilesAreGoneIsTakenAgain)
{
    // Taken by a build that ran from the source tree, which is gone now.
    QTemporaryDir old;
    QDir(old.path()).mkdir(u"Samples"_s);
    WriteBytes(old.path() + u"/Samples/a.odt"_s, "x");
    const QString installed = services.programFolder;
    services.programFolder = old.path();
    TakeSampleSnapshot(services);
    services.programFolder = installed;
    EXPECT_FALSE(NoSampleSnapshot(services)); // its files still exist: it stands
    QDir(old.path()).removeRecursively();
    EXPECT_TRUE(NoSampleSnapshot(services));

    // Of this program folder, it stands even when a sample was deleted: its record of this program folder is kept.
    WriteBytes(Sample(u"b.odt"_s), "x");
    TakeSampleSnapshot(services);
    QFile::remove(Sample(u"b.odt"_s));
    EXPECT_FALSE(NoSampleSnapshot(services));
    settings.values.remove(u"Snapshot"_s);
    EXPECT_TRUE(NoSampleSnapshot(services));
}

TEST(IsInFileList, ComparesWholeTextsWithLetterCase)
{
    StringDocumentList list({u"/a/b.odt"_s, u"/a/c.odt"_s});
    EXPECT_TRUE(IsInFileList(list, u"/a/c.odt"_s));
    EXPECT_FALSE(IsInFileList(list, u"/a/C.odt"_s));
    EXPECT_FALSE(IsInFileList(list, u"/a/b"_s));
}
