// The whole conversion of one long document with the real pipeline, against the raw tools.
//
//   vocatext-pipeline-bench [characters]      (default 200000)
//
// Builds an English document (one paragraph per line of text that ships with Debian),
// converts it at the default rate (-3) with the real reader, espeak-ng and LAME, and prints
// the seconds of each stage, the same text through espeak-ng -w and lame -h, their ratio,
// the peak memory and the longest time the event loop went without running. Every 20th
// paragraph is a heading: the chapters' bookkeeping and the tag are timed again on what the
// run made, as a share of the whole.
#include "bench/benchutil.h"
#include "system/qtresources.h"
#include "system/privateworkingfolder.h"
#include "system/posixprocessrunner.h"
#include "engines/speechengine.h"
#include "documents/odtreader.h"
#include "system/qteventloop.h"
#include "tests/support/plainwindow.h"
#include "common/services.h"
#include "api/workingfolder.h"
#include "app/conversionrun.h"
#include "engines/linestarts.h"
#include "pipeline/chapters.h"
#include "pipeline/documentjob.h"
#include "pipeline/speak.h"
#include "pipeline/tags.h"
#include "api/documentreader.h"
#include "engines/espeakengine.h"
#include "api/speech.h"
#include "ui/boxreports.h"
#include "ui/messageboxes.h"
#include "api/processes.h"
#include "api/resources.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QElapsedTimer g_clock;
double Now()
{
    return g_clock.nsecsElapsed() / 1e9;
}

struct StageTimes
{
    double extract = 0;
    double extractEnd = 0;
    double firstSpeakStart = -1;
    double speak = 0;
    double encode = 0;
    double join = 0;
};

class TimedReader final : public IDocumentReader
{
public:
    explicit TimedReader(StageTimes &times)
        : m_times(times)
    {
    }
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts) override
    {
        const double start = Now();
        m_reader.ReadBodyText(path, sink, facts);
        m_times.extract += Now() - start;
        m_times.extractEnd = Now();
    }

private:
    OdtReader m_reader;
    StageTimes &m_times;
};

class TimedVoice final : public ISpeechVoice
{
public:
    TimedVoice(std::unique_ptr<ISpeechVoice> voice, StageTimes &times)
        : m_voice(std::move(voice))
        , m_times(times)
    {
    }
    void SelectVoice(int index) override { m_voice->SelectVoice(index); }
    void SetVolume(int volume) override { m_voice->SetVolume(volume); }
    void SetRate(int rate) override { m_voice->SetRate(rate); }
    void SetOutput(IAudioFileStream *stream) override { m_voice->SetOutput(stream); }
    void SpeakFile(const QString &path) override
    {
        const double start = Now();
        if (m_times.firstSpeakStart < 0)
            m_times.firstSpeakStart = start;
        m_voice->SpeakFile(path);
        m_times.speak += Now() - start;
    }
    void Speak(const QString &text) override { m_voice->Speak(text); }
    void SpeakPassages(const QList<Passage> &passages) override
    {
        const double start = Now();
        m_voice->SpeakPassages(passages);
        m_times.speak += Now() - start;
    }
    QList<qint64> LineStarts() const override { return m_voice->LineStarts(); }

private:
    std::unique_ptr<ISpeechVoice> m_voice;
    StageTimes &m_times;
};

class TimedEngine final : public ISpeechEngine
{
public:
    TimedEngine(ISpeechEngine &engine, StageTimes &times)
        : m_engine(engine)
        , m_times(times)
    {
    }
    std::unique_ptr<ISpeechVoice> CreateVoice() override
    {
        return std::make_unique<TimedVoice>(m_engine.CreateVoice(), m_times);
    }
    std::unique_ptr<IAudioFileStream> CreateFileStream() override { return m_engine.CreateFileStream(); }
    QStringList VoiceDescriptions() override { return m_engine.VoiceDescriptions(); }
    QString VoiceLanguage(int index) override { return m_engine.VoiceLanguage(index); }
    QStringList VoiceLanguages() override { return m_engine.VoiceLanguages(); }
    QString VoiceIdentity(int index, int rate) override { return m_engine.VoiceIdentity(index, rate); }

private:
    ISpeechEngine &m_engine;
    StageTimes &m_times;
};

// Times a child from its start to the poll that sees it ended: the wait the user sees.
class TimedChild final : public IChildProcess
{
public:
    TimedChild(std::unique_ptr<IChildProcess> child, double *total)
        : m_child(std::move(child))
        , m_total(total)
        , m_start(Now())
    {
    }
    QString ErrorOutput() override { return m_child->ErrorOutput(); }
    void Stop() override { m_child->Stop(); }
    qint64 PeakMemory() override { return m_child->PeakMemory(); }
    int ExitCode() override
    {
        const int code = m_child->ExitCode();
        if (code != kStillActive && m_total) {
            *m_total += Now() - m_start;
            m_total = nullptr;
        }
        return code;
    }

private:
    std::unique_ptr<IChildProcess> m_child;
    double *m_total;
    double m_start;
};

class TimedProcesses final : public IProcessRunner
{
public:
    TimedProcesses(IProcessRunner &runner, StageTimes &times)
        : m_runner(runner)
        , m_times(times)
    {
    }
    std::unique_ptr<IChildProcess> Run(const QString &commandLine) override
    {
        double *total = commandLine.contains(u".bat"_s) ? &m_times.join : &m_times.encode;
        return std::make_unique<TimedChild>(m_runner.Run(commandLine), total);
    }
    std::unique_ptr<IChildProcess> RunWithMemoryLimit(const QString &commandLine, qint64 memoryLimit) override
    {
        return m_runner.RunWithMemoryLimit(commandLine, memoryLimit);
    }
    std::unique_ptr<IChildProcess> RunOpened(const FileSystem::File &program, const QString &commandLine) override
    {
        return std::make_unique<TimedChild>(m_runner.RunOpened(program, commandLine), &m_times.encode);
    }
    std::unique_ptr<IWorkerProcess> StartWorker(const QStringList &arguments) override
    {
        return m_runner.StartWorker(arguments);
    }
    void StopAll() override { m_runner.StopAll(); }

private:
    IProcessRunner &m_runner;
    StageTimes &m_times;
};

double RunTool(const QString &program, const QStringList &arguments)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    process.waitForFinished(-1);
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 3 && qstrcmp(argv[1], "--make") == 0) {
        // One paragraph per line of the source text, made by a child process.
        const qint64 characters = QString::fromLocal8Bit(argv[2]).toLongLong();
        WriteOdt(QString::fromLocal8Bit(argv[3]), EnglishParagraphs(characters, static_cast<int>(characters / 70)), 20);
        return 0;
    }
    const qint64 characters = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 200000;
    g_clock.start();

    QTemporaryDir work;
    QTemporaryDir out;
    qputenv("TEMP", work.path().toLocal8Bit());
    const QString document = out.filePath(u"bench.odt"_s);
    QProcess::execute(QCoreApplication::applicationFilePath(), {u"--make"_s, QString::number(characters), document});

    StageTimes times;
    PrintingBoxes boxes;
    QtEventLoop events;
    EspeakEngine espeakEngine(events, u"en_GB"_s);
    SpeechEngine espeak({&espeakEngine});
    TimedEngine speech(espeak, times);
    TimedReader reader(times);
    PosixProcessRunner realProcesses(QCoreApplication::applicationDirPath() + u"/../bin/vocatext-cmd"_s);
    TimedProcesses processes(realProcesses, times);
    QtResources resources;
    PrivateWorkingFolder working;
    Services services;
    services.boxes = &boxes;
    BoxReports reports(boxes);
    services.reports = &reports;
    services.events = &events;
    services.speech = &speech;
    services.reader = &reader;
    services.processes = &processes;
    services.resources = &resources;
    services.workingFolder = &working;
    PlainMainWindow window;
    window.combo1Index = 0;
    window.slider2 = -3;
    window.text1 = out.path();
    window.list.Append(document);

    EventLoopGapMeter meter;
    meter.Start();
    const double start = Now();
    {
        Speak speak(services);
        JobsUnderWay underWay;
        PushButton1_Click(services, window, speak, underWay);
    }
    const double total = Now() - start;
    const double cut = times.firstSpeakStart - times.extractEnd;

    // The same text through the raw tools.
    const QString text = out.filePath(u"raw.txt"_s);
    {
        QFile file(text);
        file.open(QIODevice::WriteOnly);
        OdtReader plain;
        plain.ReadBodyText(document, [&file](QStringView piece) { file.write(piece.toUtf8()); });
    }
    const double rawSpeak = RunTool(u"espeak-ng"_s, {u"-v"_s, u"en-gb"_s, u"-s"_s,
                                                     QString::number(WordsPerMinute(-3)), u"-w"_s,
                                                     out.filePath(u"raw.wav"_s), u"-f"_s, text});
    const double rawEncode = RunTool(u"lame"_s, {u"--quiet"_s, u"-h"_s, out.filePath(u"raw.wav"_s),
                                                 out.filePath(u"raw.mp3"_s)});

    std::printf("document: %lld characters, %lld paragraphs, %d segments at rate -3\n",
                static_cast<long long>(characters), static_cast<long long>(characters / 70),
                static_cast<int>(QDir(work.path()).entryList({u"output*.txt"_s}).size()));
    std::printf("pipeline: extract %.3f s, cut %.3f s, speak %.2f s, encode %.2f s, join %.2f s; total %.2f s\n",
                times.extract, cut, times.speak, times.encode, times.join, total);
    std::printf("raw tools: espeak-ng -w %.2f s, lame -h %.2f s; sum %.2f s\n", rawSpeak, rawEncode,
                rawSpeak + rawEncode);
    std::printf("ratio pipeline / raw tools: %.3f\n", total / (rawSpeak + rawEncode));
    std::printf("mp3: %lld bytes; raw mp3: %lld bytes\n",
                static_cast<long long>(QFileInfo(out.filePath(u"bench.mp3"_s)).size()),
                static_cast<long long>(QFileInfo(out.filePath(u"raw.mp3"_s)).size()));
    // The chapters' bookkeeping again, on what the run made: the reader's facts, the cut's
    // places, where every line of every segment begins, the MP3's frames and the tag.
    const double bookkeepingStart = Now();
    DocumentFacts facts;
    OdtReader().ReadBodyText(document, [](QStringView) {}, &facts);
    const double factsEnd = Now();
    const QStringList segments = QDir(work.path()).entryList({u"output*.txt"_s}, QDir::Files, QDir::Name);
    qint64 lines = 0;
    // Each line as the engines hand it over: a pause that is scanned, then its sound.
    std::vector<qint16> line(4512, 0);
    std::fill(line.begin() + 4000, line.end(), qint16(3000));
    for (const QString &segment : segments) {
        QFile file(work.filePath(segment));
        file.open(QIODevice::ReadOnly);
        const QByteArray spoken = file.readAll();
        LineStartTracker tracker(spoken, 1.0, 22050);
        qint64 sample = 0;
        for (qsizetype at = 0; at < spoken.size();) {
            tracker.Reached(at, sample);
            tracker.Heard(line.data(), static_cast<qint64>(line.size()));
            sample += static_cast<qint64>(line.size());
            ++lines;
            const qsizetype end = spoken.indexOf('\n', at);
            if (end < 0)
                break;
            at = end + 1;
        }
        tracker.Starts();
    }
    const double linesEnd = Now();
    const QString mp3 = out.filePath(u"bench.mp3"_s);
    const qint64 samples = Mp3Samples(mp3);
    const double countEnd = Now();
    ChapterClock clock(facts.headings, {});
    clock.Encoded(1, samples);
    AudiobookTags tags = TagsFor(document, facts, 1, 1, u"voice"_s, u"en-gb"_s);
    tags.chapters = clock.Chapters(tags.title);
    const QString copy = out.filePath(u"copy.mp3"_s);
    QFile::copy(mp3, copy);
    const double tagStart = Now();
    WriteMp3Tags(copy, tags);
    const double tagEnd = Now();
    const double bookkeeping = (factsEnd - bookkeepingStart) + (linesEnd - factsEnd) + (countEnd - linesEnd)
                               + (tagEnd - tagStart);
    std::printf("chapters: %lld headings; facts %.1f ms, line starts of %lld lines %.1f ms, MP3 frames %.1f ms, "
                "tag %.1f ms; %.1f ms = %.3f %% of the conversion\n",
                static_cast<long long>(facts.headings.size()), (factsEnd - bookkeepingStart) * 1000,
                static_cast<long long>(lines), (linesEnd - factsEnd) * 1000, (countEnd - linesEnd) * 1000,
                (tagEnd - tagStart) * 1000, bookkeeping * 1000, bookkeeping / total * 100);
    std::printf("peak memory: %.1f MiB\n", PeakMemoryMiB());
    std::printf("longest event-loop gap: %lld ms\n", static_cast<long long>(meter.LongestGapMs()));
    return 0;
}
