#pragma once

#include <QString>

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
};

/// The last line of a program's error output that says something: terminal escapes and
/// progress redraws removed; "" when there is none.
QString LastErrorLine(const QString &errorOutput);

// Runs command lines as child processes; none ever shows a window.
class IProcessRunner
{
public:
    virtual ~IProcessRunner() = default;
    /// Starts the command line, split into program and arguments with the double-quote
    /// rules; windowStyle is accepted and has no effect here. Throws RuntimeError whose
    /// number is the C errno value when the program cannot be started.
    virtual std::unique_ptr<IChildProcess> Run(const QString &commandLine, int windowStyle) = 0;
};

// Starts programs with posix_spawn, without a shell; the child reads nothing and its
// standard error is kept for ErrorOutput(). A program whose name ends in ".bat" (letter
// case ignored) is run by the batch interpreter that ships with the program: interpreter /c file.
class PosixProcessRunner final : public IProcessRunner
{
public:
    explicit PosixProcessRunner(QString batchInterpreter);
    std::unique_ptr<IChildProcess> Run(const QString &commandLine, int windowStyle) override;

private:
    QString m_batchInterpreter;
};
