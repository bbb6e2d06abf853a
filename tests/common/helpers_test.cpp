#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

TEST(FixPathSlashes, CollapsesPairsLeftToRightWithoutOverlap)
{
    EXPECT_EQ(FixPathSlashes(u"a//b"_s), u"a/b"_s);
    EXPECT_EQ(FixPathSlashes(u"a///b"_s), u"a//b"_s); // three become two
    EXPECT_EQ(FixPathSlashes(u"a////b"_s), u"a//b"_s);
    EXPECT_EQ(FixPathSlashes(u"docs/report.odt"_s), u"docs/report.odt"_s);
    EXPECT_EQ(FixPathSlashes(QString()), QString());
}

TEST(FixPathSlashes, LeadingRunBecomesOneSlash)
{
    EXPECT_EQ(FixPathSlashes(u"//name.odt"_s), u"/name.odt"_s); // a scan of "/"
    EXPECT_EQ(FixPathSlashes(u"///x//y"_s), u"/x/y"_s);
    EXPECT_EQ(FixPathSlashes(u"/x///y"_s), u"/x//y"_s);
    EXPECT_EQ(FixPathSlashes(u"/"_s), u"/"_s);
}

TEST(PathParts, FileNameFolderAndExtension)
{
    EXPECT_EQ(GetFileName(u"/docs/report.odt"_s), u"report.odt"_s);
    EXPECT_EQ(GetFileName(u"report.odt"_s), u"report.odt"_s);
    EXPECT_EQ(GetFileName(u"/docs/"_s), QString());
    EXPECT_EQ(GetFolderPath(u"/docs/report.odt"_s), u"/docs/"_s);
    EXPECT_EQ(GetFolderPath(u"report.odt"_s), QString());
    EXPECT_EQ(GetFileName(u"C:\\Docs\\a.odt"_s), u"C:\\Docs\\a.odt"_s); // a backslash is a name character

    EXPECT_EQ(StripExtension(u"a.b.odt"_s), u"a.b"_s);
    EXPECT_EQ(StripExtension(u".odt"_s), u".odt"_s); // the dot at the first character stays
    EXPECT_EQ(StripExtension(u"x.odt"_s), u"x"_s);
    EXPECT_EQ(StripExtension(u"noext"_s), u"noext"_s);
    EXPECT_EQ(StripExtension(QString()), QString());
    EXPECT_EQ(StripExtension(u"/t/data"_s), u"/t/data"_s);

    // Whatever a name's first character, it is a name below its folder, never a resource.
    EXPECT_EQ(AbsolutePath(u":colon.odt"_s), QDir::currentPath() + u"/:colon.odt"_s);
    EXPECT_EQ(AbsolutePath(u"/a/./b/../c"_s), u"/a/c"_s);
    EXPECT_EQ(BelowFolder(u"/home/me"_s, u"/home/me/:colon.odt"_s), u"./:colon.odt"_s);
    EXPECT_EQ(BelowFolder(u"/home/me/"_s, u"/home/me/-x/a.odt"_s), u"./-x/a.odt"_s);
    EXPECT_EQ(BelowFolder(u"/home/me"_s, u"/home/meal/a.odt"_s), QString());
    EXPECT_EQ(BelowFolder(u"/"_s, u"/a.odt"_s), u"./a.odt"_s);
}

// What a conversion killed before its end left beside its output goes at the next one;
// what another conversion writes now, or holds, stays.
TEST(FileTests, LeftTemporariesGoUnlessHeldOrFreshOrNotOurs)
{
    QTemporaryDir dir;
    auto made = FileSystem::CreateUnique(dir.path(), u".vt-"_s, 0600, u".part"_s);
    ASSERT_TRUE(made);
    const QString held = made->first;
    const QString left = dir.filePath(u".vt-abcdEFGH.part"_s);
    const QString fresh = dir.filePath(u".vt-12345678.part"_s);
    const QString mine = dir.filePath(u".vt-notours.part"_s);
    const QString mp3 = dir.filePath(u"book.mp3"_s);
    for (const QString &path : {left, fresh, mine, mp3})
        WriteBytes(path, "x");
    for (const QString &path : {held, left, mine, mp3}) {
        const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(old, QFileDevice::FileModificationTime);
    }
    EXPECT_EQ(FileSystem::RemoveLeftTemporaries(dir.path()), 1);
    EXPECT_FALSE(QFileInfo::exists(left));
    for (const QString &path : {held, fresh, mine, mp3})
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    made->second.Close(); // its writer ended
    EXPECT_EQ(FileSystem::RemoveLeftTemporaries(dir.path()), 1);
    EXPECT_FALSE(QFileInfo::exists(held));
}

TEST(FileTests, ExistenceOfFilesAndFolders)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"f.txt"_s);
    WriteBytes(file, "x");
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(dir.path())); // a folder's time can be read too
    EXPECT_FALSE(FileExists(dir.filePath(u"missing"_s)));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_TRUE(FolderExists(dir.path()));
    EXPECT_FALSE(FolderExists(file));
    EXPECT_FALSE(FolderExists(dir.filePath(u"missing"_s)));
    EXPECT_EQ(GetShortPath(file), file);
    EXPECT_EQ(GetShortPath(dir.filePath(u"missing"_s)), QString());
}

TEST(KillFile, YieldsDeletesAndNeverThrows)
{
    QTemporaryDir dir;
    FakeEventLoop events;
    const QString file = dir.filePath(u"f.txt"_s);
    WriteBytes(file, "x");
    ::chmod(QFile::encodeName(file).constData(), 0444);
    KillFile(events, file);
    EXPECT_FALSE(FileExists(file));
    EXPECT_EQ(events.yields, 1);

    KillFile(events, dir.filePath(u"missing"_s));
    KillFile(events, QString());
    KillFile(events, dir.path()); // a folder is not a file: left alone
    EXPECT_TRUE(FolderExists(dir.path()));

    // A link goes itself; what it points at keeps its bytes and its mode.
    QTemporaryDir elsewhere;
    const QString key = elsewhere.filePath(u"id_rsa"_s);
    WriteBytes(key, "secret");
    ::chmod(QFile::encodeName(key).constData(), 0600);
    const QString link = dir.filePath(u"output.wav"_s);
    ASSERT_TRUE(QFile::link(key, link));
    KillFile(events, link);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadBytes(key), QByteArray("secret"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(key).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(WriteTextFile, WritesCodePageTextAndLineEndReplacingTheFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"t.txt"_s);
    WriteBytes(file, "a much longer earlier content");
    WriteTextFile(u"caf\u00e9 \u20ac \U0001F600"_s, file);
    EXPECT_EQ(ReadBytes(file), QByteArray("caf\xe9 \x80 ?\r\n"));
    EXPECT_THROW(WriteTextFile(u"x"_s, dir.filePath(u"no/such/folder.txt"_s)), RuntimeError);

    // The user's alone, and a link at the name is replaced, never written through.
    EXPECT_EQ(QFileInfo(file).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    QTemporaryDir elsewhere;
    WriteBytes(elsewhere.filePath(u"victim"_s), "precious");
    const QString planted = dir.filePath(u"TempTest.txt"_s);
    ASSERT_TRUE(QFile::link(elsewhere.filePath(u"victim"_s), planted));
    WriteTextFile(u"test"_s, planted);
    EXPECT_EQ(ReadBytes(elsewhere.filePath(u"victim"_s)), QByteArray("precious"));
    EXPECT_EQ(ReadBytes(planted), QByteArray("test\r\n"));
    EXPECT_FALSE(QFileInfo(planted).isSymLink());
}

TEST(WriteBinaryFile, KeepsAnExistingFileAndLeavesNoPartialOne)
{
    QTemporaryDir dir;
    FakeEventLoop events;
    const QString file = dir.filePath(u"lame.exe"_s);
    WriteBinaryFile(events, QByteArray(1000, 'a'), file);
    EXPECT_EQ(ReadBytes(file).size(), 1000);
    WriteBinaryFile(events, "other", file);
    EXPECT_EQ(ReadBytes(file), QByteArray(1000, 'a'));
    EXPECT_EQ(events.yields, 2);
    EXPECT_THROW(WriteBinaryFile(events, "x", dir.filePath(u"no/such/x"_s)), RuntimeError);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"lame.exe"_s});

    // The encoder has its mode before it has its name.
    const QString encoder = dir.filePath(u"encoder"_s);
    WriteBinaryFile(events, "#!", encoder, 0700);
    EXPECT_EQ(QFileInfo(encoder).permissions(),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    EXPECT_TRUE(FileHoldsBytes(encoder, "#!"));
    EXPECT_FALSE(FileHoldsBytes(encoder, "#?"));
    EXPECT_FALSE(FileHoldsBytes(encoder, "#!!"));
    EXPECT_FALSE(FileHoldsBytes(dir.filePath(u"missing"_s), QByteArray()));
    ASSERT_TRUE(QFile::link(encoder, dir.filePath(u"link"_s)));
    EXPECT_FALSE(FileHoldsBytes(dir.filePath(u"link"_s), "#!")); // a link is not the encoder
}

TEST(ReadTextFile, MissingEmptyAndRawBytes)
{
    QTemporaryDir dir;
    EXPECT_EQ(ReadTextFile(dir.filePath(u"missing"_s)), QString());
    const QString empty = dir.filePath(u"empty"_s);
    WriteBytes(empty, "");
    EXPECT_EQ(ReadTextFile(empty), u"empty file"_s);
    const QString text = dir.filePath(u"text"_s);
    WriteBytes(text, "abc\r\n");
    EXPECT_EQ(ReadTextFile(text), u"abc\r\n"_s);
    WriteBytes(text, "\xef\xbb\xbf\x80");
    EXPECT_EQ(ReadTextFile(text), u"\u00ef\u00bb\u00bf\u20ac"_s); // no byte-order mark honoured
}
