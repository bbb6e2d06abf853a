#include "convert/stalls.h"

#include "convert/scheduler.h"
#include "filesystem/filesystem.h"

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

bool ProgressWatch::Stalled(qint64 nowMs, const QString &file, qint64 limitMs)
{
    if (!file.isEmpty()) {
        const auto status = Fs::Stat(file);
        const qint64 size = status ? status->size : -1;
        if (size != m_grown) {
            m_grown = size;
            m_progressAt = nowMs;
        }
    }
    return nowMs - m_progressAt > limitMs;
}

// A worker or a helper that makes no progress (stopped, swapped out, a stuck engine) is
// stopped, and its work is tried once more before its document fails: a batch always ends.
void Scheduler::Watch()
{
    const qint64 limit = qint64(m_options.stallSeconds) * 1000;
    // Speech grows its WAV file as it is made; reading a document (LibreOffice has ten
    // minutes for one) shows nothing until it is done.
    m_workers.KillStalled(
        Now(), limit, limit + 600000,
        [this](int task, int piece) { return piece > 0 ? m_tasks[task].job->PiecePath(piece, u".wav"_s) : QString(); },
        [this](int task, int piece) { WorkerStalled(m_tasks[task], piece); });
    m_children.StopStalled(
        Now(), limit,
        [this](int task, int piece) {
            const DocumentJob &job = *m_tasks[task].job;
            return piece > 0 && job.Pieces() > 1 ? m_tasks[task].job->PiecePath(piece, u".mp3"_s) : QString();
        },
        [this](int task, int piece) { ChildStalled(m_tasks[task], piece); });
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

void Scheduler::WorkerStalled(Task &task, int piece)
{
    --task.running;
    if (!task.failed && !StalledTwice(task, piece)) {
        if (piece > 0) {
            Fs::Remove(task.job->PiecePath(piece, u".wav"_s));
            task.pieces[static_cast<size_t>(piece - 1)] = PieceState::Unspoken;
        } else {
            task.state = State::Pending; // read again by the next worker that is free
            m_next = 0;
        }
    }
    Settle(task);
}

void Scheduler::ChildStalled(Task &task, int piece)
{
    --task.running;
    if (piece != kJoining)
        --m_encoding;
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
