#pragma once

#include "common/services.h"
#include "convert/options.h"
#include "convert/stalls.h"
#include "convert/workers.h"
#include "pipeline/documentjob.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

class Console;
class EncoderProgram;
class IChildProcess;
class IProcessRunner;

// Runs the documents' jobs of a batch: worker processes read and cut the texts and speak
// the pieces, encoders encode them, the join puts them together, and each job finishes
// its output. What runs is chosen by what waits: as many speakers and encoders at once as
// options.jobs, an encoder first whenever a piece waits for one, so every core stays busy
// whatever the voice's speed. A worker or helper that makes no progress for the stall
// limit is stopped and its work tried once more, so a batch always ends.
class Scheduler
{
public:
    struct Tools
    {
        const CoreServices &services;
        IProcessRunner &processes;
        const EncoderProgram &encoder;
        Console &console;
        QString ffmpeg;
        QString ffprobe;
        /// The arguments a worker is started with.
        QStringList workerArguments;
        /// Where finished pieces are kept and found.
        PieceCache &cache;
    };

    Scheduler(const ConvertOptions &options, Tools tools);
    ~Scheduler();

    /// A document to convert with its job.
    void Add(std::unique_ptr<DocumentJob> job);
    /// A document that is finished before it starts: skipped, or failed with the reason.
    void AddFinished(const QString &document, bool skipped, const QString &failure = QString());

    /// Runs until every document is finished, or until a byte (a signal's number) can be
    /// read from stopDescriptor: the number, else 0.
    int Run(int stopDescriptor);

    /// What a job of the batch does with a failed statement: stops its step.
    IFailureHandler &Reports() { return m_failFast; }

    int Converted() const { return m_converted; }
    int Skipped() const { return m_skipped; }
    int Failed() const { return m_failed; }
    /// Documents converted with letters that no installed voice speaks.
    int Unspoken() const { return m_unspoken; }
    double SpokenSeconds() const { return m_seconds; }

    /// The most documents that are read and cut ahead of being spoken.
    static constexpr int kPreparedAhead = 2;

private:
    enum class State { Pending, Preparing, Working, Joining, Packing, Finished };
    enum class PieceState { Unspoken, Speaking, Spoken, Encoding, Encoded };
    struct Task
    {
        std::unique_ptr<DocumentJob> job;
        QString name; // the document's file name, for the live line
        State state = State::Pending;
        std::vector<PieceState> pieces;
        int encoded = 0;
        int running = 0;        // workers and children of it under way
        QHash<int, int> stalls; // by piece (0: its text, kJoining, kPacking): how often it stalled
        bool failed = false;
        int number = 0; // its place in the batch
    };
    static constexpr int kJoining = -1;
    static constexpr int kPacking = -2;

    void Schedule();
    bool StartEncoder();
    bool StartSpeaking();
    bool StartPreparing();
    bool Send(Task &task, int piece, const QStringList &words);
    void Answered(Task &task, int piece, const QStringList &words);
    void WorkerEnded(Task &task, const QString &how);
    void Ended(Task &task, int piece, const ChildEnd &end);
    void StartChildOf(Task &task, int piece, Started started, const std::function<JobOutcome(const ChildEnd &)> &failed);
    void Encoded(Task &task, int piece, const ChildEnd &end);
    void AllEncoded(Task &task);
    void StartJoin(Task &task);
    void Joined(Task &task, const ChildEnd &end);
    void Complete(Task &task);
    void Packed(Task &task, const ChildEnd &end);
    /// The output of a task whose last step gave made takes its place, unless that step failed.
    void Place(Task &task, JobOutcome made);
    void Converted(Task &task);
    void Fail(Task &task, const JobOutcome &outcome) { Fail(task, outcome.description); }
    void Fail(Task &task, const QString &why);
    void Settle(Task &task);
    void Watch();
    bool StalledTwice(Task &task, int piece);
    void WorkerStalled(Task &task, int piece);
    void ChildStalled(Task &task, int piece);
    void Stop();
    void Refresh(bool force = false);
    qint64 Now() const { return m_clock.elapsed(); }

    ConvertOptions m_options;
    Tools m_tools;
    FailFast m_failFast;
    std::deque<Task> m_tasks;
    size_t m_next = 0; // the first task that is not finished
    WorkerPool m_workers;
    HelperProcesses m_children;
    JobsUnderWay m_underWay;
    int m_encoding = 0;
    QElapsedTimer m_clock;
    int m_converted = 0;
    int m_skipped = 0;
    int m_failed = 0;
    int m_unspoken = 0;
    double m_seconds = 0;
};
