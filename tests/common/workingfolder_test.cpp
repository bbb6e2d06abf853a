#include "common/runtimeerror.h"
#include "common/workingfolder.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

TEST(WorkingFolder, TempWhenSetIsReadAfreshEachTime)
{
    ScopedEnv temp("TEMP", u"/some/where"_s);
    EXPECT_EQ(WorkingFolder(), u"/some/where"_s);
    EXPECT_EQ(WorkingPath(u"output.txt"_s), u"/some/where/output.txt"_s);
    qputenv("TEMP", "/else/where");
    EXPECT_EQ(WorkingPath(u"lame.exe"_s), u"/else/where/lame.exe"_s);
    EXPECT_EQ(WorkingFolderForDisplay(), u"/else/where"_s);
}

TEST(WorkingFolder, UnsetOrEmptyTempGivesThePrivateFolder)
{
    QTemporaryDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    for (const std::optional<QString> &value : {std::optional<QString>(), std::optional<QString>(u""_s)}) {
        ScopedEnv temp("TEMP", value);
        const QString expected = tmp.path() + u"/vocatext-"_s + QString::number(::getuid());
        EXPECT_EQ(WorkingFolder(), expected);
        EXPECT_EQ(WorkingFolderForDisplay(), expected);
        struct stat st;
        ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
}

TEST(WorkingFolder, APrivateFolderThatIsALinkOrAFileOrOpenIsHandled)
{
    QTemporaryDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    ScopedEnv temp("TEMP", std::nullopt);
    const QString folder = PrivateWorkingFolder();

    QDir(tmp.path()).mkdir(u"elsewhere"_s);
    ASSERT_TRUE(QFile::link(tmp.filePath(u"elsewhere"_s), folder));
    try {
        WorkingFolder();
        ADD_FAILURE() << "a symbolic link was accepted";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.description(), u"Working folder is not private: "_s + folder);
    }
    QFile::remove(folder);

    WriteBytes(folder, "a file");
    EXPECT_THROW(WorkingFolder(), RuntimeError);
    QFile::remove(folder);

    // Our own folder opened to others is closed again.
    ASSERT_TRUE(QDir().mkdir(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0777);
    EXPECT_EQ(WorkingFolder(), folder);
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup), 0);

    if (::geteuid() == 0) { // someone else's folder
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        EXPECT_THROW(WorkingFolder(), RuntimeError);
    }
}
