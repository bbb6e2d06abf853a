#include "app/workingfoldercheck.h"
#include "common/buildconfig.h"
#include "common/workingfolder.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString ExpectedMessage(const QString &folder)
{
    return u"Software cannot access your TEMP folder.\r\n\r\n"
           u"It needs to access the TEMP folder to work correctly.\r\n\r\n"
           u"Please delete files in your\r\n\r\n"_s
           + folder + u"\r\n\r\nfolder\r\n\r\nPlease email "_s + QString::fromUtf8(kSupportAddress)
           + u" if you have any questions."_s;
}

} // namespace

TEST(CheckWorkingFolder, AWritableFolderPassesAndKeepsNoTestFile)
{
    QTemporaryDir dir;
    ScopedEnv temp("TEMP", dir.path());
    FakeMessageBoxes boxes;
    FakeEventLoop events;
    WriteBytes(dir.filePath(u"TempTest.txt"_s), "leftover from an earlier start, longer than the test text");
    EXPECT_TRUE(CheckWorkingFolder(boxes, events));
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST(CheckWorkingFolder, AMissingOrUnusableFolderIsNamedInOneMessage)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"plainfile"_s), "x");
    for (const QString &bad : {dir.filePath(u"missing"_s), dir.filePath(u"plainfile"_s)}) {
        ScopedEnv temp("TEMP", bad);
        FakeMessageBoxes boxes;
        FakeEventLoop events;
        EXPECT_FALSE(CheckWorkingFolder(boxes, events));
        ASSERT_EQ(boxes.shown.size(), 1);
        EXPECT_EQ(boxes.shown[0].kind, FakeMessageBoxes::Kind::Information);
        EXPECT_EQ(boxes.shown[0].text, ExpectedMessage(bad));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(u"missing"_s)));
}

TEST(CheckWorkingFolder, UnsetTempUsesThePrivateFolder)
{
    QTemporaryDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    ScopedEnv temp("TEMP", std::nullopt);
    FakeMessageBoxes boxes;
    FakeEventLoop events;
    EXPECT_TRUE(CheckWorkingFolder(boxes, events));
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_TRUE(QDir(PrivateWorkingFolder()).entryList(QDir::Files).isEmpty());
}

TEST(CheckWorkingFolder, APrivateFolderThatIsALinkFailsWithoutWritingThroughIt)
{
    QTemporaryDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    ScopedEnv temp("TEMP", std::nullopt);
    QDir(tmp.path()).mkdir(u"target"_s);
    ASSERT_TRUE(QFile::link(tmp.filePath(u"target"_s), PrivateWorkingFolder()));
    FakeMessageBoxes boxes;
    FakeEventLoop events;
    EXPECT_FALSE(CheckWorkingFolder(boxes, events));
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, ExpectedMessage(PrivateWorkingFolder()));
    EXPECT_TRUE(QDir(tmp.filePath(u"target"_s)).entryList(QDir::Files).isEmpty());
}
