#include "convert/converter.h"

#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/messageboxes.h"
#include "common/runtimeerror.h"
#include "common/statements.h"
#include "convert/worker.h"
#include "filelist/addfolder.h"
#include "filelist/documentlist.h"
#include "pipeline/outputfiles.h"
#include "platform/filesystem.h"
#include "platform/platformservices.h"
#include "platform/workingfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

int g_signalPipe[2] = {-1, -1};

// The job folders' names in the working folder begin so.
const QString kJobPrefix = u"vt-job-"_s;

extern "C" void OnSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// Boxes of the folder walk: an error report goes to standard error in its own words.
class ConsoleBoxes final : public IMessageBoxes
{
public:
    void SetApplicationTitle(const QString &) override {}
    void Information(const QString &) override {}
    bool Question(const QString &) override { return false; }
    void ErrorReport(const QString &text) override
    {
        std::fprintf(stderr, "vocatext-convert: %s\n", text.section(u"\r\n"_s, 0, 0).toLocal8Bit().constData());
    }
};

QString Duration(double seconds)
{
    const qint64 s = static_cast<qint64>(seconds + 0.5);
    if (s >= 3600)
        return u"%1:%2:%3"_s.arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

Converter::Converter(const ConvertOptions &options, PlatformServices &platform)
    : m_options(options)
    , m_platform(platform)
    , m_freeEncoders(options.jobs)
    , m_live(::isatty(STDOUT_FILENO) && !options.quiet)
{
}

Converter::~Converter() = default;

void Converter::CatchStopSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    m_signals = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_signalPipe[0], &byte, 1) == 1)
            Stop(byte);
    });
}

void Converter::Print(const QString &line, bool error)
{
    if (m_live)
        std::fputs("\r\x1b[K", stdout);
    std::fprintf(error ? stderr : stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(error ? stderr : stdout);
    Refresh();
}

// The documents in the order given, folders walked as "Add All ODT Files In Folder"
// walks them; each with the MP3's path as the window's save option gives it.
void Converter::Collect()
{
    ConsoleBoxes boxes;
    Services services = m_platform.Wire();
    services.boxes = &boxes;
    StringDocumentList list;
    Statements run(boxes, SiteTag(u"Form1"_s, u"PushButton4_Click"_s));
    for (const QString &input : std::as_const(m_options.inputs)) {
        const QString absolute = QFileInfo(input).absoluteFilePath();
        if (FolderExists(absolute))
            AddFolderFiles(run, services, list, QDir::cleanPath(absolute), u"*.odt"_s);
        else
            list.Append(absolute);
    }
    for (const QString &path : list.Entries()) {
        Document document;
        document.path = path;
        const QString base = BaseName(path);
        document.output = DefaultOutputPath(path, base);
        if (m_options.intoFolder)
            document.output = OutputPathInFolder(m_options.folder, document.output);
        else if (m_options.beside)
            document.output = OutputPathBeside(path, document.output);
        m_documents.append(document);
    }
}

int Converter::Run()
{
    m_clock.start();
    if (m_options.intoFolder && !m_options.folder.isEmpty())
        m_options.folder = QDir(m_options.folder).absolutePath(); // workers get whole paths
    if (m_options.intoFolder && !FolderExists(m_options.folder)) {
        std::fprintf(stderr, "vocatext-convert: Folder does not exist. Please select another folder: %s\n",
                     m_options.folder.toLocal8Bit().constData());
        return 2;
    }
    Collect();
    try {
        m_working = m_platform.working.Path();
        // Job folders of a converter that died are left over: this instance holds the
        // folder. Only those that carry the converter's mark go; a folder of the user's
        // (the working folder may be the user's own) is never touched.
        if (const auto entries = Fs::ListFolder(m_working)) {
            for (const Fs::Entry &entry : *entries) {
                if (entry.folder && entry.name.startsWith(kJobPrefix))
                    RemoveMarkedFolder(m_working + u'/' + entry.name);
            }
        }
        m_encoder = m_working + u"/lame.exe"_s;
        const QByteArray encoder = m_platform.resources.Load(u"CUSTOM"_s, 101);
        if (!FileHoldsBytes(m_encoder, encoder))
            WriteEncoder(m_platform.events, encoder, m_encoder);
    } catch (const std::exception &) {
        std::fprintf(stderr, "vocatext-convert: the working folder cannot be used: %s\n",
                     DescribeFailure(std::current_exception()).toLocal8Bit().constData());
        return 1;
    }

    for (Document &document : m_documents) {
        if (const QString problem = OutputPathProblem(document.output); !problem.isEmpty()) {
            Fail(document, problem);
            continue;
        }
        if (m_options.skipUnchanged) {
            const auto mp3 = Fs::Stat(document.output);
            const auto odt = Fs::Stat(document.path);
            if (mp3 && odt && mp3->kind == Fs::Kind::Regular && mp3->modifiedNs > odt->modifiedNs) {
                document.state = State::Skipped;
                if (!m_options.quiet && !m_live)
                    Print(u"skipped "_s + document.path + u" ("_s + document.output + u" is newer)"_s);
            }
        }
    }

    QTimer refresh;
    if (m_live) {
        connect(&refresh, &QTimer::timeout, this, [this] { Refresh(); });
        refresh.start(250);
    }
    for (;;) {
        StartWorkers();
        if (m_running == 0)
            break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    refresh.stop();
    if (m_live)
        std::fputs("\r\x1b[K", stdout);
    Fs::Remove(m_encoder);

    int converted = 0, skipped = 0, failed = 0;
    double seconds = 0;
    for (const Document &document : std::as_const(m_documents)) {
        converted += document.state == State::Converted;
        skipped += document.state == State::Skipped;
        failed += document.state == State::Failed;
        seconds += document.seconds;
    }
    if (m_stopSignal) {
        std::fprintf(stderr, "vocatext-convert: interrupted; %d converted, nothing half written left\n", converted);
        return 128 + m_stopSignal;
    }
    if (!m_options.quiet)
        std::printf("%d converted, %d skipped, %d failed; %.2f hours of speech in %s\n", converted, skipped, failed,
                    seconds / 3600, Duration(m_clock.elapsed() / 1000.0).toLocal8Bit().constData());
    return failed ? 1 : 0;
}

int Converter::Remaining() const
{
    int pending = 0;
    for (const Document &document : m_documents)
        pending += document.state == State::Pending;
    return pending;
}

void Converter::StartWorkers()
{
    // One worker more than encoders: one is always speaking while the others encode.
    for (Document &document : m_documents) {
        if (m_stopSignal || m_running >= m_options.jobs + 1)
            return;
        if (document.state == State::Pending)
            Start(document);
    }
}

void Converter::Start(Document &document)
{
    // A fresh folder under a name that is free: one that stands there is never emptied.
    int error = EEXIST;
    for (int n = 0; error == EEXIST && n < 1000; ++n) {
        document.jobFolder = m_working + u'/' + kJobPrefix + QString::number(&document - m_documents.data())
                             + (n ? u'-' + QString::number(n) : QString());
        error = MakeMarkedFolder(document.jobFolder);
    }
    if (error != 0) {
        const QString folder = std::exchange(document.jobFolder, QString());
        Fail(document, u"No working folder can be made for it: "_s + FileSystemError(error, folder).description());
        return;
    }
    WorkerTask task;
    task.document = document.path;
    task.outputPath = document.output;
    task.jobFolder = document.jobFolder;
    task.encoder = m_encoder;
    task.locale = QLocale::system().name();
    task.voice = m_options.voice;
    task.rate = m_options.rate;
    task.volume = m_options.volume;

    auto *worker = new QProcess(this);
    worker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    worker->setProgram(QCoreApplication::applicationFilePath());
    worker->setArguments(QStringList{u"--worker"_s} + WorkerArguments(task));
    document.worker = worker;
    document.state = State::Running;
    ++m_running;
    connect(worker, &QProcess::readyReadStandardOutput, this, [this, &document] { Read(document); });
    connect(worker, &QProcess::finished, this, [this, &document](int code, QProcess::ExitStatus status) {
        Ended(document, code, status == QProcess::CrashExit);
    });
    worker->start();
    Refresh();
}

void Converter::Read(Document &document)
{
    document.pending += document.worker->readAllStandardOutput();
    for (qsizetype end; (end = document.pending.indexOf('\n')) >= 0;) {
        const QString line = QString::fromUtf8(document.pending.left(end));
        document.pending.remove(0, end + 1);
        Line(document, line);
    }
}

void Converter::Line(Document &document, const QString &line)
{
    const QString word = line.section(u' ', 0, 0);
    const QString rest = line.section(u' ', 1);
    if (word == u"want"_s) {
        m_wanting.push_back(&document);
        Grant();
    } else if (word == u"released"_s) {
        if (document.grants > 0) {
            --document.grants;
            ++m_freeEncoders;
        }
        Grant();
    } else if (word == u"segments"_s) {
        document.segments = rest.toInt();
    } else if (word == u"encoded"_s) {
        ++document.encoded;
    } else if (word == u"partial"_s) {
        document.partials.append(rest);
    } else if (word == u"failed"_s) {
        document.failure = rest;
    } else if (word == u"done"_s) {
        document.seconds = rest.toDouble();
    }
}

void Converter::Grant()
{
    while (m_freeEncoders > 0 && !m_wanting.empty()) {
        Document *document = m_wanting.front();
        m_wanting.pop_front();
        if (document->state != State::Running)
            continue;
        --m_freeEncoders;
        ++document->grants;
        document->worker->write("grant\n");
    }
}

void Converter::Ended(Document &document, int exitCode, bool crashed)
{
    Read(document);
    --m_running;
    // Encoders it held are free again; its wishes are void.
    m_freeEncoders += document.grants;
    document.grants = 0;
    for (auto it = m_wanting.begin(); it != m_wanting.end();)
        it = *it == &document ? m_wanting.erase(it) : it + 1;
    Cleanup(document);
    document.worker->deleteLater();
    document.worker = nullptr;
    if (m_stopSignal) {
        document.state = State::Pending;
    } else if (exitCode == 0 && !crashed && document.failure.isEmpty()) {
        document.state = State::Converted;
        if (!m_options.quiet && !m_live)
            Print(u"converted "_s + document.path + u" -> "_s + document.output + u" ("_s
                  + QString::number(document.seconds / 60, 'f', 1) + u" min of speech)"_s);
    } else {
        Fail(document, !document.failure.isEmpty()
                           ? document.failure
                           : u"its conversion ended unexpectedly ("_s
                                 + (crashed ? u"crashed"_s : u"exit code "_s + QString::number(exitCode)) + u')');
    }
    Grant();
    StartWorkers();
    Refresh();
}

void Converter::Fail(Document &document, const QString &why)
{
    document.state = State::Failed;
    document.failure = why;
    Print(u"vocatext-convert: "_s + document.path + u": "_s + why, true);
}

void Converter::Cleanup(Document &document)
{
    for (const QString &partial : std::as_const(document.partials))
        Fs::Remove(partial); // gone already when the MP3 was put in place
    document.partials.clear();
    if (!document.jobFolder.isEmpty())
        RemoveMarkedFolder(document.jobFolder);
}

void Converter::Stop(int signal)
{
    if (m_stopSignal)
        return;
    m_stopSignal = signal;
    for (Document &document : m_documents) {
        if (document.worker)
            document.worker->terminate();
    }
    // A worker that does not stop within seconds is killed; its files go all the same.
    QTimer::singleShot(5000, this, [this] {
        for (Document &document : m_documents) {
            if (document.worker)
                document.worker->kill();
        }
    });
}

void Converter::Refresh()
{
    if (!m_live)
        return;
    int done = 0;
    double progress = 0;
    QStringList current;
    for (const Document &document : std::as_const(m_documents)) {
        if (document.state == State::Converted || document.state == State::Skipped || document.state == State::Failed) {
            ++done;
            progress += 1;
        } else if (document.state == State::Running) {
            current.append(GetFileName(document.path));
            if (document.segments > 0)
                progress += static_cast<double>(document.encoded) / (document.segments + 1);
        }
    }
    const double total = std::max<qsizetype>(1, m_documents.size());
    const double elapsed = m_clock.elapsed() / 1000.0;
    const double fraction = progress / total;
    QString line = u"[%1/%2] %3%  %4 elapsed"_s.arg(done).arg(m_documents.size()).arg(qRound(fraction * 100)).arg(
        Duration(elapsed));
    if (fraction > 0.02)
        line += u", "_s + Duration(elapsed * (1 - fraction) / fraction) + u" left"_s;
    if (!current.isEmpty())
        line += u"  "_s + current.join(u", "_s);
    if (line.size() > 150)
        line = line.left(147) + u"..."_s;
    std::fprintf(stdout, "\r\x1b[K%s", line.toLocal8Bit().constData());
    std::fflush(stdout);
}
