#include "convert/converter.h"

#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "convert/batch.h"
#include "convert/console.h"
#include "convert/scheduler.h"
#include "convert/worker.h"
#include "pipeline/documentjob.h"
#include "pipeline/encoder.h"
#include "services/platformservices.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int g_signalPipe = -1;

extern "C" void OnSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe, &byte, 1);
}

} // namespace

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
{
}

Converter::~Converter()
{
    for (const int fd : m_signalPipe) {
        if (fd >= 0)
            ::close(fd);
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

int Converter::Run()
{
    Console console(::isatty(STDOUT_FILENO), m_options.quiet);
    if (m_options.intoFolder && !m_options.folder.isEmpty())
        m_options.folder = AbsolutePath(m_options.folder); // workers get whole paths
    if (m_options.intoFolder && !FolderExists(m_options.folder)) {
        console.Print(u"vocatext-convert: Folder does not exist. Please select another folder: "_s + m_options.folder,
                      true);
        return 2;
    }
    if (m_options.format == OutputForm::M4b) {
        if (const QString problem = AudiobookMakerProblem(kFfmpeg); !problem.isEmpty()) {
            console.Print(u"vocatext-convert: "_s + problem, true);
            return 2;
        }
    }
    CoreServices services = m_platform.Wire();
    const Batch batch = CollectBatch(m_options, services, console);
    if (!batch.clash.isEmpty()) {
        console.Print(u"vocatext-convert: "_s + batch.clash, true);
        return 2;
    }
    if (m_options.missing)
        return ListMissing(batch.entries, m_options.format, m_options.quiet);

    JobSetup common;
    common.choice = {m_options.voice - 1, m_options.volume, m_options.rate};
    // The text is cut as the window cuts it when it is the text that is wanted; otherwise
    // into pieces, smaller than the window's segments so that the pieces of a long document
    // are spoken on every core at once, at paragraph ends that an edit does not move.
    common.limits = SegmentLimitsForRate(m_options.rate);
    if (m_options.format != OutputForm::Txt)
        common.pieces = PieceLimits{2048, qint64(kPieceKilochars) * 1024, common.limits.lines - 1, 8};
    common.form = m_options.format;
    common.tags = m_options.tags;
    common.chapters = m_options.chapters;
    common.trackCount = static_cast<int>(batch.entries.size());
    common.ownWorkspace = true;
    NameTheVoice(services.Speech(), common); // the voice that the tags name

    // Finished pieces are kept under a key of everything that decides their sound.
    PieceCache cache = m_options.cache ? PieceCache(PieceCache::DefaultRoot(), m_options.cacheBytes) : PieceCache();
    if (m_options.cache && !cache.Serves())
        console.Print(u"vocatext-convert: finished pieces cannot be kept ("_s + cache.Problem()
                          + u"); converting without the cache"_s,
                      true);
    common.checkSpeech = true;
    common.coverFile = m_options.cover;
    common.readAlong =
        ((m_options.srt || m_options.lrc) && m_options.format != OutputForm::Txt) || m_options.format == OutputForm::Epub;
    common.srt = m_options.srt;
    common.languageSwitch = m_options.languageSwitch;
    common.lexicons = m_options.lexicons;
    common.voicesFor = m_options.voicesFor;
    common.lrc = m_options.lrc;
    EncoderProgram encoder;
    QByteArray encoderBytes;
    QString levelsFolder; // where the voices' levels are kept when the user's cache folder cannot serve
    try {
        try {
            m_platform.working.Path();
        } catch (const RuntimeError &) {
            // Refused once, with its cause on standard error: the fallback serves.
            m_platform.working.Path();
        }
        m_platform.working.RemoveLeftJobFolders();
        // The voices' levels are kept where every worker finds them, also when the user's
        // cache folder cannot serve: no worker measures one before a piece it speaks.
        if (m_platform.levels.FilePath().isEmpty()) {
            levelsFolder = m_platform.working.Path();
            m_platform.levels.SetFolder(levelsFolder);
        }
        if (m_options.format != OutputForm::Txt && m_options.format != OutputForm::Ssml) {
            encoderBytes = m_platform.resources.Load(u"CUSTOM"_s, 101);
            encoder.Install(m_platform.events, m_platform.working, encoderBytes);
        }
    } catch (const std::exception &) {
        console.Print(u"vocatext-convert: the working folder cannot be used: "_s
                          + DescribeFailure(std::current_exception()),
                      true);
        return 1;
    }

    if (m_options.cache && m_options.format != OutputForm::Opus)
        common.soundParts = {u"vocatext speech 2"_s, services.Speech().VoiceIdentity(common.choice.voice, common.choice.rate),
                             QString::number(common.choice.rate), QString::number(common.choice.volume),
                             QString::fromLatin1(QCryptographicHash::hash(encoderBytes, QCryptographicHash::Sha256).toHex()),
                             u"-h"_s};
    WorkerSetup worker{QLocale::system().name(), common.choice, common.limits, common.pieces, levelsFolder,
                       common.readAlong, common.languageSwitch, common.voicesFor};
    Scheduler scheduler(m_options, {services, m_platform.processes, encoder, console, kFfmpeg, kFfprobe,
                                    QStringList{u"--worker"_s} + WorkerArguments(worker), cache});
    QSet<QString> swept; // output folders whose leftovers of killed conversions are gone
    for (qsizetype i = 0; i < batch.entries.size(); ++i) {
        const BatchEntry &entry = batch.entries[i];
        const QString folder = GetFolderPath(entry.output);
        JobSetup setup = common;
        setup.document = entry.document;
        setup.track = static_cast<int>(i + 1);
        auto job = std::make_unique<DocumentJob>(setup, services, scheduler.Reports());
        if (const JobOutcome planned = job->PlanOutput(entry.output, !swept.contains(folder)); planned.failed) {
            scheduler.AddFinished(entry.document, false, planned.description);
        } else if (m_options.skipUnchanged && UpToDate(entry, m_options.format)) {
            console.Progress(u"skipped "_s + entry.document + u" ("_s + entry.output + u" is newer)"_s);
            scheduler.AddFinished(entry.document, true);
        } else {
            scheduler.Add(std::move(job));
        }
        swept.insert(folder);
    }

    const int stopSignal = scheduler.Run(m_signalPipe[0]);
    console.EndLive();
    cache.Trim();
    encoder.Remove(m_platform.events);
    if (stopSignal) {
        std::fprintf(stderr, "vocatext-convert: interrupted; %d converted, nothing half written left\n",
                     scheduler.Converted());
        return 128 + stopSignal;
    }
    if (!m_options.quiet)
        std::printf("%d converted, %d skipped, %d failed, %d left out; %.2f hours of speech in %s\n", scheduler.Converted(),
                    scheduler.Skipped(), scheduler.Failed(), batch.leftOut, scheduler.SpokenSeconds() / 3600,
                    Console::Duration(console.Elapsed()).toLocal8Bit().constData());
    return scheduler.Failed() || (scheduler.Unspoken() && !m_options.allowUnspoken) ? 1 : 0;
}
