#include "convert/workers.h"

#include "api/processes.h"
#include "common/runtimeerror.h"
#include "convert/channel.h"
#include "pipeline/shell32.h"

#include <algorithm>

WorkerPool::WorkerPool(IProcessRunner &processes, QStringList arguments, int most)
    : m_processes(processes)
    , m_arguments(std::move(arguments))
    , m_most(most)
{
}

WorkerPool::~WorkerPool() = default;

bool WorkerPool::HasRoom()
{
    return Busy() < static_cast<int>(m_workers.size()) || static_cast<int>(m_workers.size()) < m_most;
}

bool WorkerPool::Send(int task, int piece, const QStringList &words, qint64 nowMs)
{
    auto idle = std::find_if(m_workers.begin(), m_workers.end(), [](const Worker &w) { return w.task < 0; });
    if (idle == m_workers.end()) {
        if (static_cast<int>(m_workers.size()) >= m_most)
            return false;
        try {
            m_workers.push_back({m_processes.StartWorker(m_arguments), -1, 0, ProgressWatch(nowMs)});
        } catch (const RuntimeError &e) {
            m_cannotStart = e.description();
            return false;
        }
        idle = m_workers.end() - 1;
    }
    idle->task = task;
    idle->piece = piece;
    idle->watch = ProgressWatch(nowMs);
    idle->process->Send(Channel::Line(words)); // a worker that is gone is noticed on its output
    return true;
}

int WorkerPool::Busy() const
{
    return static_cast<int>(std::count_if(m_workers.begin(), m_workers.end(), [](const Worker &w) { return w.task >= 0; }));
}

void WorkerPool::AddDescriptors(std::vector<pollfd> &fds) const
{
    for (const Worker &worker : m_workers)
        fds.push_back({worker.process->AnswerDescriptor(), POLLIN, 0});
}

void WorkerPool::Read(const std::function<void(int task, int piece, const QStringList &words)> &answered,
                      const std::function<void(int task, const QString &how)> &ended)
{
    for (Worker &worker : m_workers) {
        bool gone = false;
        for (const QByteArray &line : worker.process->Answers(&gone)) {
            const int task = std::exchange(worker.task, -1);
            if (task >= 0)
                answered(task, worker.piece, Channel::Words(line));
        }
        if (gone) {
            const QString how = worker.process->HowItEnded();
            worker.process.reset();
            if (const int task = std::exchange(worker.task, -1); task >= 0)
                ended(task, how);
        }
    }
    std::erase_if(m_workers, [](const Worker &worker) { return !worker.process; });
}

void WorkerPool::KillStalled(qint64 nowMs, qint64 limitMs, qint64 textLimitMs,
                             const std::function<QString(int task, int piece)> &watchedFile,
                             const std::function<void(int task, int piece)> &stalled)
{
    std::vector<std::pair<int, int>> stopped;
    for (Worker &worker : m_workers) {
        if (worker.task < 0)
            continue;
        // Speech grows its WAV file as it is made; reading a document shows nothing until done.
        const QString file = watchedFile(worker.task, worker.piece);
        if (worker.watch.Stalled(nowMs, file, file.isEmpty() ? textLimitMs : limitMs)) {
            worker.process->Kill();
            worker.process.reset();
            stopped.emplace_back(std::exchange(worker.task, -1), worker.piece);
        }
    }
    std::erase_if(m_workers, [](const Worker &worker) { return !worker.process; });
    for (const auto &[task, piece] : stopped)
        stalled(task, piece);
}

void WorkerPool::KillAll()
{
    for (Worker &worker : m_workers)
        worker.process->Kill();
    m_workers.clear();
}

HelperProcesses::HelperProcesses() = default;
HelperProcesses::~HelperProcesses() = default;

void HelperProcesses::Add(std::unique_ptr<IChildProcess> process, int task, int piece, qint64 nowMs)
{
    m_helpers.push_back({std::move(process), task, piece, ProgressWatch(nowMs)});
}

void HelperProcesses::Reap(const std::function<void(int task, int piece, const ChildEnd &end)> &ended)
{
    for (size_t i = 0; i < m_helpers.size();) {
        const int code = m_helpers[i].process->ExitCode();
        if (code == kStillActive) {
            ++i;
            continue;
        }
        const Helper helper = std::move(m_helpers[i]);
        m_helpers.erase(m_helpers.begin() + static_cast<std::ptrdiff_t>(i));
        ended(helper.task, helper.piece, EndOf(*helper.process, code));
    }
}

void HelperProcesses::StopStalled(qint64 nowMs, qint64 limitMs,
                                  const std::function<QString(int task, int piece)> &watchedFile,
                                  const std::function<void(int task, int piece)> &stalled)
{
    std::vector<std::pair<int, int>> stopped;
    for (size_t i = 0; i < m_helpers.size();) {
        Helper &helper = m_helpers[i];
        if (!helper.watch.Stalled(nowMs, watchedFile(helper.task, helper.piece), limitMs)) {
            ++i;
            continue;
        }
        helper.process->Stop();
        stopped.emplace_back(helper.task, helper.piece);
        m_helpers.erase(m_helpers.begin() + static_cast<std::ptrdiff_t>(i));
    }
    for (const auto &[task, piece] : stopped)
        stalled(task, piece);
}

void HelperProcesses::Clear()
{
    m_helpers.clear();
}
