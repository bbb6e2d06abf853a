#pragma once

#include "convert/stalls.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include <poll.h>

class IChildProcess;
class IProcessRunner;
class IWorkerProcess;
struct ChildEnd;

// The converter's worker processes: at most as many as it may run at once, each serving
// one command at a time (see worker.h), each command for one piece of one document (the
// scheduler's number of it).
class WorkerPool
{
public:
    WorkerPool(IProcessRunner &processes, QStringList arguments, int most);
    ~WorkerPool();

    /// True when a worker is idle or another may be started.
    bool HasRoom();
    /// Hands a command to an idle worker (started when fewer than most run); false when
    /// none can be had (CannotStart() says why, when none could be started).
    bool Send(int task, int piece, const QStringList &words, qint64 nowMs);
    const QString &CannotStart() const { return m_cannotStart; }
    /// The workers at work.
    int Busy() const;

    /// The descriptors to wait on for answers.
    void AddDescriptors(std::vector<pollfd> &fds) const;
    /// Reads what came: answered for each answer (the worker is idle again), ended for the
    /// work of each worker that ended before it answered (how it ended, in words).
    void Read(const std::function<void(int task, int piece, const QStringList &words)> &answered,
              const std::function<void(int task, const QString &how)> &ended);
    /// Kills each worker whose work has made no progress for limitMs (the file that
    /// watchedFile names for its piece has not grown, or without one for textLimitMs) and
    /// tells stalled of its work.
    void KillStalled(qint64 nowMs, qint64 limitMs, qint64 textLimitMs,
                     const std::function<QString(int task, int piece)> &watchedFile,
                     const std::function<void(int task, int piece)> &stalled);
    void KillAll();

private:
    struct Worker
    {
        std::unique_ptr<IWorkerProcess> process;
        int task = -1; // -1: idle
        int piece = 0;
        ProgressWatch watch;
    };

    IProcessRunner &m_processes;
    QStringList m_arguments;
    int m_most;
    std::vector<Worker> m_workers;
    QString m_cannotStart;
};

// The helpers that work for the converter beside its workers (encoders, joins, ffmpeg),
// each for one piece (or a step of its own) of one document.
class HelperProcesses
{
public:
    HelperProcesses();
    ~HelperProcesses();

    void Add(std::unique_ptr<IChildProcess> process, int task, int piece, qint64 nowMs);
    bool IsEmpty() const { return m_helpers.empty(); }
    /// Tells ended of each helper that has ended (it is gone then).
    void Reap(const std::function<void(int task, int piece, const ChildEnd &end)> &ended);
    /// Stops each helper whose work has made no progress for limitMs (the file watchedFile
    /// names has not grown, or without one time alone) and tells stalled of it.
    void StopStalled(qint64 nowMs, qint64 limitMs, const std::function<QString(int task, int piece)> &watchedFile,
                     const std::function<void(int task, int piece)> &stalled);
    /// Forgets them all (their processes were stopped).
    void Clear();

private:
    struct Helper
    {
        std::unique_ptr<IChildProcess> process;
        int task = -1;
        int piece = 0;
        ProgressWatch watch;
    };
    std::vector<Helper> m_helpers;
};
