#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class IEventLoop;
class IProcessRunner;
namespace FileSystem {
class File;
}

// The run-and-wait operations (the Shell32 module): start a command, poll it every 100 ms
// until it has ended while the window stays alive, and tell the caller of every poll.
// Neither has a time-out.

/// What a wait answers for a command that could not be started: this plus the error number.
inline constexpr qint32 kStartFailureBase = -2147221504;

/// Runs the command line and waits for it, calling onPoll after every 100 ms poll (the
/// window refreshes its progress text there). Returns the exit code, or
/// kStartFailureBase + the error number. errorOutput, when given, receives the end of the
/// command's error output, or why it could not be started. program, when given, is the
/// open file started in place of the command line's first word.
qint32 ShellAndWait(IProcessRunner &processes, IEventLoop &events, const QString &commandLine,
                    std::optional<int> windowStyle, const std::function<void()> &onPoll,
                    QString *errorOutput = nullptr, const FileSystem::File *program = nullptr);

// What a long wait shows: from the 50th poll on, the window's progress bar counts the
// polls and creeps its value forward; at the end it takes its text back.
class IWaitProgress
{
public:
    virtual ~IWaitProgress() = default;
    /// Poll number polls (50 or more) has passed.
    virtual void Polled(qint32 polls) = 0;
    /// The wait has ended.
    virtual void Ended() = 0;
};

/// Runs the command line and waits for it, telling progress (when given) of every poll
/// from the 50th. Returns the exit code, or kStartFailureBase + the error number.
qint32 ShellAndWaitProgress(IProcessRunner &processes, IEventLoop &events, const QString &commandLine,
                            std::optional<int> windowStyle, IWaitProgress *progress, QString *errorOutput = nullptr);
