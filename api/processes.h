#pragma once

#include "filesystem/filesystem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

/// The exit code that a process reports while it still runs.
inline constexpr int kStillActive = 259;

// A started child process, open for querying.
class IChildProcess
{
public:
    virtual ~IChildProcess() = default;
    /// The exit code, or kStillActive while the process runs.
    virtual int ExitCode() = 0;
    /// The end of what the process wrote on its standard error so far (a few kilobytes).
    virtual QString ErrorOutput() = 0;
    /// Ends the process at once if it still runs (a child that overran its time), with
    /// every process it started, and waits for its end.
    virtual void Stop() = 0;
    /// The most memory the process (or a program it waited for) held at once, in bytes,
    /// once it has ended; 0 before, or when it cannot be known.
    virtual qint64 PeakMemory() = 0;
};

// A worker: a child process of this program that serves one command at a time, a line on
// its standard input, and answers with lines on its standard output. It ends with the end
// of its input, and with the process that started it.
class IWorkerProcess
{
public:
    virtual ~IWorkerProcess() = default;
    /// The descriptor to wait on for its answers (poll for reading).
    virtual int AnswerDescriptor() const = 0;
    /// Sends one line (with its line feed); false when the worker is gone.
    virtual bool Send(const QByteArray &line) = 0;
    /// The complete lines that have come (without their line feeds), at once; ended is set
    /// when the worker has ended (the answers that came before are still given).
    virtual QList<QByteArray> Answers(bool *ended) = 0;
    /// Ends it at once (a worker that makes no progress) and waits for its end.
    virtual void Kill() = 0;
    /// How it ended, in words ("exit code 1", "signal 9"); "" while it runs.
    virtual QString HowItEnded() = 0;
};

// Runs command lines as child processes; none ever shows a window, and none outlives the
// process that started it.
class IProcessRunner
{
public:
    virtual ~IProcessRunner() = default;
    /// Starts the command line, split into program and arguments with the double-quote
    /// rules. Throws RuntimeError whose number is the C errno value when the program cannot
    /// be started.
    virtual std::unique_ptr<IChildProcess> Run(const QString &commandLine) = 0;
    /// Starts the command line as Run does, the program and every process it starts each
    /// allowed at most memoryLimit bytes of data: an allocation beyond it fails.
    virtual std::unique_ptr<IChildProcess> RunWithMemoryLimit(const QString &commandLine, qint64 memoryLimit) = 0;
    /// Starts the command line as Run does, but the program is the file open in program
    /// (one its caller checked), not whatever stands at the name of its first word now.
    virtual std::unique_ptr<IChildProcess> RunOpened(const FileSystem::File &program, const QString &commandLine) = 0;
    /// Starts this program once more with the arguments, as a worker that serves commands
    /// (see IWorkerProcess); its errors go where ours go. Throws RuntimeError (errno) when
    /// it cannot be started.
    virtual std::unique_ptr<IWorkerProcess> StartWorker(const QStringList &arguments) = 0;
    /// Stops every child started here that still runs, with every process it started, and
    /// waits a moment for them to end (closing the window mid-run leaves no encoder or join
    /// behind).
    virtual void StopAll() = 0;
};
