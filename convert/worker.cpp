#include "convert/worker.h"

#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/mainwindow.h"
#include "common/messageboxes.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/statements.h"
#include "filelist/documentlist.h"
#include "pipeline/conversionrun.h"
#include "pipeline/outputfiles.h"
#include "pipeline/shell32.h"
#include "pipeline/speak.h"
#include "pipeline/writer1.h"
#include "platform/filesystem.h"
#include "platform/platformservices.h"
#include "platform/processes.h"

#include <QCoreApplication>
#include <QFile>
#include <QTime>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// The partial files of the worker, for the signal handler: plain bytes, set before each
// file exists.
char g_partials[2][4096];

void ForgetPartials()
{
    g_partials[0][0] = g_partials[1][0] = '\0';
}

void RememberPartial(int slot, const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const size_t length = std::min<size_t>(static_cast<size_t>(native.size()), sizeof g_partials[slot] - 1);
    std::memcpy(g_partials[slot], native.constData(), length);
    g_partials[slot][length] = '\0';
}

// Stops everything the worker started and removes its partial files; only calls that
// are safe in a signal handler.
void StopEverything()
{
    for (char *partial : g_partials) {
        if (partial[0])
            ::unlink(partial);
    }
    ::signal(SIGTERM, SIG_IGN);
    ::kill(0, SIGTERM); // the worker's own process group: its encoders and joins
}

extern "C" void OnStopSignal(int signal)
{
    StopEverything();
    ::_exit(128 + signal);
}

// The worker's side of the lines it exchanges with the converter.
class Channel
{
public:
    Channel() { ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK); }

    void Send(const QString &line)
    {
        QByteArray bytes = line.toUtf8();
        bytes.replace('\n', ' ');
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    /// Waits up to milliseconds for the converter's word and counts the grants that came.
    /// False when the converter is gone.
    bool Receive(int milliseconds)
    {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, milliseconds) <= 0)
            return true;
        char buffer[256];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0)
                return false;
            if (n < 0)
                return errno == EAGAIN || errno == EINTR;
            m_pending.append(buffer, n);
            for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0;) {
                if (m_pending.left(end).trimmed() == "grant")
                    ++grants;
                m_pending.remove(0, end + 1);
            }
        }
    }

    int grants = 0;

private:
    QByteArray m_pending;
};

// Message boxes of a worker: an error report or a box about a voice is the document's
// failure, in its own words.
class WorkerBoxes final : public IMessageBoxes
{
public:
    void SetApplicationTitle(const QString &) override {}
    void Information(const QString &text) override
    {
        if (text.contains(u"Class not registered"_s))
            failures.append(u"The voice cannot be loaded (Class not registered)"_s);
    }
    bool Question(const QString &) override { return false; }
    void ErrorReport(const QString &text) override { failures.append(text.section(u"\r\n"_s, 0, 0)); }
    QStringList failures;
};

class NoProgressBar final : public IProgressBar
{
public:
    double Value() const override { return 0; }
    void SetValue(double) override {}
    QString Text() const override { return QString(); }
    void SetText(const QString &) override {}
};

// The window's values as the stages read them: voice, rate and volume of the task.
class HeadlessWindow final : public IMainWindow
{
public:
    explicit HeadlessWindow(const WorkerTask &task)
        : m_task(task)
    {
    }
    WindowState &State() override { return m_state; }
    MousePointer Pointer() const override { return MousePointer::Default; }
    void SetPointer(MousePointer) override {}
    IDocumentList &ListView1() override { return m_list; }
    IProgressBar &ProgressBar1() override { return m_bar; }
    int Combo1Index() const override { return m_task.voice - 1; }
    int Slider1Value() const override { return m_task.volume; }
    int Slider2Value() const override { return m_task.rate; }
    bool Option1Value() const override { return false; }
    bool Option2Value() const override { return false; }
    QString Text1Value() const override { return QString(); }

private:
    const WorkerTask &m_task;
    WindowState m_state;
    StringDocumentList m_list;
    NoProgressBar m_bar;
};

class Job;

// The worker's event loop: every yield of the stages (the speech engines call it every
// 30 ms) serves the encoders.
class JobEvents final : public IEventLoop
{
public:
    void Yield() override;
    void Sleep(int milliseconds) override;
    double SecondsSinceMidnight() override { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }
    Job *job = nullptr;
};

// One document: segment j+1 is spoken while segment j is encoded, and as many segments
// are encoded at once as the converter grants.
class Job
{
public:
    Job(const WorkerTask &task, Channel &channel, IProcessRunner &processes, IWorkingFolder &working)
        : m_task(task)
        , m_channel(channel)
        , m_processes(processes)
        , m_working(working)
    {
    }

    void SetSegments(int count) { m_segments = count; }

    /// A segment spoken into its WAV file, waiting for an encoder.
    void Spoken(int segment)
    {
        m_waiting.push_back(segment);
        m_channel.Send(u"want"_s);
        Pump(0);
    }

    /// Serves the encoders: starts the granted ones, takes in those that ended.
    void Pump(int waitMs)
    {
        if (!m_channel.Receive(waitMs))
            Fail(u"The converter that started this document is gone"_s);
        while (m_channel.grants > 0 && !m_waiting.empty()) {
            --m_channel.grants;
            Start(m_waiting.front());
            m_waiting.pop_front();
        }
        for (auto it = m_running.begin(); it != m_running.end();) {
            const int code = it->child->ExitCode();
            if (code == kStillActive) {
                ++it;
                continue;
            }
            const QString failure = EncoderFailure(code, it->child->ErrorOutput(), it->wav, it->target);
            m_channel.Send(u"released"_s);
            if (!failure.isEmpty())
                Fail(failure);
            Fs::Remove(it->wav);
            m_channel.Send(u"encoded "_s + QString::number(it->segment));
            it = m_running.erase(it);
        }
    }

    bool Busy() const { return !m_waiting.empty() || !m_running.empty(); }
    double SecondsOfSpeech() const { return m_seconds; }
    QString Segment(int number, const QString &extension) const
    {
        return SegmentPath(WorkingPath(m_working, u"output.txt"_s), number, extension);
    }
    const QString &SinglePartial() const { return m_singlePartial; }

    /// The document failed: its encoders are stopped, its partial files removed.
    [[noreturn]] void Fail(const QString &why)
    {
        m_channel.Send(u"failed "_s + why);
        StopEverything();
        std::fflush(nullptr);
        ::_exit(1);
    }

private:
    struct Encoder
    {
        int segment;
        QString wav;
        QString target;
        std::unique_ptr<IChildProcess> child;
    };

    void Start(int segment)
    {
        const QString wav = Segment(segment, u".wav"_s);
        QString target;
        try {
            if (m_segments == 1) {
                // A document of one segment is encoded beside its output path.
                target = CreatePartial(m_task.outputPath);
                RememberPartial(0, target);
                m_channel.Send(u"partial "_s + target);
                m_singlePartial = target;
            } else {
                target = Segment(segment, u".mp3"_s);
                if (auto made = Fs::CreateFresh(target, 0600); !made)
                    throw FileSystemError(made.Error(), target);
            }
        } catch (const RuntimeError &e) {
            Fail(e.description());
        }
        if (const auto status = Fs::Stat(wav))
            m_seconds += static_cast<double>(std::max<qint64>(0, status->size - 44)) / 2 / 22050;
        try {
            m_running.push_back(
                {segment, wav, target, m_processes.Run(EncoderPart(m_task.encoder) + EncoderArguments(wav, target), 0)});
        } catch (const RuntimeError &e) {
            m_channel.Send(u"released"_s);
            Fail(EncoderFailure(kStartFailureBase + e.number(), e.description(), wav, target));
        }
    }

    const WorkerTask &m_task;
    Channel &m_channel;
    IProcessRunner &m_processes;
    IWorkingFolder &m_working;
    int m_segments = 0;
    std::deque<int> m_waiting;
    std::vector<Encoder> m_running;
    double m_seconds = 0;
    QString m_singlePartial;
};

void JobEvents::Yield()
{
    if (job)
        job->Pump(0);
}

void JobEvents::Sleep(int milliseconds)
{
    if (job)
        job->Pump(milliseconds);
    else
        ::usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

} // namespace

QStringList WorkerArguments(const WorkerTask &task)
{
    return {task.document, task.outputPath, task.jobFolder, task.encoder, task.locale, QString::number(task.voice),
            QString::number(task.rate), QString::number(task.volume)};
}

bool ParseWorkerArguments(const QStringList &arguments, WorkerTask *task)
{
    if (arguments.size() != 8)
        return false;
    bool voiceOk = false;
    bool rateOk = false;
    bool volumeOk = false;
    task->document = arguments[0];
    task->outputPath = arguments[1];
    task->jobFolder = arguments[2];
    task->encoder = arguments[3];
    task->locale = arguments[4];
    task->voice = arguments[5].toInt(&voiceOk);
    task->rate = arguments[6].toInt(&rateOk);
    task->volume = arguments[7].toInt(&volumeOk);
    return voiceOk && rateOk && volumeOk;
}

int RunWorker(const WorkerTask &task)
{
    // A group of its own: the terminal's Ctrl+C goes to the converter, which stops the
    // workers; a worker stops what it started with one signal to its group.
    ::setpgid(0, 0);
    ForgetPartials();
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Channel channel;
    JobEvents events;
    PlatformServices platform(QCoreApplication::applicationDirPath(), task.locale, &events);
    WorkerBoxes boxes;
    JobWorkingFolder working(task.jobFolder);
    Services services = platform.Wire();
    services.boxes = &boxes;
    services.workingFolder = &working;
    services.diagnostics = nullptr; // the converter prints each failure once
    HeadlessWindow window(task);
    Speak speak(services, window);
    Job job(task, channel, platform.processes, working);
    events.job = &job;
    auto failIfReported = [&] {
        if (!boxes.failures.isEmpty())
            job.Fail(boxes.failures.first());
    };

    try {
        ExtractDocumentText(services.Reader(), working, task.document);
    } catch (const std::exception &) {
        job.Fail(DescribeFailure(std::current_exception()));
    }
    const int segments = speak.CutTextFileFSO(WorkingPath(working, u"output.txt"_s));
    failIfReported();
    job.SetSegments(segments);
    channel.Send(u"segments "_s + QString::number(segments));
    for (int j = 1; j <= segments; ++j) {
        try {
            speak.SaveToWAV(job.Segment(j, u".txt"_s), job.Segment(j, u".wav"_s));
        } catch (const std::exception &) {
            job.Fail(DescribeFailure(std::current_exception()));
        }
        failIfReported();
        if (!Fs::Stat(job.Segment(j, u".wav"_s)))
            job.Fail(u"No speech was made of segment "_s + QString::number(j));
        job.Spoken(j);
    }
    while (job.Busy())
        job.Pump(20);

    try {
        if (segments == 1) {
            PutInPlace(job.SinglePartial(), task.outputPath);
        } else {
            // The segment MP3s are joined byte for byte beside the output path.
            const QString partial = PartialName(task.outputPath);
            RememberPartial(1, partial);
            channel.Send(u"partial "_s + partial);
            const QString commandFile = WorkingPath(working, u"JoinMP3.bat"_s);
            WriteCommandFile(JoinCommandText(working, segments, partial), commandFile);
            const std::unique_ptr<IChildProcess> join = platform.processes.Run(QuotedForCommandLine(commandFile), 0);
            int code = kStillActive;
            while ((code = join->ExitCode()) == kStillActive)
                channel.Receive(20);
            if (const QString failure = JoinFailure(code, join->ErrorOutput(), partial, task.outputPath);
                !failure.isEmpty())
                job.Fail(failure);
            PutInPlace(partial, task.outputPath);
        }
    } catch (const std::exception &) {
        job.Fail(DescribeFailure(std::current_exception()));
    }
    ForgetPartials();
    channel.Send(u"done "_s + QString::number(job.SecondsOfSpeech(), 'f', 1));
    return 0;
}
