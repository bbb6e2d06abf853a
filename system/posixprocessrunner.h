#pragma once

#include "api/processes.h"

#include <memory>
#include <set>

#include <sys/types.h>

// Starts programs without a shell, by absolute path or from an open file; the child reads
// nothing, its standard error is kept for ErrorOutput(), and it is sent SIGTERM when the
// process that started it ends, however it ends. A program whose name ends in ".bat" (letter
// case ignored) is run by the batch interpreter that ships with the program: interpreter /c file.
class PosixProcessRunner final : public IProcessRunner
{
public:
    explicit PosixProcessRunner(QString batchInterpreter);
    std::unique_ptr<IChildProcess> Run(const QString &commandLine) override;
    std::unique_ptr<IChildProcess> RunOpened(const FileSystem::File &program, const QString &commandLine) override;
    std::unique_ptr<IWorkerProcess> StartWorker(const QStringList &arguments) override;
    void StopAll() override;

private:
    std::unique_ptr<IChildProcess> Start(const QString &commandLine, int programDescriptor);

    QString m_batchInterpreter;
    /// The children that have not been reaped yet, shared with them.
    std::shared_ptr<std::set<pid_t>> m_running = std::make_shared<std::set<pid_t>>();
};
