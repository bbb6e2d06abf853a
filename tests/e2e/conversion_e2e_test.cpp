// End to end: real documents through the real espeak-ng and the real LAME encoder.
#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "common/plainwindow.h"
#include "common/services.h"
#include "pipeline/conversionrun.h"
#include "pipeline/speak.h"
#include "platform/documentreader.h"
#include "platform/espeakengine.h"
#include "platform/processes.h"
#include "platform/resources.h"
#include "platform/workingfolder.h"
#include "tests/audio.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The real event loop, with a hook that runs inside every yield, as a nested handler would.
class HookedEventLoop final : public IEventLoop
{
public:
    void Yield() override
    {
        ++yields;
        if (hook)
            hook();
        m_real.Yield();
    }
    void Sleep(int milliseconds) override { m_real.Sleep(milliseconds); }
    double SecondsSinceMidnight() override { return m_real.SecondsSinceMidnight(); }

    std::function<void()> hook;
    int yields = 0;

private:
    QtEventLoop m_real;
};

HookedEventLoop &EngineEvents()
{
    static HookedEventLoop events;
    return events;
}

// espeak-ng keeps global state: one engine for the whole test program.
EspeakEngine &Engine()
{
    static EspeakEngine engine(EngineEvents(), u"en_GB"_s);
    return engine;
}

class ConversionEndToEnd : public ::testing::Test
{
protected:
    ConversionEndToEnd()
        : temp("TEMP", work.path())
        , processes(QStringLiteral(VOCATEXT_PROGRAM_DIR "/vocatext-cmd"))
    {
        services.boxes = &boxes;
        services.events = &events;
        services.speech = &Engine();
        services.reader = &reader;
        services.processes = &processes;
        services.resources = &resources;
        services.workingFolder = &working;
        services.diagnostics = &diagnostics;
        window.combo1Index = 0;
        window.text1 = out.path();
    }

    void Start()
    {
        Speak speak(services, window);
        PushButton1_Click(services, window, speak);
    }

    /// Speaks a segment text file again into a WAV of its own, to know how long it lasts.
    WavInfo SpeakAgain(const QString &segmentText)
    {
        const QString wav = out.filePath(u"again.wav"_s);
        Speak speak(services, window);
        speak.SaveToWAV(segmentText, wav);
        return ReadWav(wav);
    }

    QTemporaryDir work;
    QTemporaryDir out;
    ScopedEnv temp;
    FakeMessageBoxes boxes;
    QtEventLoop events;
    OdtReader reader;
    PosixProcessRunner processes;
    QtResources resources;
    FakeDiagnostics diagnostics;
    PrivateWorkingFolder working{&diagnostics};
    PlainMainWindow window;
    Services services;
};

} // namespace

TEST_F(ConversionEndToEnd, OneSegmentGivesAnMp3AsLongAsTheSpeech)
{
    window.slider2 = 0;
    window.list.Append(TestDataPath(u"notes.odt"_s));
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});

    const QString mp3 = out.filePath(u"notes.mp3"_s);
    const WavInfo decoded = DecodeMp3(mp3);
    ASSERT_TRUE(decoded.valid);
    EXPECT_EQ(decoded.sampleRate, 22050);
    EXPECT_EQ(decoded.channels, 1);
    const WavInfo spoken = SpeakAgain(work.filePath(u"output001.txt"_s));
    ASSERT_TRUE(spoken.valid);
    EXPECT_EQ(spoken.sampleRate, 22050);
    EXPECT_GT(spoken.seconds, 2.0);
    EXPECT_NEAR(decoded.seconds, spoken.seconds, 0.15);
    EXPECT_GT(decoded.rms, 300); // speech, not silence
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files), QStringList{u"output001.txt"_s});
}

TEST_F(ConversionEndToEnd, TwoSegmentsAreJoinedIntoOneMp3ThatDecodesInFull)
{
    QByteArray body;
    for (int i = 1; i <= 60; ++i)
        body += "<text:p>Line " + QByteArray::number(i) + ".</text:p>";
    const QString document = out.filePath(u"sixty lines.odt"_s);
    WriteZip(document, {{u"content.xml"_s, ContentXml(body)}});
    window.slider2 = -10; // 49 lines a segment
    window.list.Append(document);
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});

    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files, QDir::Name),
              (QStringList{u"output001.txt"_s, u"output002.txt"_s}));
    const QString mp3 = out.filePath(u"sixty lines.mp3"_s);
    int samplesPerFrame = 0;
    int rate = 0;
    const int frames = Mp3FrameCount(mp3, &samplesPerFrame, &rate);
    ASSERT_GT(frames, 0) << "the joined file is a clean run of MPEG frames";
    EXPECT_EQ(rate, 22050);

    const double first = SpeakAgain(work.filePath(u"output001.txt"_s)).seconds;
    const double second = SpeakAgain(work.filePath(u"output002.txt"_s)).seconds;
    const double joinedSeconds = static_cast<double>(frames) * samplesPerFrame / rate;
    EXPECT_NEAR(joinedSeconds, first + second, 0.25);
    const WavInfo decoded = DecodeMp3(mp3);
    ASSERT_TRUE(decoded.valid);
    EXPECT_NEAR(decoded.seconds, first + second, 0.25);
}

TEST_F(ConversionEndToEnd, VolumeAndRateAreHeard)
{
    WriteBytes(work.filePath(u"phrase.txt"_s), "the quick brown fox jumps over the lazy dog.");
    auto render = [&](int volume, int rate) {
        window.slider1 = volume;
        window.slider2 = rate;
        return SpeakAgain(work.filePath(u"phrase.txt"_s));
    };
    const WavInfo normal = render(100, 0);
    const WavInfo quiet = render(30, 0);
    const WavInfo fast = render(100, 10);
    const WavInfo slow = render(100, -10);
    EXPECT_GT(normal.rms, quiet.rms * 2);
    EXPECT_LT(fast.seconds, normal.seconds * 0.6);
    EXPECT_GT(slow.seconds, normal.seconds * 1.5);
    EXPECT_EQ(render(0, 0).rms, 0);
}

TEST(EspeakEngine, VoicesStartWithTheUsersLanguage)
{
    const QStringList voices = Engine().VoiceDescriptions();
    ASSERT_GT(voices.size(), 10);
    EXPECT_EQ(voices.first(), u"eSpeak NG English (Great Britain)"_s);
    for (const QString &voice : voices)
        EXPECT_TRUE(voice.startsWith(u"eSpeak NG "_s));
    EXPECT_EQ(Engine().VoiceDescriptions(), voices); // the same order every time
}

TEST(EspeakEngine, OrderForLocalePrefersTheTagThenTheLanguageThenEnglish)
{
    const QList<QList<std::pair<int, QString>>> languages = {
        {{5, u"af"_s}},
        {{5, u"en-029"_s}, {10, u"en"_s}},
        {{2, u"en-gb"_s}, {2, u"en"_s}},
        {{2, u"en-us"_s}, {3, u"en"_s}},
        {{5, u"de"_s}},
    };
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"en_US"_s), (QList<int>{3, 0, 1, 2, 4}));
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"de_AT.UTF-8"_s), (QList<int>{4, 0, 1, 2, 3}));
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"en_AU"_s), (QList<int>{2, 0, 1, 3, 4}));
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"C"_s), (QList<int>{2, 0, 1, 3, 4}));
}

TEST(EspeakEngine, RateBecomesWordsPerMinute)
{
    EXPECT_EQ(EspeakEngine::WordsPerMinute(-10), 80);
    EXPECT_EQ(EspeakEngine::WordsPerMinute(-3), 126);
    EXPECT_EQ(EspeakEngine::WordsPerMinute(0), 175);
    EXPECT_EQ(EspeakEngine::WordsPerMinute(10), 525);
}

TEST(EspeakEngine, ALongSegmentServesTheWindowAndTurnsAwayNestedCalls)
{
    QTemporaryDir dir;
    QByteArray text;
    for (int i = 0; i < 400; ++i)
        text += "this sentence is spoken again and again so that the segment lasts a while. ";
    WriteBytes(dir.filePath(u"long.txt"_s), text);
    const QStringList voices = Engine().VoiceDescriptions();

    int nested = 0;
    QStringList nestedFailures;
    HookedEventLoop &events = EngineEvents();
    events.yields = 0;
    events.hook = [&] {
        ++nested;
        EXPECT_EQ(Engine().VoiceDescriptions(), voices); // answered from the last list read
        try {
            Engine().CreateVoice()->Speak(u"nested"_s);
        } catch (const RuntimeError &e) {
            nestedFailures.append(e.description());
        }
    };
    auto stream = Engine().CreateFileStream();
    stream->Open(dir.filePath(u"long.wav"_s));
    auto voice = Engine().CreateVoice();
    voice->SetOutput(stream.get());
    voice->SpeakFile(dir.filePath(u"long.txt"_s));
    stream->Close();
    events.hook = nullptr;

    EXPECT_GT(nested, 0);
    EXPECT_EQ(nestedFailures.size(), nested);
    EXPECT_EQ(nestedFailures.value(0), u"The speech engine is busy"_s);
    const WavInfo wav = ReadWav(dir.filePath(u"long.wav"_s));
    EXPECT_GT(wav.seconds, 60);
}
