// How well a listener can follow each engine: a plain English text of about 350 words goes
// through the real pipeline with each engine's first English voice, and a speech
// recogniser writes down what it hears.
//
//   apt-get install pocketsphinx pocketsphinx-en-us sox     (only this benchmark needs them)
//   vocatext-listening-bench
//
// Prints per voice: the recogniser's word error rate against the text, the synthesis speed
// as a multiple of real time, the longest event-loop gap during the synthesis, the time of
// the whole conversion and the MP3's format; then the word error rate of the conversion of
// an English text full of contractions and compounds ("don't", "well-known", "café"); then
// the pauses at the line ends of a document of headings and lists, against the same lines
// run together.
#include "bench/benchutil.h"
#include "ui/boxreports.h"
#include "engines/speechengine.h"
#include "services/platformservices.h"
#include "tests/support/plainwindow.h"
#include "common/codepage.h"
#include "common/services.h"
#include "app/conversionrun.h"
#include "pipeline/documentjob.h"
#include "pipeline/speak.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const char kProse[] =
    "The river runs past the old mill at the edge of the town. In the spring the water is high and fast, "
    "and the children are told to keep away from the bank. In the summer it is slow and warm, and the same "
    "children spend whole afternoons on the stones, looking for small fish in the shallow pools.\n"
    "The mill itself has not worked for many years. Its wheel is still there, green with moss, and the "
    "great wooden doors are closed with a chain. People say that the last miller left one winter night and "
    "never came back, but nobody seems to know where he went or why he left in such a hurry.\n"
    "On market days the square in front of the church is full of people. Farmers bring eggs, cheese and "
    "vegetables from the valley, and a man from the city sells books from the back of his van. There is "
    "always music somewhere, and the smell of fresh bread from the baker on the corner.\n"
    "In the evening the town is quiet again. Lights come on in the windows one by one, and the sound of the "
    "river can be heard from almost every street. Old men sit outside the cafe and talk about the weather, "
    "the price of land and the news from the capital, as their fathers did before them.\n"
    "Visitors often ask what there is to do in such a small place. The answer is simple. You can walk along "
    "the river to the next village and back before lunch, you can climb the hill behind the church for the "
    "best view of the valley, or you can sit in the square with a cup of coffee and watch the world go by. "
    "Most people who come for a weekend stay for a week, and many of them come back the following year.\n";

const char kContractions[] =
    "It's a well-known fact that I don't like the rain, but we're going out anyway.\n"
    "She's sure it isn't far, and he's certain we'll find the station before it's dark.\n"
    "You can't miss the old clock tower; it's been there since the town's first market day.\n"
    "They've told me the train doesn't leave until ten o'clock, so we'd better not be late.\n"
    "I'd rather walk than drive, though my brother's car is new and he'd gladly lend it.\n"
    "Isn't it strange how a short trip can feel so long when you're tired and cold?\n"
    "Let's hope the weather's kind to us tomorrow, or we won't see much of the hills.\n"
    "We'll meet at the caf\u00e9 near the square; it's a well-run place that's open all day.\n";

const char kHeadingsAndLists[] =
    "Packing list for a weekend trip\nHere is a list of what to take.\nClothes\nToiletries\nToothbrush\n"
    "Rain coat\nWalking boots\nName\nQuantity\nNote\nThe end.\nNext, the way there.\n";

// The words a listener hears, accents taken off ("café" is heard as "cafe").
QStringList Words(const QString &text)
{
    QString cleaned = text.toLower().normalized(QString::NormalizationForm_KD);
    cleaned.replace(QRegularExpression(u"[^a-z0-9' ]"_s), u" "_s);
    return cleaned.split(u' ', Qt::SkipEmptyParts);
}

double WordErrorRate(const QStringList &reference, const QStringList &heard)
{
    const qsizetype n = reference.size();
    const qsizetype m = heard.size();
    QList<qsizetype> previous(m + 1);
    QList<qsizetype> current(m + 1);
    for (qsizetype j = 0; j <= m; ++j)
        previous[j] = j;
    for (qsizetype i = 1; i <= n; ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= m; ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                                   previous[j - 1] + (reference[i - 1] == heard[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return n ? static_cast<double>(previous[m]) / n : 0;
}

QString Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The samples of a 16-bit mono WAV file.
QList<qint16> Samples(const QString &wav, int *rate)
{
    QFile file(wav);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    *rate = bytes.size() >= 44 ? static_cast<int>(qFromLittleEndian<quint32>(bytes.constData() + 24)) : 0;
    QList<qint16> samples;
    for (qsizetype i = 44; i + 1 < bytes.size(); i += 2)
        samples.append(qFromLittleEndian<qint16>(bytes.constData() + i));
    return samples;
}

// The pauses inside the speech (below 2 % of the peak for at least 150 ms).
QList<double> Pauses(const QString &wav)
{
    int rate = 0;
    const QList<qint16> samples = Samples(wav, &rate);
    int peak = 1;
    for (const qint16 s : samples)
        peak = std::max(peak, std::abs(int(s)));
    const qsizetype frame = std::max(1, rate / 200);
    QList<bool> loud;
    for (qsizetype at = 0; at < samples.size(); at += frame) {
        int top = 0;
        for (qsizetype i = at; i < std::min(samples.size(), at + frame); ++i)
            top = std::max(top, std::abs(int(samples[i])));
        loud.append(top > peak / 50);
    }
    QList<double> pauses;
    qsizetype run = 0;
    for (qsizetype f = loud.indexOf(true); f >= 0 && f <= loud.lastIndexOf(true); ++f) {
        if (!loud[f]) {
            ++run;
            continue;
        }
        if (run * frame >= rate * 0.15)
            pauses.append(static_cast<double>(run * frame) / rate);
        run = 0;
    }
    return pauses;
}

struct Voice
{
    QString name;
    int index;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(u"pocketsphinx_continuous"_s).isEmpty()
        || QStandardPaths::findExecutable(u"sox"_s).isEmpty()) {
        std::fprintf(stderr, "vocatext-listening-bench: install pocketsphinx, pocketsphinx-en-us and sox first\n");
        return 2;
    }
    QTemporaryDir dir;
    qputenv("TEMP", QFile::encodeName(dir.path()));
    PlatformServices platform(QCoreApplication::applicationDirPath() + u"/../bin"_s, u"en_GB"_s);
    SpeechEngine speech({&platform.flite, &platform.espeak});
    PrintingBoxes boxes;
    Services services(platform.Wire());
    services.boxes = &boxes;
    BoxReports reports(boxes);
    services.reports = &reports;
    services.speech = &speech;

    const QStringList voices = speech.VoiceDescriptions();
    const QList<Voice> tried = {
        {voices.value(0), 0},
        {voices.value(static_cast<int>(voices.indexOf(u"eSpeak NG English (Great Britain)"_s))),
         static_cast<int>(voices.indexOf(u"eSpeak NG English (Great Britain)"_s))},
    };
    const QString prose = QString::fromUtf8(kProse);
    const QStringList reference = Words(prose);
    WriteOdt(dir.filePath(u"prose.odt"_s), prose.split(u'\n', Qt::SkipEmptyParts));
    std::printf("text: %lld words\n\n", static_cast<long long>(reference.size()));
    std::printf("%-44s %6s %9s %8s %11s  %s\n", "voice", "WER", "x real", "gap ms", "convert s", "mp3");

    QList<double> conversions;
    for (const Voice &voice : tried) {
        PlainMainWindow window;
        window.combo1Index = voice.index;
        window.slider1 = 100;
        window.slider2 = 0;
        window.text1 = dir.path();

        // Synthesis alone: the text spoken into one WAV file.
        QFile text(dir.filePath(u"prose.txt"_s));
        text.open(QIODevice::WriteOnly);
        text.write(prose.toLower().toLatin1());
        text.close();
        EventLoopGapMeter meter;
        meter.Start();
        QElapsedTimer timer;
        timer.start();
        {
            Speak speak(services);
            speak.SaveToWAV(reports, {voice.index, 100, 0}, dir.filePath(u"prose.txt"_s), dir.filePath(u"speech.wav"_s));
        }
        const double synthesis = timer.nsecsElapsed() / 1e9;
        QCoreApplication::processEvents();
        int rate = 0;
        const double audio = static_cast<double>(Samples(dir.filePath(u"speech.wav"_s), &rate).size()) / rate;

        // The whole conversion, as the window's start button does it.
        window.list.Append(dir.filePath(u"prose.odt"_s));
        timer.restart();
        {
            Speak speak(services);
            JobsUnderWay underWay;
            PushButton1_Click(services, window, speak, underWay);
        }
        const double conversion = timer.nsecsElapsed() / 1e9;
        conversions.append(conversion);
        const QString mp3 = dir.filePath(u"prose.mp3"_s);
        const QString format = Run(u"file"_s, {u"-b"_s, mp3}).trimmed();

        // What a listener hears: the recogniser's transcript of the MP3.
        const QString wav16 = dir.filePath(u"heard.wav"_s);
        QProcess::execute(u"sox"_s, {mp3, u"-r"_s, u"16000"_s, u"-c"_s, u"1"_s, u"-b"_s, u"16"_s, wav16});
        const QString heard = Run(u"pocketsphinx_continuous"_s, {u"-infile"_s, wav16, u"-logfn"_s, u"/dev/null"_s});
        const double wer = WordErrorRate(reference, Words(heard));
        std::printf("%-44s %6.2f %8.1fx %8lld %11.2f  %s\n", voice.name.toUtf8().constData(), wer, audio / synthesis,
                    static_cast<long long>(meter.LongestGapMs()), conversion, format.toUtf8().constData());
    }

    std::printf("conversion with the first voice / with espeak-ng: %.2f\n", conversions[0] / conversions[1]);

    // Contractions, compounds and an accented letter, as a window user converts them.
    const QString contractions = QString::fromUtf8(kContractions);
    WriteOdt(dir.filePath(u"contractions.odt"_s), contractions.split(u'\n', Qt::SkipEmptyParts));
    std::printf("\ncontractions and compounds: %lld words\n",
                static_cast<long long>(Words(contractions).size()));
    for (const Voice &voice : tried) {
        PlainMainWindow window;
        window.combo1Index = voice.index;
        window.slider1 = 100;
        window.slider2 = 0;
        window.text1 = dir.path();
        window.list.Append(dir.filePath(u"contractions.odt"_s));
        {
            Speak speak(services);
            JobsUnderWay underWay;
            PushButton1_Click(services, window, speak, underWay);
        }
        const QString wav16 = dir.filePath(u"heard.wav"_s);
        QProcess::execute(u"sox"_s, {dir.filePath(u"contractions.mp3"_s), u"-r"_s, u"16000"_s, u"-c"_s, u"1"_s,
                                     u"-b"_s, u"16"_s, wav16});
        const QString heard = Run(u"pocketsphinx_continuous"_s, {u"-infile"_s, wav16, u"-logfn"_s, u"/dev/null"_s});
        QFile segment(dir.filePath(u"output001.txt"_s));
        segment.open(QIODevice::ReadOnly);
        std::printf("%-44s %6.2f  segment: %s\n", voice.name.toUtf8().constData(),
                    WordErrorRate(Words(contractions), Words(heard)),
                    CodePage::Decode(segment.readAll().left(64)).replace(u'\n', u' ').toUtf8().constData());
    }

    // Pauses at the line ends of headings and lists, against the lines run together.
    std::printf("\npauses of 150 ms or more in a text of %d lines (11 line ends inside it):\n",
                static_cast<int>(QByteArray(kHeadingsAndLists).count('\n')));
    for (const Voice &voice : tried) {
        QString lines = QString::fromUtf8(kHeadingsAndLists).toLower();
        lines.replace(u'.', u' '); // a mark of its own would pause anyway: the line ends alone are measured
        QString joined = lines;
        joined.remove(u'\n');
        QList<double> found[2];
        for (int i = 0; i < 2; ++i) {
            QFile file(dir.filePath(u"lines.txt"_s));
            file.open(QIODevice::WriteOnly);
            file.write((i == 0 ? lines : joined).toLatin1());
            file.close();
            Speak speak(services);
            speak.SaveToWAV(reports, {voice.index, 100, 0}, dir.filePath(u"lines.txt"_s), dir.filePath(u"lines.wav"_s));
            found[i] = Pauses(dir.filePath(u"lines.wav"_s));
        }
        auto median = [](QList<double> values) {
            std::sort(values.begin(), values.end());
            return values.isEmpty() ? 0.0 : values[values.size() / 2];
        };
        std::printf("%-44s each line ending with LF: %2lld pauses (median %.0f ms); run together: %lld\n",
                    voice.name.toUtf8().constData(), static_cast<long long>(found[0].size()),
                    median(found[0]) * 1000, static_cast<long long>(found[1].size()));
    }
    std::printf("\npeak memory: %.1f MiB\n", PeakMemoryMiB());
    return 0;
}
