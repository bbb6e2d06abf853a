#include "convert/scheduler.h"

#include "api/processes.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "convert/channel.h"
#include "convert/console.h"
#include "filesystem/filesystem.h"
#include "pipeline/encoder.h"

#include <QElapsedTimer>

#include <algorithm>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

Scheduler::Scheduler(const ConvertOptions &options, Tools tools)
    : m_options(options)
    , m_tools(std::move(tools))
    , m_workers(m_tools.processes, m_tools.workerArguments, options.jobs)
{
    m_clock.start();
}

Scheduler::~Scheduler() = default;

void Scheduler::Add(std::unique_ptr<DocumentJob> job)
{
    Task &task = m_tasks.emplace_back();
    task.number = static_cast<int>(m_tasks.size()) - 1;
    task.name = GetFileName(job->Setup().document);
    task.job = std::move(job);
}

void Scheduler::AddFinished(const QString &document, bool skipped, const QString &failure)
{
    Task &task = m_tasks.emplace_back();
    task.number = static_cast<int>(m_tasks.size()) - 1;
    task.name = GetFileName(document);
    task.state = State::Finished;
    if (skipped) {
        ++m_skipped;
    } else {
        task.failed = true;
        ++m_failed;
        m_tools.console.Print(u"vocatext-convert: "_s + document + u": "_s + failure, true);
    }
}

int Scheduler::Run(int stopDescriptor)
{
    for (;;) {
        m_children.Reap([this](int task, int piece, const ChildEnd &end) { Ended(m_tasks[task], piece, end); });
        Schedule();
        while (m_next < m_tasks.size() && m_tasks[m_next].state == State::Finished)
            ++m_next;
        if (m_next == m_tasks.size())
            return 0;
        if (m_workers.Busy() == 0 && m_children.IsEmpty()) {
            // Nothing runs and nothing could be started (no worker process can be made):
            // what is left fails, in words, rather than waiting for ever.
            for (size_t i = m_next; i < m_tasks.size(); ++i) {
                if (m_tasks[i].state != State::Finished)
                    Fail(m_tasks[i], m_workers.CannotStart().isEmpty() ? u"its conversion could not be started"_s
                                                                       : m_workers.CannotStart());
            }
            return 0;
        }
        std::vector<pollfd> fds;
        if (stopDescriptor >= 0)
            fds.push_back({stopDescriptor, POLLIN, 0});
        m_workers.AddDescriptors(fds);
        // Encoders and joins are asked for their end every 20 ms.
        ::poll(fds.data(), fds.size(), 20);
        if (stopDescriptor >= 0) {
            char byte = 0;
            if (::read(stopDescriptor, &byte, 1) == 1) {
                Stop();
                return byte;
            }
        }
        m_workers.Read([this](int task, int piece, const QStringList &words) { Answered(m_tasks[task], piece, words); },
                       [this](int task, const QString &how) { WorkerEnded(m_tasks[task], how); });
        Watch();
        Refresh();
    }
}

void Scheduler::Schedule()
{
    // Whatever waits, as long as a core is free: an encoder first (it ends a document
    // sooner and frees its WAV file), else speech, else the next document's text.
    while (m_workers.Busy() + m_encoding < m_options.jobs) {
        if (StartEncoder() || StartSpeaking() || StartPreparing())
            continue;
        return;
    }
}

bool Scheduler::StartEncoder()
{
    for (size_t i = m_next; i < m_tasks.size() && m_tasks[i].state != State::Pending; ++i) {
        Task &task = m_tasks[i];
        if (task.state != State::Working)
            continue;
        for (size_t k = 0; k < task.pieces.size(); ++k) {
            if (task.pieces[k] != PieceState::Spoken)
                continue;
            const int piece = static_cast<int>(k) + 1;
            task.pieces[k] = PieceState::Encoding;
            ++m_encoding;
            if (m_options.format == OutputForm::Opus) {
                // Opus takes the speech as it is, all pieces at once at the end.
                ++task.running;
                Ended(task, piece, ChildEnd{});
                return true;
            }
            Started started;
            const JobOutcome made = task.job->StartEncoder(m_tools.processes, m_tools.encoder, piece, started);
            if (made.failed) {
                --m_encoding;
                Fail(task, made);
                return true;
            }
            StartChildOf(task, piece, std::move(started), [&](const ChildEnd &end) { return task.job->Encoded(piece, end); });
            return true;
        }
    }
    return false;
}

// A child of the task under way, or, when it could not start, the failure its step makes of that.
void Scheduler::StartChildOf(Task &task, int piece, Started started,
                             const std::function<JobOutcome(const ChildEnd &)> &failed)
{
    if (!started.child) {
        if (piece != kJoining)
            --m_encoding;
        Fail(task, failed(started.failure));
        return;
    }
    m_children.Add(std::move(started.child), task.number, piece, Now());
    ++task.running;
}

bool Scheduler::Send(Task &task, int piece, const QStringList &words)
{
    if (!m_workers.Send(task.number, piece, words, Now()))
        return false;
    ++task.running;
    return true;
}

bool Scheduler::StartSpeaking()
{
    for (size_t i = m_next; i < m_tasks.size() && m_tasks[i].state != State::Pending; ++i) {
        Task &task = m_tasks[i];
        if (task.state != State::Working)
            continue;
        for (size_t k = 0; k < task.pieces.size(); ++k) {
            if (task.pieces[k] != PieceState::Unspoken)
                continue;
            if (!Send(task, static_cast<int>(k) + 1,
                      {u"speak"_s, task.job->Workspace(), QString::number(k + 1), task.job->SpeechLanguage()}))
                return false;
            task.pieces[k] = PieceState::Speaking;
            return true;
        }
    }
    return false;
}

bool Scheduler::StartPreparing()
{
    int ahead = 0;
    size_t i = m_next;
    for (; i < m_tasks.size() && m_tasks[i].state != State::Pending; ++i) {
        const Task &task = m_tasks[i];
        if (task.state == State::Preparing)
            ++ahead;
        else if (task.state == State::Working)
            ahead += std::count(task.pieces.begin(), task.pieces.end(), PieceState::Unspoken) > 0;
    }
    if (ahead >= kPreparedAhead)
        return false;
    for (; i < m_tasks.size(); ++i) {
        Task &task = m_tasks[i];
        if (task.state != State::Pending)
            continue;
        if (!m_workers.HasRoom())
            return false;
        if (const JobOutcome made = task.job->PrepareWorkspace(); made.failed) {
            Fail(task, made);
            return true;
        }
        m_underWay.Add(*task.job);
        if (!Send(task, 0, {u"text"_s, task.job->Workspace(), task.job->Setup().document}))
            return false;
        task.state = State::Preparing;
        return true;
    }
    return false;
}

void Scheduler::Answered(Task &task, int piece, const QStringList &words)
{
    --task.running;
    const QString &word = words.value(0);
    if (word == u"failed"_s) {
        Fail(task, Channel::FailureOf(words));
    } else if (task.failed) {
        // A document that failed meanwhile: what came back goes with it.
    } else if (word == u"pieces"_s) {
        const TextFacts facts = Channel::PiecesOf(words);
        task.job->TakeText(facts);
        if (m_options.format == OutputForm::Txt || m_options.format == OutputForm::Ssml) {
            const JobOutcome written =
                m_options.format == OutputForm::Txt ? task.job->WriteText() : task.job->WriteSsml();
            written.failed ? Fail(task, written) : Converted(task);
        } else {
            // A piece kept from before, with everything that decides its sound the same, is
            // neither spoken nor encoded again.
            task.pieces.assign(static_cast<size_t>(facts.pieces), PieceState::Unspoken);
            task.state = State::Working;
            for (int kept = 1; kept <= facts.pieces; ++kept) {
                if (task.job->FromCache(m_tools.cache, kept)) {
                    task.pieces[static_cast<size_t>(kept - 1)] = PieceState::Encoded;
                    ++task.encoded;
                }
            }
            if (task.encoded == facts.pieces)
                AllEncoded(task);
        }
    } else if (word == u"spoken"_s) {
        if (piece >= 1 && piece <= static_cast<int>(task.pieces.size())) {
            task.pieces[static_cast<size_t>(piece - 1)] = PieceState::Spoken;
            task.job->TakeSpoken(piece, Channel::SpokenOf(words));
        }
    }
    Settle(task);
}

void Scheduler::WorkerEnded(Task &task, const QString &how)
{
    --task.running;
    Fail(task, u"its conversion ended unexpectedly ("_s + how + u')');
    Settle(task);
}

void Scheduler::Ended(Task &task, int piece, const ChildEnd &end)
{
    --task.running;
    if (piece == kJoining) {
        Joined(task, end);
    } else {
        --m_encoding;
        if (piece == kPacking)
            Packed(task, end);
        else
            Encoded(task, piece, end);
    }
    Settle(task);
}

void Scheduler::Encoded(Task &task, int piece, const ChildEnd &end)
{
    if (task.failed) {
        task.job->Encoded(piece, end); // its WAV file goes all the same
        return;
    }
    const JobOutcome encoded =
        m_options.format == OutputForm::Opus ? task.job->KeepSpeech(piece) : task.job->Encoded(piece, end);
    if (encoded.failed) {
        Fail(task, encoded);
        return;
    }
    task.pieces[static_cast<size_t>(piece - 1)] = PieceState::Encoded;
    const bool served = m_tools.cache.Serves();
    task.job->KeepInCache(m_tools.cache, piece);
    if (served && !m_tools.cache.Serves())
        m_tools.console.Print(u"vocatext-convert: finished pieces cannot be kept any more ("_s + m_tools.cache.Problem()
                                  + u"); converting on without the cache"_s,
                              true);
    if (++task.encoded == static_cast<int>(task.pieces.size()))
        AllEncoded(task);
}

void Scheduler::AllEncoded(Task &task)
{
    if (m_options.format == OutputForm::Opus) {
        return Place(task, task.job->WriteOpus());
    }
    if (task.pieces.size() == 1)
        Complete(task);
    else
        StartJoin(task);
}

void Scheduler::StartJoin(Task &task)
{
    // The piece MP3s are joined byte for byte beside the output path.
    if (const JobOutcome written = task.job->WriteJoin(); written.failed) {
        Fail(task, written);
        return;
    }
    task.state = State::Joining;
    StartChildOf(task, kJoining, task.job->StartJoin(m_tools.processes),
                 [&task](const ChildEnd &end) { return task.job->Joined(end); });
}

void Scheduler::Joined(Task &task, const ChildEnd &end)
{
    if (task.failed)
        return;
    const JobOutcome joined = task.job->Joined(end);
    task.job->DropJoinFiles();
    if (joined.failed) {
        Fail(task, joined);
        return;
    }
    Complete(task);
}

void Scheduler::Complete(Task &task)
{
    if (m_options.format == OutputForm::Epub)
        return Place(task, task.job->WriteEpub());
    // Tags that cannot be written are said; the MP3 takes its place without them.
    if (const JobOutcome tagged = task.job->Tag(); tagged.failed)
        m_tools.console.Print(u"vocatext-convert: "_s + task.job->Setup().document + u": "_s + tagged.description, true);
    if (m_options.format == OutputForm::M4b) {
        Started started;
        ++m_encoding;
        if (const JobOutcome made = task.job->StartPacking(m_tools.processes, m_tools.ffmpeg, started); made.failed) {
            --m_encoding;
            Fail(task, made);
            return;
        }
        task.state = State::Packing;
        StartChildOf(task, kPacking, std::move(started), [&](const ChildEnd &end) {
            return task.job->Packed(end, m_tools.processes, m_tools.ffprobe);
        });
        return;
    }
    Place(task, JobOutcome::Done());
}

void Scheduler::Packed(Task &task, const ChildEnd &end)
{
    if (task.failed)
        return;
    Place(task, task.job->Packed(end, m_tools.processes, m_tools.ffprobe));
}

void Scheduler::Place(Task &task, JobOutcome made)
{
    if (!made.failed)
        made = task.job->PutInPlace();
    return made.failed ? Fail(task, made) : Converted(task);
}

void Scheduler::Converted(Task &task)
{
    m_unspoken += task.job->Unspoken().isEmpty() ? 0 : 1;
    for (const QString &note : task.job->Notes())
        m_tools.console.Print(u"vocatext-convert: "_s + task.job->Setup().document + u": "_s + note, true);
    task.state = State::Finished;
    ++m_converted;
    const double seconds = task.job->SpokenSeconds();
    m_seconds += seconds;
    if (m_options.format == OutputForm::Txt || m_options.format == OutputForm::Ssml)
        m_tools.console.Progress(u"wrote the "_s + FormatWords(m_options.format) + u" of "_s
                                 + task.job->Setup().document + u" -> "_s + task.job->Output());
    else
        m_tools.console.Progress(u"converted "_s + task.job->Setup().document + u" -> "_s + task.job->Output() + u" ("_s
                                 + QString::number(seconds / 60, 'f', 1) + u" min of speech)"_s);
}

void Scheduler::Fail(Task &task, const QString &why)
{
    if (task.failed)
        return;
    task.failed = true;
    task.state = State::Finished;
    ++m_failed;
    m_tools.console.Print(u"vocatext-convert: "_s + (task.job ? task.job->Setup().document : task.name) + u": "_s + why,
                          true);
}

void Scheduler::Settle(Task &task)
{
    // Once nothing of a finished document runs any more, its working files (and, after a
    // failure, its partial files) go, and it keeps no more than what the summary counts.
    if (task.state != State::Finished || task.running > 0 || !task.job)
        return;
    if (task.failed)
        task.job->Cancel();
    else
        task.job->Close();
    m_underWay.Remove(*task.job);
    task.job.reset();
    task.pieces = {};
    task.stalls = {};
}

void Scheduler::Stop()
{
    m_workers.KillAll();
    m_tools.processes.StopAll();
    m_children.Clear();
    m_underWay.CancelAll();
}

void Scheduler::Refresh(bool force)
{
    if (!m_tools.console.RefreshDue(force))
        return;
    int done = 0;
    double progress = 0;
    QStringList current;
    for (const Task &task : m_tasks) {
        if (task.state == State::Finished) {
            ++done;
            progress += 1;
        } else if (task.state != State::Pending) {
            current.append(task.name);
            if (!task.pieces.empty())
                progress += static_cast<double>(task.encoded) / static_cast<double>(task.pieces.size() + 1);
        }
    }
    const double total = std::max<double>(1, static_cast<double>(m_tasks.size()));
    m_tools.console.Refresh(done, static_cast<int>(m_tasks.size()), progress / total, current, force);
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
    const QString failure = SecondStall(task.stalls[piece],
                                        piece > 0 ? u"piece "_s + QString::number(piece)
                                        : piece == 0 ? u"reading its text"_s
                                        : piece == kJoining ? u"the join"_s
                                                            : u"ffmpeg"_s,
                                        m_options.stallSeconds);
    if (!failure.isEmpty())
        Fail(task, failure);
    return !failure.isEmpty();
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
