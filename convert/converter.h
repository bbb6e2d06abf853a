#pragma once

#include "convert/options.h"
#include "pipeline/chapters.h"
#include "filesystem/filesystem.h"
#include "pipeline/outputfiles.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

#include <sys/types.h>

class IChildProcess;
class PlatformServices;

/// The paths of shard `shard` of `shards` (see ConvertOptions): the distinct paths sorted
/// by their characters, the same order on every machine whatever its language, and of
/// them those at the positions p (from 1) with p modulo shards equal to shard.
QStringList ShardPaths(const QStringList &paths, int shard, int shards);

// The batch of vocatext-convert: the documents of the command line (folders walked as the
// window walks them), each cut into pieces at line ends and converted with the window's
// stages: worker processes speak the pieces, encoders encode them, the join puts them
// together beside the document's MP3. What runs is chosen by what is waiting: as many
// speakers and encoders at once as options.jobs, an encoder first whenever a piece waits
// for one, so every core stays busy whatever the voice's speed. Prints a live line on a
// terminal (one line per document otherwise), every failure on standard error and a
// summary at the end. Each MP3 is tagged and gets its chapters before it takes its place;
// an M4B is made of the complete MP3 by ffmpeg, beside its place, and renamed when complete.
class Converter final
{
public:
    Converter(const ConvertOptions &options, PlatformServices &platform);
    ~Converter();
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    /// Converts the batch; the exit code: 0 all converted or skipped, 1 some failed,
    /// 2 the batch cannot start as asked, 130 or 143 interrupted.
    int Run();

    /// Ctrl+C and SIGTERM stop the batch cleanly from now on.
    void CatchStopSignals();

    /// The most documents that are read and cut ahead of being spoken.
    static constexpr int kPreparedAhead = 2;

    /// Where ffmpeg, which makes M4B audiobooks, is installed.
    static const QString kFfmpeg;
    /// Where ffprobe, which counts an audiobook's chapters, is installed (with ffmpeg).
    static const QString kFfprobe;
    /// Why ffmpeg at this path cannot make M4B audiobooks, in words that name its package; "" when it can.
    static QString AudiobookMakerProblem(const QString &ffmpeg);

private:
    enum class State { Pending, Preparing, Working, Joining, Packing, Converted, Skipped, Failed };
    enum class PieceState { Unspoken, Speaking, Spoken, Encoding, Encoded };
    struct Document
    {
        QString path;
        QString output;
        State state = State::Pending;
        QString jobFolder;
        std::vector<PieceState> pieces;
        int encoded = 0;
        int running = 0; // tasks of it under way
        double seconds = 0;
        QString partial;   // beside the output, while it is made
        QString audiobook; // the M4B beside the output, while ffmpeg makes it
        int chapterCount = 0; // what the M4B must hold
        QHash<int, int> stalls; // by piece (0: its text, kJoining, kPacking): how often it stalled
        int track = 0;     // from 1, among the documents of the batch
        QString title;
        QString author;
        QList<DocumentHeading> headings;
        ChapterClock clock;
    };
    struct Worker
    {
        pid_t pid = -1;
        int input = -1;  // its standard input
        int output = -1; // its standard output
        QByteArray pending;
        qsizetype scanned = 0;        // of pending, known to hold no line feed
        Document *document = nullptr; // what it works on; null when idle
        int piece = 0;                // 0: reading and cutting the text
        qint64 progressAt = 0;        // when its work last grew (ms of m_clock)
        qint64 grown = -1;            // how large that work's file was then
    };
    struct Child
    {
        std::unique_ptr<IChildProcess> process;
        Document *document;
        int piece; // 0: the join; kPacking: ffmpeg making the M4B
        QString wav;
        QString target;
        qint64 progressAt = 0;
        qint64 grown = -1;
    };
    static constexpr int kPacking = -1;
    static constexpr int kJoining = -2;

    QString Collect();
    int ListMissing();
    bool UpToDate(const Document &document) const;
    void Loop();
    void Schedule();
    bool StartEncoder();
    bool StartSpeaking();
    bool StartPreparing();
    Worker *IdleWorker();
    void Send(Worker &worker, Document &document, int piece, const QStringList &words);
    void ReadWorker(Worker &worker);
    void Answered(Worker &worker, const QStringList &words);
    void WorkerEnded(Worker &worker);
    void ReapChildren();
    void Watch();
    bool Stalled(qint64 &progressAt, qint64 &grown, const QString &file, qint64 limitMs) const;
    bool StalledTwice(Document &document, int piece);
    void WorkerStalled(Worker &worker);
    void ChildStalled(size_t index);
    void Encoded(Child &child, int exitCode);
    void Joined(Child &child, int exitCode);
    void StartJoin(Document &document);
    void Complete(Document &document);
    void Pack(Document &document);
    void Packed(Child &child, int exitCode);
    int ChaptersOf(const QString &audiobook, const QString &listing);
    void WriteText(Document &document, int pieces);
    void Converted(Document &document);
    void Fail(Document &document, const QString &why);
    void Settle(Document &document);
    void Stop(int signal);
    void Print(const QString &line, bool error = false);
    void Refresh();
    QString PiecePath(const Document &document, int piece, const QString &extension) const;
    static bool Finished(const Document &document);

    ConvertOptions m_options;
    PlatformServices &m_platform;
    std::deque<Document> m_documents;
    size_t m_next = 0; // the first document that is not finished
    QString m_working;
    QString m_encoder;
    QString m_voiceDescription;
    QString m_voiceLanguage;
    FileSystem::File m_encoderProgram;
    std::vector<Worker> m_workers;
    std::vector<Child> m_children;
    Leftovers m_leftovers;
    int m_speaking = 0;
    int m_encoding = 0;
    int m_stopSignal = 0;
    QString m_cannotStart; // why no worker could be started, when none could
    int m_leftOut = 0; // documents of the folders given that their walk leaves out
    bool m_live = false;
    QElapsedTimer m_clock;
    qint64 m_lastRefresh = 0;
    int m_signalPipe[2] = {-1, -1};
};
