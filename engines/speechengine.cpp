#include "api/speech.h"
#include "engines/speechengine.h"

#include "audio/levelstage.h"
#include "audio/voicelevels.h"
#include "common/codepage.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"
#include "engines/wavwriter.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

// A voice of the combined enumeration: what it was told, until it speaks.
class CombinedVoice final : public ISpeechVoice
{
public:
    explicit CombinedVoice(SpeechEngine &engine)
        : m_engine(engine)
    {
    }

    void SelectVoice(int index) override
    {
        if (index < 0 || index >= m_engine.Voices().size())
            throw RuntimeError(u"Invalid procedure call or argument"_s, ErrorNumber::InvalidProcedureCall);
        m_index = index;
    }
    void SetVolume(int volume) override
    {
        if (volume < 0 || volume > 100)
            throw RuntimeError(u"Invalid property value"_s, ErrorNumber::InvalidPropertyValue);
        m_settings.volume = volume;
    }
    void SetRate(int rate) override
    {
        if (rate < -10 || rate > 10)
            throw RuntimeError(u"Invalid property value"_s, ErrorNumber::InvalidPropertyValue);
        m_settings.rate = rate;
    }
    void SetOutput(IAudioFileStream *stream) override
    {
        // Only the absence of a stream means the speakers: a stream this engine cannot
        // write to is an error, never a reason to speak aloud.
        auto *wav = dynamic_cast<WavFileStream *>(stream);
        if (stream && !wav)
            throw RuntimeError(u"The speech cannot be written to this kind of stream"_s, ErrorNumber::InvalidProcedureCall);
        m_output = wav;
    }
    void SpeakFile(const QString &path) override
    {
        const auto bytes = ReadFileText(path);
        m_lineStarts.clear();
        m_engine.Speak(m_index, m_settings, bytes, m_output, m_output ? &m_lineStarts : nullptr);
    }
    void Speak(const QString &text) override
    {
        m_lineStarts.clear();
        m_engine.Speak(m_index, m_settings, text, m_output, m_output ? &m_lineStarts : nullptr);
    }
    void SpeakPassages(const QList<Passage> &passages) override
    {
        m_lineStarts.clear();
        if (!m_output)
            throw RuntimeError(u"Passages are spoken into a file only"_s, ErrorNumber::InvalidProcedureCall);
        m_engine.SpeakPassages(m_index, m_settings, passages, *m_output, &m_lineStarts);
    }
    QList<qint64> LineStarts() const override { return m_lineStarts; }

private:
    static QString ReadFileText(const QString &path);

    SpeechEngine &m_engine;
    int m_index = -1;
    SpeechSettings m_settings;
    WavFileStream *m_output = nullptr;
    QList<qint64> m_lineStarts;
};

SpeechEngine::SpeechEngine(QList<ISpeechBackend *> engines, VoiceLevels *levels)
    : m_engines(std::move(engines))
    , m_levels(levels)
{
}

QString SpeechEngine::LevelReference()
{
    // The fable that phoneticians record in every language: about 20 seconds of ordinary
    // sentences at the normal rate.
    return u"The north wind and the sun were disputing which was the stronger, when a traveller came along "
           "wrapped in a warm cloak.\n"
           "They agreed that the one who first succeeded in making the traveller take his cloak off should be "
           "considered stronger than the other.\n"
           "Then the north wind blew as hard as he could, but the more he blew the more closely did the traveller "
           "fold his cloak around him; and at last the north wind gave up the attempt.\n"
           "Then the sun shone out warmly, and immediately the traveller took off his cloak.\n"_s;
}

double SpeechEngine::LevelOf(const Voice &voice, int rate)
{
    if (!m_levels)
        return 0;
    // The reference text's version is part of the key: another text is measured afresh.
    const QString key = u"%1|%2|rate %3|text 1"_s.arg(voice.engine->Version(), voice.description).arg(rate);
    const std::optional<double> level = m_levels->Level(key, [&]() -> std::optional<double> {
        MemorySink speech;
        SpeechSettings normal;
        normal.rate = rate;
        voice.engine->Speak(voice.index, normal, LevelReference(), &speech);
        return MeasureLevel(speech.Samples());
    });
    return level.value_or(0);
}

bool SpeechEngine::EnglishFirst(const QString &localeName)
{
    const QString language = localeName.section(u'_', 0, 0).section(u'.', 0, 0).section(u'@', 0, 0).toLower();
    return language == u"en"_s || language == u"c"_s || language == u"posix"_s || language.isEmpty();
}

const QList<SpeechEngine::Voice> &SpeechEngine::Voices()
{
    // While one engine speaks, none may be entered: the last list read answers.
    if (m_synthesizing)
        return m_voices;
    QList<Voice> voices;
    std::exception_ptr firstFailure;
    int started = 0;
    for (ISpeechBackend *engine : std::as_const(m_engines)) {
        try {
            const QStringList descriptions = engine->Voices();
            ++started;
            for (qsizetype i = 0; i < descriptions.size(); ++i)
                voices.append({engine, static_cast<int>(i), descriptions[i]});
        } catch (...) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    }
    // An engine that cannot start leaves its voices out; with none at all there is no service.
    if (started == 0 && firstFailure)
        std::rethrow_exception(firstFailure);
    m_voices = voices;
    return m_voices;
}

std::unique_ptr<ISpeechVoice> SpeechEngine::CreateVoice()
{
    Voices(); // throws when no engine can be started
    return std::make_unique<CombinedVoice>(*this);
}

std::unique_ptr<IAudioFileStream> SpeechEngine::CreateFileStream()
{
    return std::make_unique<WavFileStream>();
}

QStringList SpeechEngine::VoiceDescriptions()
{
    QStringList descriptions;
    for (const Voice &voice : Voices())
        descriptions.append(voice.description);
    return descriptions;
}

QString SpeechEngine::VoiceLanguage(int index)
{
    const QList<Voice> &voices = Voices();
    if (voices.isEmpty())
        return QString();
    const Voice voice = voices.value(index, voices.first());
    return voice.engine->Language(voice.index);
}

QStringList SpeechEngine::VoiceLanguages()
{
    QStringList languages;
    for (const Voice &voice : Voices())
        languages.append(voice.engine->Language(voice.index));
    return languages;
}

QString SpeechEngine::VoiceIdentity(int index, int rate)
{
    const QList<Voice> &voices = Voices();
    if (voices.isEmpty())
        return QString();
    const Voice voice = voices.value(index, voices.first());
    return voice.engine->Version() + u'|' + voice.description + u"|level "_s
           + QString::number(LevelOf(voice, rate), 'f', 1) + u"|limiter "_s + QString::number(kTargetLoudness);
}

void SpeechEngine::Speak(int index, const SpeechSettings &settings, const QString &text, WavFileStream *output,
                         QList<qint64> *lineStarts)
{
    if (m_synthesizing)
        throw RuntimeError(u"The speech engine is busy"_s, ErrorNumber::UnexpectedError);
    const QList<Voice> &voices = Voices();
    if (voices.isEmpty())
        throw RuntimeError(u"No voice is installed"_s, ErrorNumber::ClassNotRegistered);
    if (output && !output->IsOpen())
        throw RuntimeError(u"The output stream is not open"_s, ErrorNumber::UnexpectedError);
    const Voice voice = voices.value(index, voices.first());
    struct Busy
    {
        bool &flag;
        explicit Busy(bool &f)
            : flag(f)
        {
            flag = true;
        }
        ~Busy() { flag = false; }
    } busy(m_synthesizing);
    SpeechSettings levelledSettings = settings;
    levelledSettings.levelDb = LevelOf(voice, settings.rate);
    if (!output) {
        voice.engine->Speak(voice.index, levelledSettings, text, nullptr, nullptr);
        return;
    }
    Level(voice, levelledSettings, text, *output, lineStarts);
}

void SpeechEngine::SpeakInto(int index, const SpeechSettings &settings, const QString &text, ISampleSink &output,
                             QList<qint64> *lineStarts)
{
    if (m_synthesizing)
        throw RuntimeError(u"The speech engine is busy"_s, ErrorNumber::UnexpectedError);
    const QList<Voice> &voices = Voices();
    if (voices.isEmpty())
        throw RuntimeError(u"No voice is installed"_s, ErrorNumber::ClassNotRegistered);
    const Voice voice = voices.value(index, voices.first());
    const bool was = std::exchange(m_synthesizing, true);
    try {
        SpeechSettings levelledSettings = settings;
        levelledSettings.levelDb = LevelOf(voice, settings.rate);
        Level(voice, levelledSettings, text, output, lineStarts);
    } catch (...) {
        m_synthesizing = was;
        throw;
    }
    m_synthesizing = was;
}

void SpeechEngine::Level(const Voice &voice, const SpeechSettings &levelled, const QString &text, ISampleSink &output,
                         QList<qint64> *lineStarts)
{
    // The limiter's look-ahead is taken back, so the line starts stand as the engine heard them.
    LevelStage stage(output, levelled.levelDb, levelled.volume);
    voice.engine->Speak(voice.index, levelled, text, &stage, lineStarts);
    if (!stage.Finish())
        throw RuntimeError(output.WriteFailure(), ErrorNumber::DiskFull);
}

namespace {

// Passes samples on and counts them: where the next passage begins.
class CountingSink final : public ISampleSink
{
public:
    explicit CountingSink(ISampleSink &next)
        : m_next(next)
    {
    }
    bool Write(const qint16 *samples, qint64 count) override
    {
        m_count += count;
        return m_next.Write(samples, count);
    }
    QString WriteFailure() const override { return m_next.WriteFailure(); }
    qint64 Count() const { return m_count; }

private:
    ISampleSink &m_next;
    qint64 m_count = 0;
};

} // namespace

void SpeechEngine::SpeakPassages(int chosen, const SpeechSettings &settings, const QList<Passage> &passages,
                                 WavFileStream &output, QList<qint64> *lineStarts)
{
    if (!output.IsOpen())
        throw RuntimeError(u"The output stream is not open"_s, ErrorNumber::UnexpectedError);
    CountingSink counted(output);
    for (qsizetype p = 0; p < passages.size(); ++p) {
        const Passage &passage = passages[p];
        const qint64 before = counted.Count();
        QList<qint64> starts;
        SpeechSettings passageSettings = settings;
        passageSettings.endsLine = p + 1 == passages.size() || !passages[p + 1].continuesLine;
        passageSettings.phones = passage.phones;
        passageSettings.ratePercent = passage.ratePercent;
        passageSettings.volume = std::clamp(settings.volume * passage.volumePercent / 100, 0, 100);
        SpeakInto(passage.voice < 0 ? chosen : passage.voice, passageSettings, passage.text, counted, &starts);
        // Each voice at its own level, all at one loudness; a passage that begins inside a
        // line does not begin a line.
        for (qsizetype k = passage.continuesLine ? 1 : 0; lineStarts && k < starts.size(); ++k)
            lineStarts->append(before + starts[k]);
    }
}

QString CombinedVoice::ReadFileText(const QString &path)
{
    const auto bytes = FileSystem::ReadFile(path, qint64(1) << 30);
    if (!bytes)
        throw RuntimeError(u"File not found: "_s + path, ErrorNumber::FileNotFound);
    return CodePage::DecodeWorkingText(*bytes);
}
