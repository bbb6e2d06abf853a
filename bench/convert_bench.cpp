// The window's run against the headless converter, on the same documents and voice, for
// both engines (Flite's slt, what a new English user hears first, and espeak-ng's British
// English, ten times faster to synthesise).
//
//   vocatext-convert-bench [runs] [small-documents] [small-characters] [large-characters]
//                          (default 3 runs; 8 documents of 12 000 characters, one of 200 000)
//
// For each engine and batch, at rate 0: the window's sequential run, vocatext-convert -j1
// and -j2, and the raw tools (the engine's own command line, then lame -h, one document
// after another). Prints, over the runs, min and median of the wall time per second of
// audio, of the ratio to the window's run of the same run, and of the CPU use (user +
// system over wall), and the peak memory of the largest converter worker.
#include "app/conversionrun.h"
#include "bench/benchutil.h"
#include "common/services.h"
#include "pipeline/chapters.h"
#include "pipeline/documentjob.h"
#include "pipeline/speak.h"
#include "services/platformservices.h"
#include "tests/support/plainwindow.h"
#include "ui/boxreports.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

double CpuSeconds()
{
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage usage;
        getrusage(who, &usage);
        total += usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
                 + usage.ru_stime.tv_usec / 1e6;
    }
    return total;
}

// The largest peak resident memory of a running converter worker, in MiB.
double WorkerPeakMiB()
{
    double peak = 0;
    QDirIterator processes(u"/proc"_s, QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString folder = processes.next();
        QFile command(folder + u"/cmdline"_s);
        if (!command.open(QIODevice::ReadOnly) || !command.readAll().contains("--worker"))
            continue;
        QFile status(folder + u"/status"_s);
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peak = std::max(peak, line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024);
        }
    }
    return peak;
}

struct Measure
{
    double wall = 0;
    double cpu = 0;
    double workerPeak = 0;
    double audio = 0; // seconds of speech made
};

Measure Time(const std::function<void()> &work)
{
    double peak = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&peak] { peak = std::max(peak, WorkerPeakMiB()); });
    sampler.start(100);
    const double cpu = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    work();
    return {clock.nsecsElapsed() / 1e9, CpuSeconds() - cpu, peak, 0};
}

void RunAndWait(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    // The event loop runs meanwhile, so the memory sampler sees the workers.
    while (!process.waitForFinished(50))
        QCoreApplication::processEvents();
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s ended with exit code %d\n", qPrintable(program), process.exitCode());
}

// Seconds of audio in the MP3 files of a folder: MPEG frames counted.
double AudioSeconds(const QString &folder)
{
    double seconds = 0;
    for (const QString &name : QDir(folder).entryList({u"*.mp3"_s}, QDir::Files))
        seconds += static_cast<double>(Mp3Samples(folder + u'/' + name)) / kMp3SampleRate;
    return seconds;
}

double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

double Min(const QList<double> &values)
{
    return values.isEmpty() ? 0 : *std::min_element(values.begin(), values.end());
}

struct Engine
{
    const char *name;
    QString voice;
    // The engine's own command line for a text file into a WAV file, when installed.
    std::function<QStringList(const QString &text, const QString &wav)> raw;
    QString rawProgram;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3;
    const int smallCount = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 8;
    const qint64 smallCharacters = argc > 3 ? QString::fromLocal8Bit(argv[3]).toLongLong() : 12000;
    const qint64 largeCharacters = argc > 4 ? QString::fromLocal8Bit(argv[4]).toLongLong() : 200000;
    const QString bin = QCoreApplication::applicationDirPath() + u"/../bin"_s;
    constexpr int kRate = 0;

    QTemporaryDir dir;
    qputenv("TEMP", QFile::encodeName(dir.filePath(u"work"_s)));
    QDir(dir.path()).mkdir(u"work"_s);
    QFile::setPermissions(dir.filePath(u"work"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    PlatformServices platform(bin, u"en_GB"_s);
    PrintingBoxes boxes;
    Services services(platform.Wire());
    services.boxes = &boxes;
    BoxReports reports(boxes);
    services.reports = &reports;
    const QStringList voices = platform.speech.VoiceDescriptions();

    const QList<Engine> engines = {
        {"Flite", u"Flite English (United States) female slt"_s,
         [](const QString &text, const QString &wav) {
             return QStringList{u"-voice"_s, u"slt"_s, u"-f"_s, text, u"-o"_s, wav};
         },
         QStandardPaths::findExecutable(u"flite"_s)},
        {"espeak-ng", u"eSpeak NG English (Great Britain)"_s,
         [](const QString &text, const QString &wav) {
             return QStringList{u"-v"_s, u"en-gb"_s, u"-s"_s, QString::number(WordsPerMinute(kRate)), u"-w"_s, wav,
                                u"-f"_s, text};
         },
         QStandardPaths::findExecutable(u"espeak-ng"_s)},
    };

    struct Batch
    {
        const char *name;
        QStringList documents;
    };
    QList<Batch> batches = {{"8 small documents", {}}, {"one large document", {}}};
    const QStringList small = EnglishParagraphs(smallCharacters, static_cast<int>(smallCharacters / 70));
    for (int i = 0; i < smallCount; ++i) {
        const QString path = dir.filePath(u"a%1.odt"_s.arg(i));
        WriteOdt(path, small);
        batches[0].documents.append(path);
    }
    batches[0].name = smallCount == 8 ? "8 small documents" : "small documents";
    batches[1].documents.append(dir.filePath(u"b.odt"_s));
    WriteOdt(batches[1].documents[0], EnglishParagraphs(largeCharacters, static_cast<int>(largeCharacters / 70)));

    std::printf("rate %d; %d runs; %d documents of %lld characters, one of %lld; the machine's other load is "
                "the reader's to say\n",
                kRate, runs, smallCount, static_cast<long long>(smallCharacters),
                static_cast<long long>(largeCharacters));
    const QString out = dir.filePath(u"out"_s);
    for (const Engine &engine : engines) {
        const int voice = static_cast<int>(voices.indexOf(engine.voice));
        if (voice < 0) {
            std::printf("%s: voice %s is not installed, skipped\n", engine.name, qPrintable(engine.voice));
            continue;
        }
        for (const Batch &batch : batches) {
            std::printf("\n%s (%s), %s\n", engine.name, qPrintable(engine.voice), batch.name);
            QMap<QString, QList<Measure>> measured;
            const QStringList order = {u"window's run"_s, u"vocatext-convert -j1"_s, u"vocatext-convert -j2"_s,
                                       u"raw tools"_s};
            QList<double> windowWalls;
            for (int run = 0; run < runs; ++run) {
                auto fresh = [&] {
                    QDir(out).removeRecursively();
                    QDir().mkpath(out);
                };
                fresh();
                Measure window = Time([&] {
                    PlainMainWindow plain;
                    plain.combo1Index = voice;
                    plain.slider2 = kRate;
                    plain.text1 = out;
                    for (const QString &document : batch.documents)
                        plain.list.Append(document);
                    Speak speak(services);
                    JobsUnderWay underWay;
                    PushButton1_Click(services, plain, speak, underWay);
                });
                window.audio = AudioSeconds(out);
                measured[order[0]].append(window);
                windowWalls.append(window.wall);
                for (const int jobs : {1, 2}) {
                    fresh();
                    Measure converter = Time([&] {
                        RunAndWait(bin + u"/vocatext-convert"_s,
                                   QStringList{u"--quiet"_s, u"--no-cache"_s, u"-j"_s, QString::number(jobs), u"--voice"_s,
                                               QString::number(voice + 1), u"--rate"_s, QString::number(kRate),
                                               u"--volume"_s, u"100"_s, u"--out"_s, out}
                                       + batch.documents);
                    });
                    converter.audio = AudioSeconds(out);
                    measured[order[jobs]].append(converter);
                }
                if (engine.rawProgram.isEmpty())
                    continue;
                Measure raw = Time([&] {
                    for (const QString &document : batch.documents) {
                        const QString text = dir.filePath(u"raw.txt"_s);
                        QFile file(text);
                        file.open(QIODevice::WriteOnly);
                        platform.reader.ReadBodyText(document,
                                                     [&file](QStringView piece) { file.write(piece.toUtf8()); });
                        file.close();
                        RunAndWait(engine.rawProgram, engine.raw(text, dir.filePath(u"raw.wav"_s)));
                        RunAndWait(u"lame"_s, {u"--quiet"_s, u"-h"_s, dir.filePath(u"raw.wav"_s),
                                               dir.filePath(u"raw.mp3"_s)});
                    }
                });
                raw.audio = measured[order[0]].last().audio;
                measured[order[3]].append(raw);
            }
            std::printf("  %-22s %19s %21s %15s %13s %9s\n", "", "wall s (min/med)", "x window (min/med)",
                        "CPU (min/med)", "s per s audio", "worker");
            for (const QString &what : order) {
                const QList<Measure> &all = measured.value(what);
                if (all.isEmpty())
                    continue;
                QList<double> walls, ratios, cpus, perAudio;
                double peak = 0;
                for (qsizetype i = 0; i < all.size(); ++i) {
                    walls.append(all[i].wall);
                    ratios.append(all[i].wall / windowWalls[i]);
                    cpus.append(all[i].cpu / all[i].wall);
                    perAudio.append(all[i].audio > 0 ? all[i].wall / all[i].audio : 0);
                    peak = std::max(peak, all[i].workerPeak);
                }
                std::printf("  %-22s %8.2f / %8.2f %9.3f / %9.3f %6.2f / %6.2f %13.4f", qPrintable(what), Min(walls),
                            Median(walls), Min(ratios), Median(ratios), Min(cpus), Median(cpus), Median(perAudio));
                if (peak > 0)
                    std::printf(" %5.1f MiB", peak);
                std::printf("\n");
            }
            const QList<Measure> &window = measured.value(order[0]);
            const QList<Measure> &parallel = measured.value(order[2]);
            if (!window.isEmpty() && !parallel.isEmpty())
                std::printf("  speech: window %.1f s, -j2 %.1f s of audio (%.2f %% apart)\n", window.last().audio,
                            parallel.last().audio,
                            100.0 * std::abs(parallel.last().audio - window.last().audio) / window.last().audio);
        }
    }
    return 0;
}
