#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class IChildProcess;
class IEventLoop;
class IProcessRunner;
namespace FileSystem {
class File;
}

// The conversion's children (the encoder, the join, ffmpeg): started from a command line,
// and how they ended.

/// How a child ended: its exit code and the end of its error output; or, when it could not
/// be started, the errno value and why.
struct ChildEnd
{
    int startError = 0;
    int exitCode = 0;
    QString errorOutput;

    bool Started() const { return startError == 0; }
};

/// A child that was started, or the end of one that could not be.
struct Started
{
    std::unique_ptr<IChildProcess> child;
    ChildEnd failure;
};

/// Starts the command line; program, when given, is the open file started in place of the
/// command line's first word (one its caller checked).
Started StartChild(IProcessRunner &processes, const QString &commandLine, const FileSystem::File *program = nullptr);

/// How a child that has ended ended.
ChildEnd EndOf(IChildProcess &child, int exitCode);

/// Waits for the started child (the ShellAndWait of the window's run): polls it every
/// 100 ms until it has ended, yielding to the event loop so the window stays alive, and
/// calls onPoll with the number of the poll after each. Without a time-out.
ChildEnd ShellAndWait(IEventLoop &events, Started started, const std::function<void(qint32 polls)> &onPoll);
