#include "common/runtimeerror.h"
#include "system/privateworkingfolder.h"
#include "api/workingfolder.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

unsigned ModeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QString Uid()
{
    return QString::number(::getuid());
}

// A folder that everybody may write, as /tmp is.
struct SharedFolder
{
    SharedFolder() { ::chmod(QFile::encodeName(dir.path()).constData(), 01777); }
    QString Path() const { return dir.path(); }
    QTemporaryDir dir;
};

} // namespace

TEST(WorkingFolder, TheUsersOwnPrivateTempIsUsedAsItIsAndReadAfresh)
{
    QTemporaryDir first;
    QTemporaryDir second;
    ScopedEnv temp("TEMP", first.path());
    PrivateWorkingFolder working;
    EXPECT_EQ(working.Path(), first.path());
    EXPECT_EQ(WorkingPath(working, u"output.txt"_s), first.path() + u"/output.txt"_s);
    qputenv("TEMP", QFile::encodeName(second.path()));
    EXPECT_EQ(working.Path(), second.path());
    EXPECT_EQ(working.ForDisplay(), second.path());
}

TEST(WorkingFolder, ASharedTempGetsAPrivateFolderInside)
{
    SharedFolder shared;
    ScopedEnv temp("TEMP", shared.Path());
    PrivateWorkingFolder working;
    const QString expected = shared.Path() + u"/vocatext-"_s + Uid();
    EXPECT_EQ(working.Path(), expected);
    EXPECT_EQ(ModeOf(expected), 0700u);
    EXPECT_EQ(working.ForDisplay(), shared.Path()); // the message names TEMP as it is

    // A folder of the user's that others may enter is closed again.
    ::chmod(QFile::encodeName(expected).constData(), 0777);
    EXPECT_EQ(working.Path(), expected);
    EXPECT_EQ(ModeOf(expected), 0700u);
}

TEST(WorkingFolder, UnsetOrEmptyTempGivesThePrivateFolderOfTheTemporaryFolder)
{
    QTemporaryDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    for (const std::optional<QString> &value : {std::optional<QString>(), std::optional<QString>(u""_s)}) {
        ScopedEnv temp("TEMP", value);
        PrivateWorkingFolder working;
        const QString expected = tmp.path() + u"/vocatext-"_s + Uid();
        EXPECT_EQ(working.Path(), expected);
        EXPECT_EQ(working.ForDisplay(), expected);
        EXPECT_EQ(ModeOf(expected), 0700u);
    }
}

TEST(WorkingFolder, ARelativeOrDashLeadingTempIsMadeAbsolute)
{
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    QDir(dir.path()).mkdir(u"-x"_s);
    ::chmod(QFile::encodeName(dir.filePath(u"-x"_s)).constData(), 0700);
    {
        ScopedEnv temp("TEMP", u"-x"_s);
        PrivateWorkingFolder working;
        EXPECT_EQ(working.Path(), QDir(dir.path()).canonicalPath() + u"/-x"_s);
        EXPECT_TRUE(working.Path().startsWith(u'/'));
    }
    QDir::setCurrent(before);
}

TEST(WorkingFolder, APrivateFolderThatIsNotPrivateIsRefusedOnceThenAFallbackServes)
{
    SharedFolder shared;
    QTemporaryDir runtime;
    QTemporaryDir elsewhere;
    ScopedEnv temp("TEMP", shared.Path());
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    const QString planted = PrivateWorkingFolder::PrivateFolderIn(shared.Path());
    ASSERT_TRUE(QFile::link(elsewhere.path(), planted)); // another user's link, say

    FakeDiagnostics diagnostics;
    PrivateWorkingFolder working(&diagnostics);
    try {
        working.Path();
        ADD_FAILURE() << "a link was accepted as the working folder";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.description(), u"Working folder is not private: "_s + planted);
    }
    ASSERT_EQ(diagnostics.lines.size(), 1);
    EXPECT_TRUE(diagnostics.lines[0].startsWith(u"Working folder is not private: "_s + planted
                                                + u" (it is a symbolic link); Vocatext works in "_s));
    // From then on the fallback, which the user owns, is used without another word.
    const QString fallback = runtime.path() + u"/vocatext"_s;
    EXPECT_EQ(working.Path(), fallback);
    EXPECT_EQ(working.Path(), fallback);
    EXPECT_EQ(ModeOf(fallback), 0700u);
    EXPECT_EQ(diagnostics.lines.size(), 1);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());

    if (::geteuid() == 0) { // someone else's folder
        QFile::remove(planted);
        ASSERT_TRUE(QDir().mkdir(planted));
        ASSERT_EQ(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        PrivateWorkingFolder another(&diagnostics);
        EXPECT_THROW(another.Path(), RuntimeError);
        EXPECT_TRUE(diagnostics.lines.last().contains(u"(it belongs to user 65534)"_s));
        EXPECT_TRUE(another.Path().startsWith(fallback)); // beside the first instance's, which holds it
    }
}

TEST(WorkingFolder, ASecondInstanceWorksInAFolderOfItsOwnRemovedWhenItEnds)
{
    SharedFolder shared;
    ScopedEnv temp("TEMP", shared.Path());
    const QString base = PrivateWorkingFolder::PrivateFolderIn(shared.Path());
    PrivateWorkingFolder first;
    EXPECT_EQ(first.Path(), base);
    QString own;
    {
        PrivateWorkingFolder second;
        own = second.Path();
        EXPECT_EQ(own, base + u"-2"_s);
        EXPECT_EQ(ModeOf(own), 0700u);
        WriteBytes(own + u"/output001.txt"_s, "the second instance's");
        EXPECT_EQ(first.Path(), base); // each keeps its own
        EXPECT_EQ(second.Path(), own);
        PrivateWorkingFolder third;
        EXPECT_EQ(third.Path(), base + u"-3"_s);
    }
    EXPECT_FALSE(QFileInfo::exists(own));
    EXPECT_FALSE(QFileInfo::exists(base + u"-3"_s));
    EXPECT_TRUE(QFileInfo::exists(base)); // the first one's segment texts stay for the user to look at
}

TEST(WorkingFolder, OnlyMarkedFoldersOfInstancesThatDiedAreEverRemoved)
{
    SharedFolder shared;
    ScopedEnv temp("TEMP", shared.Path());
    const QString base = PrivateWorkingFolder::PrivateFolderIn(shared.Path());
    ASSERT_EQ(MakeMarkedFolder(base + u"-2"_s), 0);
    ASSERT_TRUE(QDir().mkpath(base + u"-2/deeper"_s));
    WriteBytes(base + u"-2/deeper/output001.txt"_s, "left behind");
    QTemporaryDir elsewhere;
    WriteBytes(elsewhere.filePath(u"keep"_s), "not ours to remove");
    ASSERT_TRUE(QFile::link(elsewhere.path(), base + u"-2/link"_s));
    ASSERT_TRUE(QDir().mkpath(base + u"-3"_s)); // named like one, made by nobody of ours
    WriteBytes(base + u"-3/mark"_s, "This folder was made by Vocatext");
    PrivateWorkingFolder working;
    EXPECT_EQ(working.Path(), base);
    EXPECT_FALSE(QFileInfo::exists(base + u"-2"_s));
    EXPECT_TRUE(QFileInfo::exists(base + u"-3/mark"_s));
    EXPECT_EQ(ReadBytes(elsewhere.filePath(u"keep"_s)), QByteArray("not ours to remove")); // links never followed
}

TEST(WorkingFolder, AUsersOwnTempAndTheFoldersBesideItAreNeverEmptied)
{
    // TEMP=~/scratch beside ~/scratch-2/thesis: the thesis stays, whoever starts and ends.
    QTemporaryDir home;
    const QString scratch = home.filePath(u"scratch"_s);
    ASSERT_TRUE(QDir().mkpath(scratch + u"-2/thesis"_s));
    WriteBytes(scratch + u"-2/thesis/chapter1.odt"_s, "months of work");
    ASSERT_TRUE(QDir().mkdir(scratch));
    ::chmod(QFile::encodeName(scratch).constData(), 0700);
    ScopedEnv temp("TEMP", scratch);
    PrivateWorkingFolder first;
    EXPECT_EQ(first.Path(), scratch);
    {
        PrivateWorkingFolder second;
        EXPECT_EQ(second.Path(), scratch + u"-3"_s); // -2 is taken by the user's own folder
    }
    EXPECT_FALSE(QFileInfo::exists(scratch + u"-3"_s));
    first.Release();
    PrivateWorkingFolder again;
    EXPECT_EQ(again.Path(), scratch);
    EXPECT_EQ(ReadBytes(scratch + u"-2/thesis/chapter1.odt"_s), QByteArray("months of work"));
}

TEST(WorkingFolder, NoFolderIsPrivateBelowAFolderThatOthersMayChange)
{
    // A project folder that everybody may write and that is not sticky: anyone may put a
    // folder of their own in the place of one inside it.
    QTemporaryDir open;
    ::chmod(QFile::encodeName(open.path()).constData(), 0777);
    ASSERT_TRUE(QDir(open.path()).mkdir(u"mine"_s));
    ::chmod(QFile::encodeName(open.filePath(u"mine"_s)).constData(), 0700);
    QTemporaryDir safe;
    ASSERT_TRUE(QFile::link(open.filePath(u"mine"_s), safe.filePath(u"link"_s)));
    QTemporaryDir runtime;
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    const QString because = u" (the folder "_s + open.path() + u" above it can be changed by others (others may write "
                                                                u"it, and it is not sticky)); Vocatext works in "_s
                            + runtime.path() + u"/vocatext instead"_s;
    const QList<std::pair<QString, QString>> temps = {
        {open.path(), PrivateWorkingFolder::PrivateFolderIn(open.path())}, // its private folder
        {open.filePath(u"mine"_s), open.filePath(u"mine"_s)},              // the user's own folder in it
        {safe.filePath(u"link"_s), safe.filePath(u"link"_s)},              // and a link that leads there
    };
    for (const auto &[temp, refused] : temps) {
        ScopedEnv tempHere("TEMP", temp);
        FakeDiagnostics diagnostics;
        PrivateWorkingFolder working(&diagnostics);
        try {
            working.Path();
            ADD_FAILURE() << "taken: " << temp.toStdString();
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.description(), u"Working folder is not private: "_s + refused);
        }
        EXPECT_EQ(diagnostics.lines, QStringList{u"Working folder is not private: "_s + refused + because});
        EXPECT_EQ(working.Path(), runtime.path() + u"/vocatext"_s);
    }
    EXPECT_EQ(QDir(open.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"mine"_s});

    // The fallbacks are held to the same rule: a runtime folder there is passed over for
    // ~/.cache, and a home there leaves no folder at all, said once.
    ASSERT_TRUE(QDir(open.path()).mkpath(u"run"_s));
    ::chmod(QFile::encodeName(open.filePath(u"run"_s)).constData(), 0700);
    ScopedEnv openRuntime("XDG_RUNTIME_DIR", open.filePath(u"run"_s));
    ScopedEnv tempHere("TEMP", open.path());
    QTemporaryDir home;
    {
        ScopedEnv homeHere("HOME", home.path());
        PrivateWorkingFolder working;
        EXPECT_THROW(working.Path(), RuntimeError);
        EXPECT_EQ(working.Path(), home.path() + u"/.cache/vocatext"_s);
    }
    ScopedEnv openHome("HOME", open.filePath(u"mine"_s));
    FakeDiagnostics diagnostics;
    PrivateWorkingFolder working(&diagnostics);
    for (int i = 0; i < 3; ++i) {
        try {
            working.Path();
            ADD_FAILURE() << "a folder was taken";
        } catch (const RuntimeError &e) {
            EXPECT_TRUE(e.description().startsWith(i == 0 ? u"Working folder is not private: "_s
                                                          : u"No private working folder can be used: "_s))
                << e.description().toStdString();
        }
    }
    ASSERT_EQ(diagnostics.lines.size(), 1);
    EXPECT_TRUE(diagnostics.lines[0].contains(u"; no other folder can be used either: Working folder is not private: "_s
                                              + open.filePath(u"mine/.cache/vocatext"_s)))
        << diagnostics.lines[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(open.filePath(u"mine/.cache"_s)));
}

TEST(WorkingFolder, AProgramIsOpenedFromTheCheckedFolderOnlyWhenItIsTheOneWritten)
{
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    ScopedEnv temp("TEMP", dir.path());
    PrivateWorkingFolder working;
    const QString program = dir.filePath(u"lame.exe"_s);
    WriteBytes(program, "the encoder");
    ::chmod(QFile::encodeName(program).constData(), 0700);
    const FileSystem::File opened = working.OpenProgram(u"lame.exe"_s, "the encoder");
    EXPECT_EQ(*FileSystem::ReadOpen(opened, 100), QByteArray("the encoder"));

    auto refused = [&](const char *why) {
        try {
            working.OpenProgram(u"lame.exe"_s, "the encoder");
            ADD_FAILURE() << "opened although " << why;
        } catch (const RuntimeError &e) {
            EXPECT_TRUE(e.description().contains(program)) << e.description().toStdString();
        }
    };
    ::chmod(QFile::encodeName(program).constData(), 0777);
    refused("others may write it");
    WriteBytes(program, "another program");
    ::chmod(QFile::encodeName(program).constData(), 0700);
    refused("it holds other bytes");
    QFile::remove(program);
    WriteBytes(dir.filePath(u"elsewhere"_s), "the encoder");
    ::chmod(QFile::encodeName(dir.filePath(u"elsewhere"_s)).constData(), 0700);
    ASSERT_TRUE(QFile::link(dir.filePath(u"elsewhere"_s), program));
    refused("it is a link");
}
