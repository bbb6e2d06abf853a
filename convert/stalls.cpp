// How the scheduler notices work that makes no progress, and what it does then.
#include "convert/scheduler.h"

#include "api/processes.h"
#include "filesystem/filesystem.h"

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

// A worker or a helper that makes no progress (stopped, swapped out, a stuck engine) is
// stopped, and its work is tried once more before its document fails: a batch always ends.
void Scheduler::Watch()
{
    const qint64 limit = qint64(m_options.stallSeconds) * 1000;
    for (Worker &worker : m_workers) {
        if (!worker.task)
            continue;
        // Speech grows its WAV file as it is made; reading a document (LibreOffice has
        // ten minutes for one) shows nothing until it is done.
        const bool speaking = worker.piece > 0;
        const QString file = speaking ? worker.task->job->PiecePath(worker.piece, u".wav"_s) : QString();
        if (Stalled(worker.progressAt, worker.grown, file, speaking ? limit : limit + 600000))
            WorkerStalled(worker);
    }
    std::erase_if(m_workers, [](const Worker &worker) { return !worker.process; });
    for (size_t i = 0; i < m_children.size();) {
        Child &child = m_children[i];
        QString file;
        if (child.piece > 0)
            file = child.task->job->Pieces() == 1 ? QString() : child.task->job->PiecePath(child.piece, u".mp3"_s);
        if (Stalled(child.progressAt, child.grown, file, limit))
            ChildStalled(i);
        else
            ++i;
    }
}

bool Scheduler::Stalled(qint64 &progressAt, qint64 &grown, const QString &file, qint64 limitMs) const
{
    const qint64 now = Now();
    if (!file.isEmpty()) {
        const auto status = Fs::Stat(file);
        const qint64 size = status ? status->size : -1;
        if (size != grown) {
            grown = size;
            progressAt = now;
        }
    }
    return now - progressAt > limitMs;
}

bool Scheduler::StalledTwice(Task &task, int piece)
{
    if (++task.stalls[piece] < 2)
        return false;
    const QString what = piece > 0 ? u"piece "_s + QString::number(piece)
                         : piece == 0 ? u"reading its text"_s
                         : piece == kJoining ? u"the join"_s
                                             : u"ffmpeg"_s;
    Fail(task, what + u" made no progress for "_s + QString::number(m_options.stallSeconds)
                   + u" seconds, twice; it was stopped"_s);
    return true;
}

void Scheduler::WorkerStalled(Worker &worker)
{
    worker.process->Kill();
    worker.process.reset();
    Task &task = *std::exchange(worker.task, nullptr);
    --m_speaking;
    --task.running;
    if (!task.failed && !StalledTwice(task, worker.piece)) {
        if (worker.piece > 0) {
            Fs::Remove(task.job->PiecePath(worker.piece, u".wav"_s));
            task.pieces[static_cast<size_t>(worker.piece - 1)] = PieceState::Unspoken;
        } else {
            task.state = State::Pending; // read again by the next worker that is free
            m_next = 0;
        }
    }
    Settle(task);
}

void Scheduler::ChildStalled(size_t index)
{
    Child child = std::move(m_children[index]);
    m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(index));
    child.process->Stop();
    Task &task = *child.task;
    --task.running;
    if (child.piece != kJoining)
        --m_encoding;
    const int piece = child.piece;
    if (!task.failed && !StalledTwice(task, piece)) {
        if (piece > 0)
            task.pieces[static_cast<size_t>(piece - 1)] = PieceState::Spoken;
        else if (piece == kJoining)
            StartJoin(task);
        else
            Complete(task);
    }
    Settle(task);
}
