// The window's run against the headless converter, on the same documents and voice.
//
//   vocatext-convert-bench [small-documents] [small-characters] [large-characters]
//                                         (default 8 documents of 25 000, one of 200 000)
//
// For (a) 8 documents of 25 000 characters and (b) one of 200 000 at rate -3, with
// espeak-ng's British English voice: the window's sequential run, vocatext-convert -j1
// and -j2, and the raw tools (espeak-ng -w, then lame -h, one document after another).
// Prints wall time, the ratio to the window's run, CPU use (user + system over wall) and
// the peak memory of the largest converter worker.
#include "bench/benchutil.h"
#include "ui/boxreports.h"
#include "common/services.h"
#include "app/conversionrun.h"
#include "pipeline/outputfiles.h"
#include "pipeline/speak.h"
#include "services/platformservices.h"
#include "tests/support/plainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kVoice = u"eSpeak NG English (Great Britain)"_s;

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
    return {clock.nsecsElapsed() / 1e9, CpuSeconds() - cpu, peak};
}

void RunAndWait(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    // The event loop runs meanwhile, so the memory sampler sees the workers.
    while (!process.waitForFinished(50))
        QCoreApplication::processEvents();
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s ended with exit code %d\n", qPrintable(program), process.exitCode());
}

void Report(const char *what, const Measure &measure, double window)
{
    std::printf("  %-28s %8.2f s  %5.2f x window  CPU %4.2f", what, measure.wall, measure.wall / window,
                measure.cpu / measure.wall);
    if (measure.workerPeak > 0)
        std::printf("  worker peak %.1f MiB", measure.workerPeak);
    std::printf("\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int smallCount = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 8;
    const qint64 smallCharacters = argc > 2 ? QString::fromLocal8Bit(argv[2]).toLongLong() : 25000;
    const qint64 largeCharacters = argc > 3 ? QString::fromLocal8Bit(argv[3]).toLongLong() : 200000;
    const QString bin = QCoreApplication::applicationDirPath() + u"/../bin"_s;

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
    const int voice = static_cast<int>(platform.speech.VoiceDescriptions().indexOf(kVoice));

    struct Batch
    {
        const char *name;
        QStringList documents;
    };
    QList<Batch> batches = {{"(a) small documents", {}}, {"(b) one large document", {}}};
    const QStringList paragraphs = EnglishParagraphs(largeCharacters, static_cast<int>(largeCharacters / 70));
    const QStringList small = EnglishParagraphs(smallCharacters, static_cast<int>(smallCharacters / 70));
    for (int i = 0; i < smallCount; ++i) {
        const QString path = dir.filePath(u"a%1.odt"_s.arg(i));
        WriteOdt(path, small);
        batches[0].documents.append(path);
    }
    batches[1].documents.append(dir.filePath(u"b.odt"_s));
    WriteOdt(batches[1].documents[0], paragraphs);

    std::printf("voice %s, rate -3; %d documents of %lld characters, one of %lld\n", qPrintable(kVoice), smallCount,
                static_cast<long long>(smallCharacters), static_cast<long long>(largeCharacters));
    for (const Batch &batch : batches) {
        std::printf("%s\n", batch.name);
        const QString out = dir.filePath(u"out"_s);
        QDir(out).removeRecursively();
        QDir().mkpath(out);

        const Measure window = Time([&] {
            PlainMainWindow plain;
            plain.combo1Index = voice;
            plain.slider2 = -3;
            plain.text1 = out;
            for (const QString &document : batch.documents)
                plain.list.Append(document);
            Speak speak(services);
            Leftovers leftovers;
            PushButton1_Click(services, plain, speak, leftovers);
        });
        Report("window's run", window, window.wall);
        for (const int jobs : {1, 2}) {
            const Measure converter = Time([&] {
                RunAndWait(bin + u"/vocatext-convert"_s, QStringList{u"--quiet"_s, u"-j"_s, QString::number(jobs),
                                                                    u"--voice"_s, kVoice, u"--rate"_s, u"-3"_s,
                                                                    u"--out"_s, out}
                                                             + batch.documents);
            });
            Report(jobs == 1 ? "vocatext-convert -j1" : "vocatext-convert -j2", converter, window.wall);
        }
        const Measure raw = Time([&] {
            for (const QString &document : batch.documents) {
                const QString text = dir.filePath(u"raw.txt"_s);
                QFile file(text);
                file.open(QIODevice::WriteOnly);
                platform.reader.ReadBodyText(document, [&file](QStringView piece) { file.write(piece.toUtf8()); });
                file.close();
                RunAndWait(u"espeak-ng"_s, {u"-v"_s, u"en-gb"_s, u"-s"_s, QString::number(WordsPerMinute(-3)),
                                            u"-w"_s, dir.filePath(u"raw.wav"_s), u"-f"_s, text});
                RunAndWait(u"lame"_s, {u"--quiet"_s, u"-h"_s, dir.filePath(u"raw.wav"_s), dir.filePath(u"raw.mp3"_s)});
            }
        });
        Report("raw tools", raw, window.wall);
    }
    return 0;
}
