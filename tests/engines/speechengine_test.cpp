#include "common/runtimeerror.h"
#include "engines/fliteengine.h"
#include "engines/speechengine.h"
#include "api/speech.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// An engine that records what it was asked to speak.
class RecordingEngine final : public ISpeechBackend
{
public:
    RecordingEngine(QString name, int voices)
        : m_name(std::move(name))
        , m_count(voices)
    {
    }
    QStringList Voices() override
    {
        if (!startError.isEmpty())
            throw RuntimeError(startError, ErrorNumber::CannotCreateObject);
        QStringList voices;
        for (int i = 0; i < m_count; ++i)
            voices.append(m_name + u' ' + QString::number(i));
        return voices;
    }
    QString Language(int voice) override { return m_name + u'-' + QString::number(voice); }
    QString Version() override { return m_name; }
    void Speak(int voice, const SpeechSettings &settings, const QString &text, ISampleSink *,
               QList<qint64> *) override
    {
        const QString faster = settings.ratePercent == 100 ? QString() : u"x%1%"_s.arg(settings.ratePercent);
        spoken.append(
            u"%1 %2 v%3 r%4%5 %6"_s.arg(m_name).arg(voice).arg(settings.volume).arg(settings.rate).arg(faster).arg(text));
        if (unregistered.contains(voice))
            throw RuntimeError(u"Class not registered"_s, ErrorNumber::ClassNotRegistered);
        if (during)
            during();
    }

    QString startError;
    QList<int> unregistered;
    QStringList spoken;
    std::function<void()> during;

private:
    QString m_name;
    int m_count;
};

} // namespace

TEST(SpeechEngine, OneEnumerationInTheOrderOfTheEngines)
{
    RecordingEngine flite(u"flite"_s, 2);
    RecordingEngine espeak(u"espeak"_s, 3);
    SpeechEngine engine({&flite, &espeak});
    EXPECT_EQ(engine.VoiceDescriptions(),
              (QStringList{u"flite 0"_s, u"flite 1"_s, u"espeak 0"_s, u"espeak 1"_s, u"espeak 2"_s}));

    // List position k is the k-th voice, whichever engine it belongs to.
    auto voice = engine.CreateVoice();
    voice->SelectVoice(3);
    voice->SetVolume(40);
    voice->SetRate(-3);
    voice->Speak(u"hello"_s);
    EXPECT_EQ(espeak.spoken, QStringList{u"espeak 1 v40 r-3 hello"_s});
    voice->SelectVoice(1);
    voice->Speak(u"again"_s);
    EXPECT_EQ(flite.spoken, QStringList{u"flite 1 v40 r-3 again"_s});
    EXPECT_THROW(voice->SelectVoice(5), RuntimeError);
    EXPECT_THROW(voice->SetVolume(101), RuntimeError);
    EXPECT_THROW(voice->SetRate(-11), RuntimeError);

    // Nothing selected: the first voice of the list speaks.
    engine.CreateVoice()->Speak(u"default"_s);
    EXPECT_EQ(flite.spoken.last(), u"flite 0 v100 r0 default"_s);

    // Passages, each by its voice at its share of the chosen rate and volume, never louder than full.
    QTemporaryDir dir;
    auto stream = engine.CreateFileStream();
    stream->SetFormat(AudioFormat{});
    stream->Open(dir.filePath(u"passages.wav"_s));
    voice->SetOutput(stream.get());
    voice->SetVolume(80);
    espeak.spoken.clear();
    voice->SpeakPassages({{-1, u"slow"_s, false, u"en"_s, {}, 50, 50}, {4, u"loud"_s, true, u"en"_s, {}, 100, 400}});
    EXPECT_EQ(flite.spoken.last(), u"flite 1 v40 r-3x50% slow"_s);
    EXPECT_EQ(espeak.spoken.last(), u"espeak 2 v100 r-3 loud"_s);

    // A stream the engines cannot write is an error, never the speakers.
    struct Elsewhere final : IAudioFileStream
    {
        void SetFormat(const AudioFormat &) override {}
        void Open(const QString &) override {}
        void Close() override {}
    } elsewhere;
    EXPECT_THROW(voice->SetOutput(&elsewhere), RuntimeError);
    EXPECT_NO_THROW(voice->SetOutput(nullptr));
}

TEST(SpeechEngine, AnEngineThatCannotStartLeavesOnlyItsVoicesOut)
{
    RecordingEngine flite(u"flite"_s, 2);
    RecordingEngine espeak(u"espeak"_s, 1);
    espeak.startError = u"no data"_s;
    SpeechEngine engine({&espeak, &flite});
    EXPECT_EQ(engine.VoiceDescriptions(), (QStringList{u"flite 0"_s, u"flite 1"_s}));
    EXPECT_NO_THROW(engine.CreateVoice());

    flite.startError = u"no voices"_s;
    try {
        engine.VoiceDescriptions();
        ADD_FAILURE() << "no engine started, yet voices were listed";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.description(), u"no data"_s); // the first engine's cause
    }
    EXPECT_THROW(engine.CreateVoice(), RuntimeError);
}

TEST(SpeechEngine, OneSynthesisAtATimeAndTheListAnsweredMeanwhileFromTheLastRead)
{
    RecordingEngine flite(u"flite"_s, 1);
    RecordingEngine espeak(u"espeak"_s, 1);
    SpeechEngine engine({&flite, &espeak});
    const QStringList voices = engine.VoiceDescriptions();
    QString nestedFailure;
    QStringList nestedList;
    flite.during = [&] {
        espeak.startError = u"would be entered"_s; // listing it now would fail
        nestedList = engine.VoiceDescriptions();
        auto nested = engine.CreateVoice();
        nested->SelectVoice(1);
        try {
            nested->Speak(u"nested"_s);
        } catch (const RuntimeError &e) {
            nestedFailure = e.description();
        }
    };
    engine.CreateVoice()->Speak(u"outer"_s);
    EXPECT_EQ(nestedList, voices);
    EXPECT_EQ(nestedFailure, u"The speech engine is busy"_s);
    EXPECT_TRUE(espeak.spoken.isEmpty());

    // A failing synthesis leaves the service free for the next one.
    flite.during = nullptr;
    flite.unregistered = {0};
    auto voice = engine.CreateVoice();
    EXPECT_THROW(voice->Speak(u"x"_s), RuntimeError);
    flite.unregistered.clear();
    EXPECT_NO_THROW(voice->Speak(u"y"_s));
}

TEST(SpeechEngine, EnglishSpeakersAndUnsetLocalesGetTheEnglishEngineFirst)
{
    for (const QString &locale : {u"en_GB"_s, u"en_US.UTF-8"_s, u"en"_s, u"C"_s, u"POSIX"_s})
        EXPECT_TRUE(SpeechEngine::EnglishFirst(locale)) << locale.toStdString();
    for (const QString &locale : {u"de_DE"_s, u"fr_FR.UTF-8"_s, u"eo"_s})
        EXPECT_FALSE(SpeechEngine::EnglishFirst(locale)) << locale.toStdString();
    EXPECT_EQ(WordsPerMinute(-10), 80);
    EXPECT_EQ(WordsPerMinute(-3), 126);
    EXPECT_EQ(WordsPerMinute(0), 175);
    EXPECT_EQ(WordsPerMinute(10), 525);
}

TEST(FliteEngine, SpeaksAccentedLettersAndSignsInEnglishLetters)
{
    const std::pair<QString, QString> cases[] = {
        {u"caf\u00e9 na\u00efve Stra\u00dfe \u00e6sop \u0152uvre \u00f8 \u00d0 \u00fe 5\u00b5m \u00ff \u00aa"_s,
         u"cafe naive Strasse aesop OEuvre o D th 5microm y a"_s},
        {u"l'\u00e9l\u00e8ve don't well-known"_s, u"l'eleve don't well-known"_s},
        {u"\u20ac5, \u00a31.50 and \u20ac1; \u00a3 20, \u20ac1.5 or 20 \u20ac"_s,
         u"5 euros, 1 pound 50 and 1 euro; 20 pounds, euros 1.5 or 20 euros"_s},
        {u"AT&T 50% $5"_s, u"AT and T 50% $5"_s},
        {u"a \u0142 b \u4e2d \u201cq\u201d \u2013 x\u2019s"_s, u"a l b \"q\" - x's"_s},
    };
    for (const auto &[text, english] : cases)
        EXPECT_EQ(FliteEngine::InEnglishLetters(text).simplified(), english) << text.toStdString();
}
