#include "app/workingfoldercheck.h"
#include "system/privateworkingfolder.h"
#include "common/buildconfig.h"
#include "api/workingfolder.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

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

// The check with the program's real working folder.
struct CheckTest : public ::testing::Test
{
    CheckTest()
        : working(&fakes.diagnostics)
    {
        fakes.services.workingFolder = &working;
    }
    bool Check() { return CheckWorkingFolder(fakes.services); }

    FakeServices fakes;
    PrivateWorkingFolder working;
};

} // namespace

TEST_F(CheckTest, AWritableFolderPassesAndKeepsNoTestFile)
{
    QTemporaryDir dir;
    ScopedEnv temp("TEMP", dir.path());
    WriteBytes(dir.filePath(u"TempTest.txt"_s), "leftover from an earlier start, longer than the test text");
    EXPECT_TRUE(Check());
    EXPECT_TRUE(fakes.boxes.shown.isEmpty());
    EXPECT_TRUE(fakes.diagnostics.lines.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(CheckTest, AMissingOrUnusableFolderIsNamedInOneMessageWithItsCauseOnStandardError)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"plainfile"_s), "x");
    for (const QString &bad : {dir.filePath(u"missing"_s), dir.filePath(u"plainfile"_s)}) {
        ScopedEnv temp("TEMP", bad);
        fakes.boxes.shown.clear();
        fakes.diagnostics.lines.clear();
        EXPECT_FALSE(Check());
        ASSERT_EQ(fakes.boxes.shown.size(), 1);
        EXPECT_EQ(fakes.boxes.shown[0].kind, FakeMessageBoxes::Kind::Information);
        EXPECT_EQ(fakes.boxes.shown[0].text, ExpectedMessage(bad));
        // Refused once, and the fallback serves from then on.
        ASSERT_EQ(fakes.diagnostics.lines.size(), 2);
        EXPECT_TRUE(fakes.diagnostics.lines[0].startsWith(u"Path not found: "_s + bad + u" (TEMP names no folder); "_s
                                                          u"Vocatext works in "_s))
            << fakes.diagnostics.lines[0].toStdString();
        EXPECT_EQ(fakes.diagnostics.lines[1], u"The working folder cannot be used: Path not found: "_s + bad);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(u"missing"_s)));
}

TEST_F(CheckTest, UnsetTempUsesThePrivateFolder)
{
    QTemporaryDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    ScopedEnv temp("TEMP", std::nullopt);
    EXPECT_TRUE(Check());
    EXPECT_TRUE(fakes.boxes.shown.isEmpty());
    EXPECT_TRUE(QDir(PrivateWorkingFolder::PrivateFolderIn(tmp.path())).entryList(QDir::Files).isEmpty());
}

TEST_F(CheckTest, AHijackedPrivateFolderGivesOneMessageThenTheFallbackWorks)
{
    QTemporaryDir tmp;
    QTemporaryDir runtime;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    ScopedEnv temp("TEMP", std::nullopt);
    QDir(tmp.path()).mkdir(u"target"_s);
    const QString planted = PrivateWorkingFolder::PrivateFolderIn(tmp.path());
    ASSERT_TRUE(QFile::link(tmp.filePath(u"target"_s), planted));
    EXPECT_FALSE(Check());
    ASSERT_EQ(fakes.boxes.shown.size(), 1);
    // The user is not asked to delete files in a folder that is not theirs.
    EXPECT_EQ(fakes.boxes.shown[0].text, ExpectedMessage(tmp.path()));
    EXPECT_TRUE(QDir(tmp.filePath(u"target"_s)).entryList(QDir::Files).isEmpty()); // nothing written through it
    ASSERT_EQ(fakes.diagnostics.lines.size(), 2);
    EXPECT_TRUE(fakes.diagnostics.lines[0].startsWith(u"Working folder is not private: "_s + planted));
    EXPECT_EQ(fakes.diagnostics.lines[1], u"The working folder cannot be used: Working folder is not private: "_s + planted);

    // The next check, and every run, use the fallback without a word.
    fakes.boxes.shown.clear();
    EXPECT_TRUE(Check());
    EXPECT_TRUE(fakes.boxes.shown.isEmpty());
    EXPECT_EQ(working.Path(), runtime.path() + u"/vocatext"_s);
}
