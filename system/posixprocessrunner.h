#pragma once

#include "api/processes.h"

#include <memory>
#include <map>

#include <sys/types.h>

// Starts programs without a shell, by absolute path or from an open file; the child reads
// nothing and its standard error is kept for ErrorOutput(). Each program is the leader of
// a process group of its own, under a guard process that waits for it: stopping a child
// stops everything it started, and when the process that started it ends, however it
// ends, the guard stops the group (SIGTERM, then SIGKILL a second later). A program whose
// name ends in ".bat" (letter case ignored) is run by the batch interpreter that ships
// with the program: interpreter /c file. A worker (this program again, serving commands on
// its standard input) is started directly, and ends with its input or with us.
class PosixProcessRunner final : public IProcessRunner
{
public:
    explicit PosixProcessRunner(QString batchInterpreter);
    std::unique_ptr<IChildProcess> Run(const QString &commandLine) override;
    std::unique_ptr<IChildProcess> RunWithMemoryLimit(const QString &commandLine, qint64 memoryLimit) override;
    std::unique_ptr<IChildProcess> RunOpened(const FileSystem::File &program, const QString &commandLine) override;
    std::unique_ptr<IWorkerProcess> StartWorker(const QStringList &arguments) override;
    void StopAll() override;

private:
    std::unique_ptr<IChildProcess> Start(const QString &commandLine, int programDescriptor, qint64 memoryLimit);

    QString m_batchInterpreter;
    /// The children that have not been reaped yet, shared with them: each guard's pid and
    /// its program's process group.
    std::shared_ptr<std::map<pid_t, pid_t>> m_running = std::make_shared<std::map<pid_t, pid_t>>();
};
