#include "convert/converter.h"

#include "common/codepage.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/statements.h"
#include "convert/channel.h"
#include "convert/worker.h"
#include "documents/dispatchingreader.h"
#include "filelist/addfolder.h"
#include "filelist/documentlist.h"
#include "filesystem/filesystem.h"
#include "pipeline/outcome.h"
#include "pipeline/shell32.h"
#include "pipeline/speak.h"
#include "pipeline/tags.h"
#include "api/documentreader.h"
#include "services/platformservices.h"
#include "system/privateworkingfolder.h"
#include "api/processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

int g_signalPipe = -1;

extern "C" void OnSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe, &byte, 1);
}

// The job folders' names in the working folder begin so.
const QString kJobPrefix = u"vt-job-"_s;

// The converter cuts its own pieces, smaller than the window's segments, so that the
// pieces of one long document are spoken and encoded on every core at once; its working
// files are its own, and the MP3 holds the same speech.
constexpr int kPieceKilochars = 8;

// The extension of a file's name, lower case: "docx" of "a/Report.DOCX", "" of "a/README".
QString Extension(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > slash + 1 ? path.mid(dot + 1).toLower() : QString();
}

// Every document of the types below the folder that is not among walked, as its bytes name
// it; the desktop's trash is not entered and a folder is entered once, however many links
// lead to it.
void FindDocuments(const QString &folder, const QStringList &types, const QSet<QString> &walked, QStringList &found,
                   QSet<std::pair<quint64, quint64>> &visited, int depth)
{
    const auto status = Fs::Stat(folder);
    if (depth > 256 || !status || visited.contains({status->device, status->inode}))
        return;
    visited.insert({status->device, status->inode});
    const auto entries = Fs::ListFolder(folder);
    if (!entries)
        return;
    for (const Fs::Entry &entry : *entries) {
        const QString path = (folder == u"/"_s ? QString() : folder) + u'/' + entry.name;
        if (entry.folder) {
            int attributes = 0;
            Quietly([&] { attributes = FileAttributes(path); });
            if (!(attributes & FileAttribute::System))
                FindDocuments(path, types, walked, found, visited, depth + 1);
        } else if (types.contains(Extension(entry.name)) && !walked.contains(path) && CanOpenFile(path)) {
            found.append(path);
        }
    }
}

// Why the window's walk of root leaves out the document at path.
QString WhyLeftOut(const QString &root, const QString &path)
{
    const QStringList names = path.mid(root.size() + 1).split(u'/');
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (HasUnsafeChars(names[i]))
            return (i + 1 == names.size() ? u"its name holds"_s : u"the name of its folder "_s + names[i] + u" holds"_s)
                   + u" characters outside Western European (Windows-1252); give it by name to convert it"_s;
    }
    if (names.last().startsWith(u'~'))
        return u"it is the lock file of an open document"_s;
    if (names.last().startsWith(u'.'))
        return u"it is hidden"_s;
    return u"the walk of its folders does not reach it; give it by name to convert it"_s;
}

// Failures of the folder walk go to standard error in their own words; the walk goes on.
class ConsoleReports final : public IFailureHandler
{
public:
    void Failed(const StatementFailure &failure) override
    {
        std::fprintf(stderr, "vocatext-convert: %s\n", Fs::NativeName(failure.description).constData());
    }
};

QString Duration(double seconds)
{
    const qint64 s = static_cast<qint64>(seconds + 0.5);
    if (s >= 3600)
        return u"%1:%2:%3"_s.arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Starts a worker with pipes to its standard input and output; its errors go where ours go.
bool SpawnWorker(const QStringList &arguments, pid_t *pid, int *input, int *output)
{
    int toWorker[2];
    int fromWorker[2];
    if (::pipe2(toWorker, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(fromWorker, O_CLOEXEC) != 0) {
        ::close(toWorker[0]);
        ::close(toWorker[1]);
        return false;
    }
    QList<QByteArray> native{QFile::encodeName(QCoreApplication::applicationFilePath())};
    for (const QString &argument : arguments)
        native.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &a : native)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toWorker[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromWorker[1], STDOUT_FILENO);
    const int error = posix_spawn(pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toWorker[0]);
    ::close(fromWorker[1]);
    if (error != 0) {
        ::close(toWorker[1]);
        ::close(fromWorker[0]);
        errno = error;
        return false;
    }
    ::fcntl(fromWorker[0], F_SETFL, O_NONBLOCK);
    *input = toWorker[1];
    *output = fromWorker[0];
    return true;
}

// ffmpeg's command line that makes an M4B audiobook (AAC in MP4) of the tagged MP3, with
// the tags and chapters of its ID3 frames; the index at the front, so players start at once.
QString AudiobookCommandLine(const QString &ffmpeg, const QString &mp3, const QString &language,
                             const QString &target)
{
    QString line = QuotedForCommandLine(ffmpeg) + u" -nostdin -hide_banner -loglevel error -y -i "_s
                   + QuotedForCommandLine(mp3) + u" -map 0:a -map_metadata 0 -map_chapters 0 -c:a aac -b:a 48k"_s;
    if (!language.isEmpty())
        line += u" -metadata:s:a:0 language="_s + language;
    return line + u" -f ipod -brand \"M4B \" -movflags +faststart "_s + QuotedForCommandLine(target);
}

// True when the file is a whole MP4: its top-level boxes, a movie box among them, follow
// one another to its last byte.
bool Mp4BoxesReachItsEnd(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    bool movie = false;
    qint64 at = 0;
    while (at + 8 <= size) {
        file.seek(at);
        const QByteArray head = file.read(16);
        if (head.size() < 8)
            return false;
        const auto byte = [&head](int i) { return static_cast<quint64>(static_cast<unsigned char>(head[i])); };
        quint64 length = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
        if (length == 1 && head.size() == 16) { // a 64-bit length follows the type
            length = 0;
            for (int i = 8; i < 16; ++i)
                length = (length << 8) | byte(i);
        } else if (length == 0) {
            length = static_cast<quint64>(size - at); // to the end of the file
        }
        if (length < 8 || length > static_cast<quint64>(size - at))
            return false;
        movie = movie || head.mid(4, 4) == "moov";
        at += static_cast<qint64>(length);
    }
    return movie && at == size;
}

} // namespace

QStringList ShardPaths(const QStringList &paths, int shard, int shards)
{
    QStringList sorted = paths;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QStringList mine;
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        if ((i + 1) % shards == shard)
            mine.append(sorted[i]);
    }
    return mine;
}

const QString Converter::kFfmpeg = u"/usr/bin/ffmpeg"_s;
const QString Converter::kFfprobe = u"/usr/bin/ffprobe"_s;

QString Converter::AudiobookMakerProblem(const QString &ffmpeg)
{
    const QFileInfo program(ffmpeg);
    if (program.isFile() && program.isExecutable())
        return QString();
    return u"--format m4b needs ffmpeg, which is not installed ("_s + ffmpeg
           + u" is missing); install it with: apt-get install ffmpeg"_s;
}

Converter::Converter(const ConvertOptions &options, PlatformServices &platform)
    : m_options(options)
    , m_platform(platform)
    , m_live(::isatty(STDOUT_FILENO) && !options.quiet)
{
}

Converter::~Converter()
{
    for (Worker &worker : m_workers) {
        if (worker.input >= 0)
            ::close(worker.input);
        if (worker.output >= 0)
            ::close(worker.output);
        if (worker.pid > 0)
            ::waitpid(worker.pid, nullptr, 0);
    }
}

void Converter::CatchStopSignals()
{
    if (::pipe2(m_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_signalPipe = m_signalPipe[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

void Converter::Print(const QString &line, bool error)
{
    if (m_live)
        std::fputs("\r\x1b[K", stdout);
    // Paths as their bytes are, as ls shows them.
    std::fprintf(error ? stderr : stdout, "%s\n", Fs::NativeName(line).constData());
    std::fflush(error ? stderr : stdout);
    Refresh();
}

// The documents in the order given, folders walked as "Add All ODT Files In Folder"
// walks them; each with the MP3's path as the window's save option gives it. Two
// documents that would give one MP3 stop the batch before it starts: "" or why.
QString Converter::Collect()
{
    ConsoleReports reports;
    CoreServices services = m_platform.Wire();
    StringDocumentList list;
    Statements run(reports, SiteTag(u"Form1"_s, u"PushButton4_Click"_s));
    const QStringList types = m_options.types.isEmpty() ? SupportedExtensions() : m_options.types;
    for (const QString &input : std::as_const(m_options.inputs)) {
        // Made absolute as text, so that a name whose bytes are not UTF-8 keeps them.
        const QString absolute = AbsolutePath(input);
        if (!FolderExists(absolute)) {
            list.Append(absolute);
            continue;
        }
        // Every type that is read, or those asked for, in the walk's order.
        StringDocumentList found;
        AddFolderFiles(run, services, found, absolute, u"*.*"_s);
        QSet<QString> walked;
        walked.reserve(found.Count());
        for (const QString &path : found.Entries()) {
            if (types.contains(Extension(path))) {
                list.Append(path);
                walked.insert(path);
            }
        }
        // What the walk leaves out is named, so that no document is lost without a word.
        QStringList leftOut;
        QSet<std::pair<quint64, quint64>> visited;
        FindDocuments(absolute, types, walked, leftOut, visited, 0);
        SortForListing(leftOut);
        for (const QString &path : std::as_const(leftOut)) {
            ++m_leftOut;
            Print(u"vocatext-convert: left out "_s + path + u": "_s + WhyLeftOut(absolute, path), true);
        }
    }
    QHash<QString, QString> documentOf; // output path -> the document that gives it
    for (const QString &path : list.Entries()) {
        Document document;
        document.path = path;
        const QString base = BaseName(path);
        document.output = DefaultOutputPath(path, base);
        if (m_options.intoFolder)
            document.output = OutputPathInFolder(m_options.folder, document.output);
        else if (m_options.beside)
            document.output = OutputPathBeside(path, document.output);
        if (m_options.format != OutputFormat::Mp3) // the same name with the format's extension
            document.output = document.output.chopped(3) + FormatExtension(m_options.format);
        // A document whose output would stand where another document of the batch stands
        // is refused by itself later, as one written over a document of the user's is.
        const QString other = documentOf.value(document.output);
        if (!other.isEmpty() && other != path && other != document.output && path != document.output)
            return u"Two documents would be saved as one "_s + FormatWords(m_options.format) + u' ' + document.output
                   + u": "_s + other + u" and "_s + path
                   + (m_options.intoFolder ? u". Convert them with --beside, or into folders of their own."_s
                                           : u". Convert one of them with --out into another folder."_s);
        if (other.isEmpty() || other == document.output)
            documentOf.insert(document.output, path);
        m_documents.push_back(std::move(document));
    }
    // Every task of an array sees the whole batch above, so all refuse a clash alike.
    if (m_options.shards > 1) {
        const size_t all = m_documents.size();
        const QStringList shard = ShardPaths(list.Entries(), m_options.shard, m_options.shards);
        const QSet<QString> mine(shard.begin(), shard.end());
        std::erase_if(m_documents, [&mine](const Document &document) { return !mine.contains(document.path); });
        if (!m_options.quiet && !m_options.missing)
            std::printf("shard %d/%d: %zu of %zu documents\n", m_options.shard ? m_options.shard : m_options.shards,
                        m_options.shards, m_documents.size(), all);
    }
    for (size_t i = 0; i < m_documents.size(); ++i)
        m_documents[i].track = static_cast<int>(i + 1);
    return QString();
}

bool Converter::UpToDate(const Document &document) const
{
    const auto mp3 = Fs::Stat(document.output);
    const auto odt = Fs::Stat(document.path);
    if (!mp3 || !odt || mp3->kind != Fs::Kind::Regular || mp3->modifiedNs <= odt->modifiedNs)
        return false;
    // An empty or cut file (a full disk, a copy that broke off) is no conversion.
    switch (m_options.format) {
    case OutputFormat::Mp3:
        return Mp3FilePlaysToItsEnd(document.output);
    case OutputFormat::M4b:
        return Mp4BoxesReachItsEnd(document.output);
    case OutputFormat::Txt:
        return true;
    }
    return false;
}

// --missing: each document without an up-to-date MP3 on a line of its own, below the
// current folder as "./..." whatever its name's first character (a name that begins with
// "-" stays a name, one that begins with ":" is no absolute path, and a copy of the folder
// elsewhere, a remote home say, finds it), elsewhere as its whole path.
int Converter::ListMissing()
{
    const QString here = QDir::currentPath();
    int missing = 0;
    for (const Document &document : m_documents) {
        if (UpToDate(document))
            continue;
        ++missing;
        const QString below = BelowFolder(here, document.path);
        const QString shown = below.isEmpty() ? document.path : below;
        std::printf("%s\n", Fs::NativeName(shown).constData());
    }
    std::fflush(stdout);
    if (missing && !m_options.quiet)
        std::fprintf(stderr, "vocatext-convert: %d of %zu documents have no MP3 newer than them\n", missing,
                     m_documents.size());
    return missing ? 1 : 0;
}

int Converter::Run()
{
    m_clock.start();
    if (m_options.intoFolder && !m_options.folder.isEmpty())
        m_options.folder = AbsolutePath(m_options.folder); // workers get whole paths
    if (m_options.intoFolder && !FolderExists(m_options.folder)) {
        std::fprintf(stderr, "vocatext-convert: Folder does not exist. Please select another folder: %s\n",
                     m_options.folder.toLocal8Bit().constData());
        return 2;
    }
    if (m_options.format == OutputFormat::M4b) {
        if (const QString problem = AudiobookMakerProblem(kFfmpeg); !problem.isEmpty()) {
            std::fprintf(stderr, "vocatext-convert: %s\n", problem.toLocal8Bit().constData());
            return 2;
        }
    }
    if (const QString clash = Collect(); !clash.isEmpty()) {
        std::fprintf(stderr, "vocatext-convert: %s\n", Fs::NativeName(clash).constData());
        return 2;
    }
    if (m_options.missing)
        return ListMissing();
    // The voice that the tags name.
    Quietly([&] {
        const QStringList voices = m_platform.speech.VoiceDescriptions();
        m_voiceDescription = voices.value(m_options.voice - 1, voices.value(0));
        m_voiceLanguage = m_platform.speech.VoiceLanguage(m_options.voice - 1);
    });
    try {
        try {
            m_working = m_platform.working.Path();
        } catch (const RuntimeError &) {
            // Refused once, with its cause on standard error: the fallback serves.
            m_working = m_platform.working.Path();
        }
        // Job folders of a converter that died are left over: this instance holds the
        // folder. Only those that carry the converter's mark go; a folder of the user's
        // (the working folder may be the user's own) is never touched.
        if (const auto entries = Fs::ListFolder(m_working)) {
            for (const Fs::Entry &entry : *entries) {
                if (entry.folder && entry.name.startsWith(kJobPrefix))
                    RemoveMarkedFolder(m_working + u'/' + entry.name);
            }
        }
        if (m_options.format != OutputFormat::Txt) {
            m_encoder = m_working + u"/lame.exe"_s;
            const QByteArray encoder = m_platform.resources.Load(u"CUSTOM"_s, 101);
            if (!FileHoldsBytes(m_encoder, encoder))
                WriteEncoder(m_platform.events, encoder, m_encoder);
            // Every encoder starts from this file, checked once: nothing put at its name later runs.
            m_encoderProgram = m_platform.working.OpenProgram(u"lame.exe"_s, encoder);
        }
    } catch (const std::exception &) {
        std::fprintf(stderr, "vocatext-convert: the working folder cannot be used: %s\n",
                     DescribeFailure(std::current_exception()).toLocal8Bit().constData());
        return 1;
    }

    int converted = 0;
    int skipped = 0;
    int failed = 0;
    double seconds = 0;
    QSet<QString> swept;
    for (Document &document : m_documents) {
        if (const QString problem = OutputPathProblem(document.output); !problem.isEmpty()) {
            Fail(document, problem);
            Settle(document);
            continue;
        }
        const auto input = Fs::Stat(document.path);
        const auto output = Fs::Stat(document.output);
        if (input && output && input->SameFileAs(*output)) { // notes.txt written as its own text
            Fail(document, u"The "_s + FormatWords(m_options.format) + u" would be written over the document itself: "_s
                               + document.output + u". Convert it with --out into another folder."_s);
            Settle(document);
            continue;
        }
        // A file of a type that is read (a text, say) stands where the output goes: unless
        // Vocatext wrote it, it is the user's own document and is never replaced.
        if (output && SupportedExtensions().contains(FormatExtension(m_options.format))
            && !Fs::IsProgramOutput(document.output)) {
            Fail(document, document.output + u" is a file of yours, not one that Vocatext wrote, so it is left as it "_s
                               u"is. Convert with --out into another folder."_s);
            Settle(document);
            continue;
        }
        // What a converter killed before its end left beside the outputs goes.
        if (const QString folder = GetFolderPath(document.output); !swept.contains(folder)) {
            swept.insert(folder);
            RemoveLeftPartials(document.output);
        }
        if (m_options.skipUnchanged && UpToDate(document)) {
            document.state = State::Skipped;
            if (!m_options.quiet && !m_live)
                Print(u"skipped "_s + document.path + u" ("_s + document.output + u" is newer)"_s);
            Settle(document);
        }
    }

    Loop();
    if (m_live)
        std::fputs("\r\x1b[K", stdout);
    if (!m_encoder.isEmpty())
        Fs::Remove(m_encoder);

    for (const Document &document : m_documents) {
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
        std::printf("%d converted, %d skipped, %d failed, %d left out; %.2f hours of speech in %s\n", converted, skipped,
                    failed, m_leftOut,
                    seconds / 3600, Duration(m_clock.elapsed() / 1000.0).toLocal8Bit().constData());
    return failed ? 1 : 0;
}

void Converter::Loop()
{
    for (;;) {
        ReapChildren();
        if (m_stopSignal)
            return;
        Schedule();
        while (m_next < m_documents.size() && Finished(m_documents[m_next]))
            ++m_next;
        if (m_next == m_documents.size())
            return;
        if (m_speaking == 0 && m_children.empty()) {
            // Nothing runs and nothing could be started (no worker process can be made):
            // what is left fails, in words, rather than waiting for ever.
            for (size_t i = m_next; i < m_documents.size(); ++i) {
                if (!Finished(m_documents[i])) {
                    Fail(m_documents[i], m_cannotStart.isEmpty() ? u"its conversion could not be started"_s
                                                                 : m_cannotStart);
                    Settle(m_documents[i]);
                }
            }
            return;
        }

        std::vector<pollfd> fds;
        if (m_signalPipe[0] >= 0)
            fds.push_back({m_signalPipe[0], POLLIN, 0});
        for (const Worker &worker : m_workers)
            fds.push_back({worker.output, POLLIN, 0});
        // Encoders and joins are asked for their end every 20 ms.
        ::poll(fds.data(), fds.size(), 20);
        if (m_signalPipe[0] >= 0) {
            char byte = 0;
            if (::read(m_signalPipe[0], &byte, 1) == 1) {
                Stop(byte);
                return;
            }
        }
        for (size_t i = 0; i < m_workers.size(); ++i)
            ReadWorker(m_workers[i]);
        Watch();
        // Workers that ended are taken out.
        std::erase_if(m_workers, [](const Worker &worker) { return worker.pid < 0; });
        if (m_live && m_clock.elapsed() - m_lastRefresh >= 250)
            Refresh();
    }
}

void Converter::Schedule()
{
    // Whatever waits, as long as a core is free: an encoder first (it ends a document
    // sooner and frees its WAV file), else speech, else the next document's text.
    while (m_speaking + m_encoding < m_options.jobs) {
        if (StartEncoder() || StartSpeaking() || StartPreparing())
            continue;
        return;
    }
}

bool Converter::Finished(const Document &document)
{
    return document.state == State::Converted || document.state == State::Skipped || document.state == State::Failed;
}

QString Converter::PiecePath(const Document &document, int piece, const QString &extension) const
{
    return SegmentPath(document.jobFolder + u"/output.txt"_s, piece, extension);
}

bool Converter::StartEncoder()
{
    for (size_t i = m_next; i < m_documents.size() && m_documents[i].state != State::Pending; ++i) {
        Document &document = m_documents[i];
        if (document.state != State::Working)
            continue;
        for (size_t k = 0; k < document.pieces.size(); ++k) {
            if (document.pieces[k] != PieceState::Spoken)
                continue;
            const int piece = static_cast<int>(k) + 1;
            const QString wav = PiecePath(document, piece, u".wav"_s);
            QString target;
            try {
                if (document.pieces.size() == 1) {
                    // A document of one piece is encoded beside its output path.
                    target = CreatePartial(document.output);
                    document.partial = target;
                    m_leftovers.Add(target);
                } else {
                    target = PiecePath(document, piece, u".mp3"_s);
                    if (auto made = Fs::CreateFresh(target, 0600); !made)
                        throw FileSystemError(made.Error(), target);
                }
            } catch (const RuntimeError &e) {
                Fail(document, e.description());
                Settle(document);
                return true;
            }
            try {
                m_children.push_back(
                    {m_platform.processes.RunOpened(m_encoderProgram, EncoderCommandLine(m_encoder, wav, target), 0),
                     &document, piece, wav, target, m_clock.elapsed()});
            } catch (const RuntimeError &e) {
                Fail(document, EncoderFailure(kStartFailureBase + e.number(), e.description(), wav, target));
                Settle(document);
                return true;
            }
            document.pieces[k] = PieceState::Encoding;
            ++document.running;
            ++m_encoding;
            return true;
        }
    }
    return false;
}

Converter::Worker *Converter::IdleWorker()
{
    for (Worker &worker : m_workers) {
        if (!worker.document && worker.pid > 0)
            return &worker;
    }
    if (static_cast<int>(m_workers.size()) >= m_options.jobs)
        return nullptr;
    WorkerSetup setup;
    setup.locale = QLocale::system().name();
    setup.choice = {m_options.voice - 1, m_options.volume, m_options.rate};
    const SegmentLimits window = SegmentLimitsForRate(m_options.rate);
    // The text is cut as the window cuts it when it is the text that is wanted.
    setup.limits = m_options.format == OutputFormat::Txt ? window
                                                          : SegmentLimits{window.lines,
                                                                          std::min(window.kilochars, kPieceKilochars)};
    Worker worker;
    if (!SpawnWorker(QStringList{u"--worker"_s} + WorkerArguments(setup), &worker.pid, &worker.input, &worker.output)) {
        m_cannotStart = u"No worker process can be started: "_s + QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    m_workers.push_back(worker);
    return &m_workers.back();
}

bool Converter::StartSpeaking()
{
    for (size_t i = m_next; i < m_documents.size() && m_documents[i].state != State::Pending; ++i) {
        Document &document = m_documents[i];
        if (document.state != State::Working)
            continue;
        for (size_t k = 0; k < document.pieces.size(); ++k) {
            if (document.pieces[k] != PieceState::Unspoken)
                continue;
            Worker *worker = IdleWorker();
            if (!worker)
                return false;
            document.pieces[k] = PieceState::Speaking;
            Send(*worker, document, static_cast<int>(k) + 1,
                 {u"speak"_s, document.jobFolder, QString::number(k + 1)});
            return true;
        }
    }
    return false;
}

bool Converter::StartPreparing()
{
    int ahead = 0;
    size_t i = m_next;
    for (; i < m_documents.size() && m_documents[i].state != State::Pending; ++i) {
        const Document &document = m_documents[i];
        if (document.state == State::Preparing)
            ++ahead;
        else if (document.state == State::Working)
            ahead += std::count(document.pieces.begin(), document.pieces.end(), PieceState::Unspoken) > 0;
    }
    if (ahead >= kPreparedAhead)
        return false;
    for (; i < m_documents.size(); ++i) {
        Document &document = m_documents[i];
        if (document.state != State::Pending)
            continue;
        Worker *worker = IdleWorker();
        if (!worker)
            return false;
        // A fresh folder under a name that is free: one that stands there is never emptied.
        int error = EEXIST;
        for (int n = 0; error == EEXIST && n < 1000; ++n) {
            document.jobFolder = m_working + u'/' + kJobPrefix + QString::number(i)
                                 + (n ? u'-' + QString::number(n) : QString());
            error = MakeMarkedFolder(document.jobFolder);
        }
        if (error != 0) {
            const QString folder = std::exchange(document.jobFolder, QString());
            Fail(document, u"No working folder can be made for it: "_s + FileSystemError(error, folder).description());
            Settle(document);
            return true;
        }
        document.state = State::Preparing;
        Send(*worker, document, 0, {u"text"_s, document.jobFolder, document.path});
        return true;
    }
    return false;
}

void Converter::Send(Worker &worker, Document &document, int piece, const QStringList &words)
{
    worker.document = &document;
    worker.piece = piece;
    worker.progressAt = m_clock.elapsed();
    worker.grown = -1;
    ++document.running;
    ++m_speaking;
    const QByteArray line = Channel::Line(words);
    qsizetype sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::write(worker.input, line.constData() + sent, static_cast<size_t>(line.size() - sent));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the worker is gone: its end is noticed on its output
        sent += n;
    }
}

void Converter::ReadWorker(Worker &worker)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(worker.output, buffer, sizeof buffer);
        if (n > 0) {
            worker.pending.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            WorkerEnded(worker);
            return;
        }
        break;
    }
    // A long answer (the headings of a long document) comes in many reads: each byte is
    // looked at once.
    for (qsizetype end; (end = worker.pending.indexOf('\n', worker.scanned)) >= 0;) {
        const QByteArray line = worker.pending.left(end);
        worker.pending.remove(0, end + 1);
        worker.scanned = 0;
        Answered(worker, Channel::Words(line));
    }
    worker.scanned = worker.pending.size();
}

void Converter::Answered(Worker &worker, const QStringList &words)
{
    Document *document = std::exchange(worker.document, nullptr);
    if (!document)
        return;
    --m_speaking;
    --document->running;
    const QString &word = words.value(0);
    if (word == u"failed"_s) {
        const Stage stage = static_cast<Stage>(words.value(1).toInt());
        Fail(*document, words.value(3) + u" (while "_s + StageWords(stage) + u')');
    } else if (document->state == State::Failed) {
        // A document that failed meanwhile: what came back goes with it.
    } else if (word == u"pieces"_s && m_options.format == OutputFormat::Txt) {
        WriteText(*document, std::max(1, words.value(1).toInt()));
    } else if (word == u"pieces"_s) {
        document->pieces.assign(static_cast<size_t>(std::max(1, words.value(1).toInt())), PieceState::Unspoken);
        document->state = State::Working;
        document->title = words.value(2);
        document->author = words.value(3);
        QList<LinePlace> places;
        for (qsizetype k = 4; k + 3 < words.size(); k += 4) {
            document->headings.append({words[k + 3], 1, words[k].toLongLong()});
            places.append({words[k + 1].toInt(), words[k + 2].toInt()});
        }
        document->clock = ChapterClock(document->headings, places);
    } else if (word == u"spoken"_s) {
        const int piece = words.value(1).toInt();
        if (piece >= 1 && piece <= static_cast<int>(document->pieces.size()))
            document->pieces[static_cast<size_t>(piece - 1)] = PieceState::Spoken;
        document->seconds += words.value(2).toDouble();
        QList<qint64> starts;
        starts.reserve(words.size() - 3);
        for (qsizetype k = 3; k < words.size(); ++k)
            starts.append(words[k].toLongLong());
        document->clock.Spoken(piece, starts);
    }
    Settle(*document);
}

void Converter::WorkerEnded(Worker &worker)
{
    int status = 0;
    ::waitpid(worker.pid, &status, 0);
    ::close(worker.input);
    ::close(worker.output);
    worker.input = worker.output = -1;
    worker.pid = -1;
    if (Document *document = std::exchange(worker.document, nullptr)) {
        --m_speaking;
        --document->running;
        Fail(*document, u"its conversion ended unexpectedly ("_s
                            + (WIFSIGNALED(status) ? u"signal "_s + QString::number(WTERMSIG(status))
                                                   : u"exit code "_s + QString::number(WEXITSTATUS(status)))
                            + u')');
        Settle(*document);
    }
}

void Converter::ReapChildren()
{
    for (size_t i = 0; i < m_children.size();) {
        const int code = m_children[i].process->ExitCode();
        if (code == kStillActive) {
            ++i;
            continue;
        }
        Child child = std::move(m_children[i]);
        m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(i));
        --child.document->running;
        if (child.piece > 0) {
            --m_encoding;
            Encoded(child, code);
        } else if (child.piece == kPacking) {
            --m_encoding;
            Packed(child, code);
        } else {
            Joined(child, code);
        }
        Settle(*child.document);
    }
}

// A worker or a helper that makes no progress (stopped, swapped out, a stuck engine) is
// stopped, and its work is tried once more before its document fails: a batch always ends.
void Converter::Watch()
{
    const qint64 limit = qint64(m_options.stallSeconds) * 1000;
    for (Worker &worker : m_workers) {
        if (!worker.document || worker.pid < 0)
            continue;
        // Speech grows its WAV file as it is made; reading a document (LibreOffice has
        // ten minutes for one) shows nothing until it is done.
        const bool speaking = worker.piece > 0;
        const QString file = speaking ? PiecePath(*worker.document, worker.piece, u".wav"_s) : QString();
        if (Stalled(worker.progressAt, worker.grown, file, speaking ? limit : limit + 600000))
            WorkerStalled(worker);
    }
    for (size_t i = 0; i < m_children.size();) {
        Child &child = m_children[i];
        const QString file = child.piece == 0 ? QString() : child.target;
        if (Stalled(child.progressAt, child.grown, file, limit))
            ChildStalled(i);
        else
            ++i;
    }
}

bool Converter::Stalled(qint64 &progressAt, qint64 &grown, const QString &file, qint64 limitMs) const
{
    const qint64 now = m_clock.elapsed();
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

bool Converter::StalledTwice(Document &document, int piece)
{
    if (++document.stalls[piece] < 2)
        return false;
    const QString what = piece > 0 ? u"piece "_s + QString::number(piece)
                         : piece == 0 ? u"reading its text"_s
                         : piece == kJoining ? u"the join"_s
                                             : u"ffmpeg"_s;
    Fail(document, what + u" made no progress for "_s + QString::number(m_options.stallSeconds)
                       + u" seconds, twice; it was stopped"_s);
    return true;
}

void Converter::WorkerStalled(Worker &worker)
{
    ::kill(worker.pid, SIGKILL);
    ::waitpid(worker.pid, nullptr, 0);
    ::close(worker.input);
    ::close(worker.output);
    worker.input = worker.output = -1;
    worker.pid = -1;
    Document &document = *std::exchange(worker.document, nullptr);
    --m_speaking;
    --document.running;
    if (document.state != State::Failed && !StalledTwice(document, worker.piece)) {
        if (worker.piece > 0) {
            Fs::Remove(PiecePath(document, worker.piece, u".wav"_s));
            document.pieces[static_cast<size_t>(worker.piece - 1)] = PieceState::Unspoken;
        } else {
            document.state = State::Pending;
            RemoveMarkedFolder(std::exchange(document.jobFolder, QString()));
            m_next = std::min(m_next, static_cast<size_t>(&document - &m_documents.front()));
        }
    }
    Settle(document);
}

void Converter::ChildStalled(size_t index)
{
    Child child = std::move(m_children[index]);
    m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(index));
    child.process->Stop();
    Document &document = *child.document;
    --document.running;
    if (child.piece != 0)
        --m_encoding;
    const int piece = child.piece == 0 ? kJoining : child.piece;
    if (document.state != State::Failed && !StalledTwice(document, piece)) {
        if (child.piece > 0) {
            document.pieces[static_cast<size_t>(child.piece - 1)] = PieceState::Spoken;
            if (document.pieces.size() == 1) {
                m_leftovers.Forget(document.partial);
                Fs::Remove(std::exchange(document.partial, QString()));
            }
        } else if (child.piece == 0) {
            m_leftovers.Forget(document.partial);
            Fs::Remove(std::exchange(document.partial, QString()));
            StartJoin(document);
        } else {
            m_leftovers.Forget(document.audiobook);
            Fs::Remove(std::exchange(document.audiobook, QString()));
            Pack(document);
        }
    }
    Settle(document);
}

void Converter::Encoded(Child &child, int exitCode)
{
    Document &document = *child.document;
    Fs::Remove(child.wav);
    if (document.state == State::Failed)
        return;
    if (const QString failure = EncoderFailure(exitCode, child.process->ErrorOutput(), child.wav, child.target);
        !failure.isEmpty()) {
        Fail(document, failure);
        return;
    }
    document.pieces[static_cast<size_t>(child.piece - 1)] = PieceState::Encoded;
    try {
        document.clock.Encoded(child.piece, Mp3Samples(child.target));
    } catch (const RuntimeError &) {
        // a piece that cannot be read fails the join
    }
    if (++document.encoded < static_cast<int>(document.pieces.size()))
        return;
    if (document.pieces.size() == 1) {
        Complete(document);
        return;
    }
    StartJoin(document);
}

void Converter::StartJoin(Document &document)
{
    // The piece MP3s are joined byte for byte beside the output path.
    try {
        document.partial = PartialName(document.output);
        m_leftovers.Add(document.partial);
        const QString commandFile = document.jobFolder + u"/JoinMP3.bat"_s;
        WriteCommandFile(JoinCommandText(document.jobFolder + u"/output.txt"_s,
                                         static_cast<int>(document.pieces.size()), document.partial),
                         commandFile);
        m_children.push_back(
            {m_platform.processes.Run(QuotedForCommandLine(commandFile), 0), &document, 0, QString(), QString(),
             m_clock.elapsed()});
        ++document.running;
        document.state = State::Joining;
    } catch (const RuntimeError &e) {
        Fail(document, e.description());
    }
}

void Converter::Joined(Child &child, int exitCode)
{
    Document &document = *child.document;
    if (document.state == State::Failed)
        return;
    if (const QString failure = JoinFailure(exitCode, child.process->ErrorOutput(), document.partial, document.output);
        !failure.isEmpty()) {
        Fail(document, failure);
        return;
    }
    m_leftovers.Add(document.partial); // the join's file now stands at the partial name
    Complete(document);
}

void Converter::Complete(Document &document)
{
    const AudiobookTags all = TagsFor(document.path, {document.title, document.author, {}}, document.track,
                                      static_cast<int>(m_documents.size()), m_voiceDescription, m_voiceLanguage);
    AudiobookTags tags;
    if (m_options.tags)
        tags = all;
    if (m_options.chapters)
        tags.chapters = document.clock.Chapters(all.title);
    try {
        // Tags that cannot be written are said; the MP3 takes its place without them.
        bool tagged = true;
        try {
            WriteMp3Tags(document.partial, tags);
        } catch (const RuntimeError &e) {
            tagged = false;
            Print(u"vocatext-convert: "_s + document.path + u": "_s + TagFailure(document.output, e.description()),
                  true);
        }
        if (m_options.format != OutputFormat::M4b) {
            m_leftovers.Forget(document.partial);
            PutInPlace(std::exchange(document.partial, QString()), document.output);
            Converted(document);
            return;
        }
        m_leftovers.Add(document.partial);
        document.chapterCount = tagged ? static_cast<int>(tags.chapters.size()) : 0;
        Pack(document);
    } catch (const RuntimeError &e) {
        Fail(document, e.description());
    }
}

// ffmpeg makes the audiobook of the tagged MP3, taking the tags and chapters from its own
// ID3 frames: no text of theirs passes through a format that needs escapes.
void Converter::Pack(Document &document)
{
    try {
        document.audiobook = CreatePartial(document.output);
        m_leftovers.Add(document.audiobook);
        m_children.push_back({m_platform.processes.Run(AudiobookCommandLine(kFfmpeg, document.partial,
                                                                            Iso639Part2(m_voiceLanguage),
                                                                            document.audiobook),
                                                       0),
                              &document, kPacking, QString(), document.audiobook, m_clock.elapsed()});
        ++document.running;
        ++m_encoding;
        document.state = State::Packing;
    } catch (const RuntimeError &e) {
        Fail(document, e.description());
    }
}

int Converter::ChaptersOf(const QString &audiobook, const QString &listing)
{
    const std::unique_ptr<IChildProcess> probe = m_platform.processes.Run(
        QuotedForCommandLine(kFfprobe) + u" -v error -show_entries chapter=id -of csv=p=0 -o "_s
            + QuotedForCommandLine(listing) + u' ' + QuotedForCommandLine(audiobook),
        0);
    int code = kStillActive;
    for (int waited = 0; (code = probe->ExitCode()) == kStillActive && waited < 60000; waited += 10)
        ::usleep(10000);
    if (code != 0) {
        probe->Stop();
        throw RuntimeError(u"ffprobe cannot read the audiobook "_s + audiobook + u": "_s
                               + LastErrorLine(probe->ErrorOutput()),
                           ErrorNumber::PathFileAccessError);
    }
    const auto listed = Fs::ReadFile(listing, 1 << 24);
    Fs::Remove(listing);
    return listed ? static_cast<int>(listed->count('\n')) : -1;
}

void Converter::Packed(Child &child, int exitCode)
{
    Document &document = *child.document;
    if (document.state == State::Failed)
        return;
    const auto made = Fs::LinkStat(document.audiobook);
    if (exitCode != 0 || !made || made->kind != Fs::Kind::Regular || made->size == 0) {
        const QString cause = LastErrorLine(child.process->ErrorOutput());
        Fail(document, u"ffmpeg could not make the audiobook "_s + document.output
                           + (exitCode != 0 ? u" (exit code "_s + QString::number(exitCode) + u')' : QString())
                           + (cause.isEmpty() ? QString() : u": "_s + cause));
        return;
    }
    try {
        // A player finds every chapter of the MP3 in the audiobook, or the audiobook fails.
        const int chapters = ChaptersOf(document.audiobook, document.jobFolder + u"/chapters.csv"_s);
        if (chapters != document.chapterCount)
            throw RuntimeError(u"ffmpeg made an audiobook with "_s + QString::number(chapters) + u" of its "_s
                                   + QString::number(document.chapterCount) + u" chapters: "_s + document.output,
                               ErrorNumber::PathFileAccessError);
        m_leftovers.Forget(document.audiobook);
        PutInPlace(std::exchange(document.audiobook, QString()), document.output);
        Converted(document);
    } catch (const RuntimeError &e) {
        Fail(document, e.description());
    }
}

// The text that would be spoken: the segments' cleaned lines, one after another, as UTF-8
// in the document's text file (written beside its place and renamed when complete).
void Converter::WriteText(Document &document, int pieces)
{
    QByteArray text;
    for (int piece = 1; piece <= pieces; ++piece) {
        const QString path = PiecePath(document, piece, u".txt"_s);
        const auto bytes = Fs::ReadFile(path, qint64(1) << 30);
        if (!bytes)
            return Fail(document, FileSystemError(bytes.Error(), path).description());
        text += CodePage::Decode(*bytes).toUtf8();
    }
    if (const int error = Fs::WriteReplacing(document.output, text, Fs::WithUmask(0666)))
        return Fail(document, u"The text file cannot be written: "_s + document.output + u" ("_s
                                  + FileSystemError(error, document.output).description() + u')');
    Fs::MarkAsProgramOutput(document.output); // so that a later run may replace it
    Converted(document);
}

void Converter::Converted(Document &document)
{
    document.state = State::Converted;
    if (m_options.quiet || m_live)
        return;
    if (m_options.format == OutputFormat::Txt)
        Print(u"wrote the text of "_s + document.path + u" -> "_s + document.output);
    else
        Print(u"converted "_s + document.path + u" -> "_s + document.output + u" ("_s
              + QString::number(document.seconds / 60, 'f', 1) + u" min of speech)"_s);
}

void Converter::Fail(Document &document, const QString &why)
{
    if (document.state == State::Failed)
        return;
    document.state = State::Failed;
    Print(u"vocatext-convert: "_s + document.path + u": "_s + why, true);
}

void Converter::Settle(Document &document)
{
    // Once nothing of a finished document runs any more, its working files and partial
    // MP3 go, and it keeps no more than what the summary counts.
    if (!Finished(document) || document.running > 0)
        return;
    for (QString *partial : {&document.partial, &document.audiobook}) {
        if (!partial->isEmpty()) {
            Fs::Remove(*partial);
            m_leftovers.Forget(*partial);
            partial->clear();
        }
    }
    if (!document.jobFolder.isEmpty())
        RemoveMarkedFolder(std::exchange(document.jobFolder, QString()));
    document.pieces = {};
    document.pieces.shrink_to_fit();
    document.headings = {};
    document.clock = ChapterClock();
    document.path = QString();
    document.output = QString();
}

void Converter::Stop(int signal)
{
    m_stopSignal = signal;
    for (Worker &worker : m_workers) {
        if (worker.pid > 0)
            ::kill(worker.pid, SIGTERM);
    }
    m_platform.processes.StopAll();
    for (Worker &worker : m_workers) {
        if (worker.pid > 0)
            ::waitpid(std::exchange(worker.pid, -1), nullptr, 0);
    }
    m_children.clear();
    m_leftovers.RemoveAll();
    for (Document &document : m_documents) {
        if (!document.jobFolder.isEmpty())
            RemoveMarkedFolder(std::exchange(document.jobFolder, QString()));
        if (document.state == State::Preparing || document.state == State::Working || document.state == State::Joining
            || document.state == State::Packing)
            document.state = State::Pending;
    }
}

void Converter::Refresh()
{
    if (!m_live)
        return;
    m_lastRefresh = m_clock.elapsed();
    int done = 0;
    double progress = 0;
    QStringList current;
    for (const Document &document : m_documents) {
        if (Finished(document)) {
            ++done;
            progress += 1;
        } else if (document.state != State::Pending) {
            current.append(GetFileName(document.path));
            if (!document.pieces.empty())
                progress += static_cast<double>(document.encoded) / static_cast<double>(document.pieces.size() + 1);
        }
    }
    const double total = std::max<double>(1, static_cast<double>(m_documents.size()));
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
