#include "common/runtimeerror.h"
#include "common/helpers.h"
#include "system/posixprocessrunner.h"
#include "api/processes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Waits for the child as the program's polls do.
int Finish(IChildProcess &child)
{
    QElapsedTimer waited;
    waited.start();
    int code = kStillActive;
    while ((code = child.ExitCode()) == kStillActive && waited.elapsed() < 10000)
        QThread::msleep(5);
    return code;
}

QString Script(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    const QString path = dir.filePath(name);
    WriteBytes(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

TEST(PosixProcessRunner, ExitCodesAndErrorOutputComeBack)
{
    QTemporaryDir dir;
    PosixProcessRunner runner(u"/no/interpreter"_s);
    const QString script = Script(dir, u"talk"_s, "echo 'LAME 3.100' >&2; printf 'progress\\r\\033[K' >&2; "
                                                  "echo 'Error writing output file' >&2; exit 3\n");
    auto child = runner.Run(u'"' + script + u'"');
    EXPECT_EQ(Finish(*child), 3);
    EXPECT_EQ(LastErrorLine(child->ErrorOutput()), u"Error writing output file"_s);
    EXPECT_EQ(child->ExitCode(), 3); // asked again, the same answer

    // A child killed by a signal ends with 128 + the signal's number.
    auto killed = runner.Run(u'"' + Script(dir, u"die"_s, "kill -9 $$\n") + u'"');
    EXPECT_EQ(Finish(*killed), 128 + SIGKILL);

    // Much error output never blocks the child; its end is kept.
    auto chatty = runner.Run(u'"' + Script(dir, u"chatty"_s, "i=0; while [ $i -lt 3000 ]; do echo line $i >&2; "
                                                            "i=$((i+1)); done; echo last words >&2\n")
                                 + u'"');
    EXPECT_EQ(Finish(*chatty), 0);
    EXPECT_LE(chatty->ErrorOutput().size(), 4096);
    EXPECT_EQ(LastErrorLine(chatty->ErrorOutput()), u"last words"_s);
}

TEST(PosixProcessRunner, AProgramThatCannotStartThrowsItsErrno)
{
    QTemporaryDir dir;
    PosixProcessRunner runner(u"/no/interpreter"_s);
    try {
        runner.Run(u"\""_s + dir.filePath(u"missing"_s) + u"\" -h"_s);
        ADD_FAILURE() << "a missing program started";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), ENOENT);
        EXPECT_TRUE(e.description().endsWith(dir.filePath(u"missing"_s)));
    }
    const QString plain = dir.filePath(u"plain"_s);
    WriteBytes(plain, "not a program");
    try {
        runner.Run(u'"' + plain + u'"');
        ADD_FAILURE() << "a file that is not executable started";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), EACCES);
    }
    EXPECT_THROW(runner.Run(QString()), RuntimeError);

    // Nothing is ever looked up in PATH, with or without an empty entry in it.
    WriteBytes(dir.filePath(u"-h"_s), "#!/bin/sh\ntouch planted-ran\n");
    ::chmod(QFile::encodeName(dir.filePath(u"-h"_s)).constData(), 0755);
    ScopedEnv path("PATH", u"/usr/bin:/bin:"_s);
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    for (const QString &line : {u"\"\" -h \"a.wav\""_s, u"-h"_s, u"sh -c true"_s})
        EXPECT_THROW(runner.Run(line), RuntimeError) << line.toStdString();
    QDir::setCurrent(before);
    EXPECT_FALSE(QFile::exists(dir.filePath(u"planted-ran"_s)));
}

// Stopping a child stops what it started too (soffice starts soffice.bin, a script its commands).
TEST(PosixProcessRunner, StopAndStopAllEndEveryProcessAChildStarted)
{
    QTemporaryDir dir;
    PosixProcessRunner runner(u"/no/interpreter"_s);
    auto starter = [&](const QString &name, const QByteArray &grandchild) {
        const QByteArray pid = QFile::encodeName(dir.filePath(name + u".pid"_s));
        return runner.Run(u'"' + Script(dir, name, grandchild + " & echo $! > '" + pid + "'\nwait\n") + u'"');
    };
    auto pidOf = [&](const QString &name) {
        QElapsedTimer waited;
        waited.start();
        while (ReadBytes(dir.filePath(name + u".pid"_s)).isEmpty() && waited.elapsed() < 5000)
            QThread::msleep(5);
        return ReadBytes(dir.filePath(name + u".pid"_s));
    };
    auto stopped = starter(u"stopped"_s, "sleep 30");
    const QByteArray stoppedGrandchild = pidOf(u"stopped"_s);
    stopped->Stop();
    EXPECT_EQ(stopped->ExitCode(), 128 + SIGKILL);
    EXPECT_FALSE(ProcessRuns(stoppedGrandchild)) << "a grandchild outlived Stop()";

    auto slow = runner.Run(u'"' + Script(dir, u"slow"_s, "sleep 30\n") + u'"');
    auto stubborn = starter(u"stubborn"_s, "(trap '' TERM; exec sleep 30)");
    const QByteArray stubbornGrandchild = pidOf(u"stubborn"_s);
    QElapsedTimer timer;
    timer.start();
    runner.StopAll();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_NE(slow->ExitCode(), kStillActive);
    EXPECT_NE(stubborn->ExitCode(), kStillActive);
    EXPECT_FALSE(ProcessRuns(stubbornGrandchild)) << "a grandchild that ignores SIGTERM outlived StopAll()";
}

TEST(PosixProcessRunner, CommandFilesGoToTheBatchInterpreterWhateverTheirLetterCase)
{
    QTemporaryDir dir;
    const QString record = dir.filePath(u"arguments"_s);
    const QString interpreter = Script(dir, u"vocatext-cmd"_s, "printf '%s|' \"$@\" > '" + record.toUtf8() + "'\n");
    PosixProcessRunner runner(interpreter);
    for (const QString &name : {u"JoinMP3.bat"_s, u"JOIN.BAT"_s, u"x.Bat"_s}) {
        const QString file = dir.filePath(u"a b/"_s + name);
        auto child = runner.Run(u'"' + file + u'"');
        EXPECT_EQ(Finish(*child), 0);
        EXPECT_EQ(ReadBytes(record), (u"/c|"_s + file + u'|').toUtf8()) << name.toStdString();
    }
}

TEST(PosixProcessRunner, AnOpenedProgramRunsWhateverItsNameHoldsBySoon)
{
    QTemporaryDir dir;
    PosixProcessRunner runner(u"/no/interpreter"_s);
    const QString path = Script(dir, u"encoder"_s, "echo the checked one >&2\n");
    const FileSystem::File folder(::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY));
    auto opened = FileSystem::OpenInFolder(folder.Descriptor(), u"encoder"_s);
    ASSERT_TRUE(opened);
    // Someone puts another program at its name after the check.
    const QString planted = Script(dir, u"planted"_s, "echo the planted one >&2\n");
    ASSERT_TRUE(QFile::remove(path) && QFile::rename(planted, path));
    auto child = runner.RunOpened(*opened, u'"' + path + u"\" -h"_s);
    EXPECT_EQ(Finish(*child), 0);
    EXPECT_EQ(LastErrorLine(child->ErrorOutput()), u"the checked one"_s);
    EXPECT_THROW(runner.RunOpened(FileSystem::File(), u'"' + path + u'"'), RuntimeError);
}

TEST(PosixProcessRunner, NoChildOutlivesTheProcessThatStartedIt)
{
    // A process that starts a long child, which starts one of its own that ignores
    // SIGTERM, and is killed without a chance to stop them.
    QTemporaryDir dir;
    const QString pids = dir.filePath(u"pids"_s);
    const QString script = Script(dir, u"long"_s, "(trap '' TERM; exec sleep 60) & echo $$ $! > '"
                                                      + QFile::encodeName(pids) + "'\nwait\n");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t starter = ::fork();
    if (starter == 0) {
        PosixProcessRunner runner(u"/no/interpreter"_s);
        auto child = runner.Run(u'"' + script + u'"');
        while (ReadBytes(pids).isEmpty())
            ::usleep(5000);
        [[maybe_unused]] const ssize_t written = ::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    const QList<QByteArray> started = ReadBytes(pids).trimmed().split(' ');
    ASSERT_EQ(started.size(), 2);
    ::kill(starter, SIGKILL);
    ::waitpid(starter, nullptr, 0);
    EXPECT_FALSE(ProcessRuns(started[0])) << "the encoder of a killed front end ran on";
    EXPECT_FALSE(ProcessRuns(started[1])) << "what the child started ran on";
}
