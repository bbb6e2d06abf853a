// One loudness for every voice, and what it costs.
//
//   vocatext-loudness-bench [characters]      (default 3000)
//
// Speaks an English text (from the licence texts that ship with Debian) at the default rate
// (-3) with every Flite voice and a few espeak-ng voices, once at the engine's own level and
// once levelled as the program speaks (the voice's level measured on the reference text
// first, in memory), encodes each with lame -h and prints the MP3's integrated loudness and
// true peak as FFmpeg's EBU R 128 meter reads them (when ffmpeg is installed), beside the
// WAV's as libebur128 reads it. Then the cost: three conversions of the text with espeak-ng
// (the fastest engine, where the step weighs most) and with Flite slt, each the speech into
// a WAV and lame -h, against the level stage alone over the same samples: the stage's share
// of a conversion, min and median, and what measuring a voice's level costs once.
#include "audio/levelstage.h"
#include "audio/loudness.h"
#include "audio/voicelevels.h"
#include "bench/benchutil.h"
#include "engines/speechengine.h"
#include "engines/wavwriter.h"
#include "services/platformservices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRate = -3;

struct Meter
{
    double integrated = 0;
    double truePeak = 0;
    bool valid = false;
};

// FFmpeg's EBU R 128 meter on a file: what a listener's player would be judged by.
Meter FfmpegLoudness(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-nostats"_s, u"-i"_s, path, u"-af"_s, u"ebur128=peak=true"_s, u"-f"_s, u"null"_s, u"-"_s});
    ffmpeg.waitForFinished(-1);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const qsizetype summary = log.lastIndexOf(u"Summary:"_s);
    if (summary < 0)
        return {};
    static const QRegularExpression integrated(u"I:\\s+(-?[\\d.]+|-inf) LUFS"_s);
    static const QRegularExpression peak(u"Peak:\\s+(-?[\\d.]+|-inf) dBFS"_s);
    const auto i = integrated.match(log, summary);
    const auto p = peak.match(log, summary);
    return {i.captured(1).toDouble(), p.captured(1).toDouble(), i.hasMatch() && p.hasMatch()};
}

double Seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

void WriteWav(const QString &path, const std::vector<qint16> &samples)
{
    WavFileStream wav;
    wav.Open(path);
    wav.Write(samples.data(), static_cast<qint64>(samples.size()));
    wav.Close();
}

double Encode(const QString &wav, const QString &mp3)
{
    QElapsedTimer timer;
    timer.start();
    QProcess lame;
    lame.start(u"lame"_s, {u"--quiet"_s, u"-h"_s, wav, mp3});
    lame.waitForFinished(-1);
    return Seconds(timer);
}

// Samples counted, not kept: the stage's own cost.
class CountingSink final : public ISampleSink
{
public:
    bool Write(const qint16 *, qint64 count) override
    {
        m_count += count;
        return true;
    }
    QString WriteFailure() const override { return QString(); }

private:
    qint64 m_count = 0;
};

// The samples through a stage in pieces of an engine's size, as they come while it speaks.
void Stage(const std::vector<qint16> &raw, double levelDb, ISampleSink &out)
{
    constexpr qint64 kPiece = 2048;
    LevelStage stage(out, levelDb);
    for (qint64 at = 0; at < qint64(raw.size()); at += kPiece)
        stage.Write(raw.data() + at, std::min(kPiece, qint64(raw.size()) - at));
    stage.Finish();
}

std::vector<qint16> Levelled(const std::vector<qint16> &raw, double levelDb)
{
    MemorySink out;
    Stage(raw, levelDb, out);
    return out.Samples();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 characters = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 3000;
    const bool ffmpeg = !QStandardPaths::findExecutable(u"ffmpeg"_s).isEmpty();
    if (QStandardPaths::findExecutable(u"lame"_s).isEmpty()) {
        std::fprintf(stderr, "lame is not installed\n");
        return 1;
    }
    QTemporaryDir work;
    PlatformServices platform(QCoreApplication::applicationDirPath(), u"en_GB"_s);
    struct Voice
    {
        ISpeechBackend *engine;
        int index;
        QString description;
    };
    QList<Voice> voices;
    const QStringList flite = platform.flite.Voices();
    for (int i = 0; i < flite.size(); ++i)
        voices.append({&platform.flite, i, flite[i]});
    const QStringList espeak = platform.espeak.Voices();
    for (const QString &name : {u"eSpeak NG English (Great Britain)"_s, u"eSpeak NG English (America)"_s,
                                u"eSpeak NG German"_s, u"eSpeak NG French (France)"_s, u"eSpeak NG Spanish (Spain)"_s}) {
        if (const qsizetype i = espeak.indexOf(name); i >= 0)
            voices.append({&platform.espeak, static_cast<int>(i), name});
    }
    const QString text = EnglishParagraphs(characters, static_cast<int>(characters / 300 + 1)).join(u'\n') + u'\n';
    SpeechSettings settings;
    settings.rate = kRate;

    // A voice's level, measured as the program measures it: in memory, once.
    VoiceLevels levels;
    auto measure = [&](const Voice &voice) {
        MemorySink reference;
        voice.engine->Speak(voice.index, settings, SpeechEngine::LevelReference(), &reference);
        return MeasureLevel(reference.Samples()).value_or(0);
    };

    std::printf("%lld characters of English at rate %d; target %.0f LUFS, true peaks at most -1 dBTP in the MP3\n",
                static_cast<long long>(text.size()), kRate, kTargetLoudness);
    std::printf("%-44s %6s | %-26s | %-26s | %s\n", "voice", "level", "own level: MP3 I, TP",
                "levelled: MP3 I, TP", "levelled WAV (libebur128)");
    QList<double> measureSeconds;
    for (const Voice &voice : std::as_const(voices)) {
        MemorySink raw;
        voice.engine->Speak(voice.index, settings, text, &raw);
        QElapsedTimer timer;
        timer.start();
        const double level = measure(voice);
        measureSeconds.append(Seconds(timer));
        const std::vector<qint16> levelled = Levelled(raw.Samples(), level);
        const Loudness wav = MeasureLoudness(levelled.data(), static_cast<qint64>(levelled.size()));
        Meter before;
        Meter after;
        for (const auto &[samples, meter] : {std::pair{&raw.Samples(), &before}, std::pair{&levelled, &after}}) {
            WriteWav(work.filePath(u"x.wav"_s), *samples);
            Encode(work.filePath(u"x.wav"_s), work.filePath(u"x.mp3"_s));
            if (ffmpeg)
                *meter = FfmpegLoudness(work.filePath(u"x.mp3"_s));
        }
        auto shown = [](const Meter &m) {
            return m.valid ? QString::asprintf("%6.1f LUFS %6.1f dBTP", m.integrated, m.truePeak) : u"(no ffmpeg)"_s;
        };
        std::printf("%-44s %+5.1f | %-26s | %-26s | %6.1f LUFS %6.1f dBTP\n", qPrintable(voice.description), level,
                    qPrintable(shown(before)), qPrintable(shown(after)), wav.integrated, wav.truePeak);
        std::fflush(stdout);
    }

    // The cost: a conversion (speech with the stage into a WAV, then lame -h) against the stage alone.
    std::printf("\ncost of the loudness step, %d runs each:\n", 3);
    for (const qsizetype which : {qsizetype(4), qsizetype(0)}) {
        if (which >= voices.size())
            continue;
        const Voice &voice = voices[which];
        SpeechEngine engine({voice.engine}, &levels);
        engine.VoiceDescriptions();
        const double level = measure(voice);
        {
            // The level is measured before the first run, as it is once for good.
            auto stream = engine.CreateFileStream();
            stream->Open(work.filePath(u"primer.wav"_s));
            auto primer = engine.CreateVoice();
            primer->SelectVoice(voice.index);
            primer->SetRate(kRate);
            primer->SetOutput(stream.get());
            primer->Speak(u"a"_s);
            stream->Close();
        }
        std::vector<double> shares;
        std::vector<double> stages;
        std::vector<double> conversions;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            {
                auto stream = engine.CreateFileStream();
                stream->Open(work.filePath(u"c.wav"_s));
                auto speaker = engine.CreateVoice();
                speaker->SelectVoice(voice.index);
                speaker->SetRate(kRate);
                speaker->SetOutput(stream.get());
                speaker->Speak(text);
                stream->Close();
            }
            const double speak = Seconds(timer);
            const double encode = Encode(work.filePath(u"c.wav"_s), work.filePath(u"c.mp3"_s));

            MemorySink raw;
            voice.engine->Speak(voice.index, settings, text, &raw);
            timer.restart();
            CountingSink counted;
            Stage(raw.Samples(), level, counted);
            const double stage = Seconds(timer);
            conversions.push_back(speak + encode);
            stages.push_back(stage);
            shares.push_back(100 * stage / (speak + encode));
            std::printf("  %s run %d: conversion %.2f s (speech %.2f s, lame %.2f s) for %.1f s of audio; stage %.4f s\n",
                        qPrintable(voice.description), run + 1, speak + encode, speak, encode,
                        static_cast<double>(raw.Samples().size()) / 22050, stage);
        }
        std::printf("%s: stage share of a conversion min %.2f %%, median %.2f %% (stage min %.4f s, median %.4f s; "
                    "conversion min %.2f s, median %.2f s)\n",
                    qPrintable(voice.description), *std::min_element(shares.begin(), shares.end()), Median(shares),
                    *std::min_element(stages.begin(), stages.end()), Median(stages),
                    *std::min_element(conversions.begin(), conversions.end()), Median(conversions));
    }
    std::vector<double> once(measureSeconds.begin(), measureSeconds.end());
    std::printf("measuring a voice's level once (reference text and meter): min %.2f s, median %.2f s, max %.2f s\n",
                *std::min_element(once.begin(), once.end()), Median(once), *std::max_element(once.begin(), once.end()));
    return 0;
}
