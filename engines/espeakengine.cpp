#include "engines/espeakengine.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "engines/linestarts.h"

#include <QElapsedTimer>
#include <QFile>

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

bool g_engineExists = false;
constexpr int kEveryLine = 1 << 30;

// What the synthesis callback needs; handed to espeak-ng as the synthesis' user data.
struct SynthesisContext
{
    ISampleSink *writer = nullptr;
    LineStartTracker *lines = nullptr;
    IEventLoop *events = nullptr;
    QElapsedTimer sinceYield;
    bool writeFailed = false;
};

int SynthCallback(short *wav, int count, espeak_EVENT *events)
{
    auto *context = events ? static_cast<SynthesisContext *>(events->user_data) : nullptr;
    if (!context)
        return 0;
    if (context->lines) {
        // The events of a call mark places in the samples it hands over (1-based text positions).
        for (const espeak_EVENT *event = events; event->type != espeakEVENT_LIST_TERMINATED; ++event) {
            if (event->type == espeakEVENT_WORD)
                context->lines->Reached(event->text_position - 1, event->sample);
        }
        if (wav && count > 0)
            context->lines->Heard(wav, count);
    }
    if (wav && count > 0 && context->writer && !context->writeFailed) {
        if (!context->writer->Write(wav, count)) {
            context->writeFailed = true;
            return 1; // stops the synthesis
        }
    }
    // The window repaints during long segments.
    if (context->sinceYield.elapsed() >= 30) {
        try {
            context->events->Yield();
        } catch (...) {
            // nothing may unwind through espeak-ng's C frames
        }
        context->sinceYield.restart();
    }
    return 0;
}

QString StatusMessage(espeak_ng_STATUS status)
{
    char buffer[512] = {};
    espeak_ng_GetStatusCodeMessage(status, buffer, sizeof buffer);
    return QString::fromUtf8(buffer);
}

RuntimeError ClassNotRegistered()
{
    return RuntimeError(u"Class not registered"_s, ErrorNumber::ClassNotRegistered);
}

} // namespace

EspeakEngine::EspeakEngine(IEventLoop &events, const QString &locale)
    : m_events(events)
    , m_locale(locale)
{
    Q_ASSERT_X(!g_engineExists, "EspeakEngine", "espeak-ng keeps global state: one engine per process");
    g_engineExists = true;
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    const espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    espeak_ng_ClearErrorContext(&context);
    if (status != ENS_OK) {
        m_startError = StatusMessage(status);
        return;
    }
    espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    espeak_SetSynthCallback(SynthCallback);
}

EspeakEngine::~EspeakEngine()
{
    if (m_startError.isEmpty())
        espeak_ng_Terminate();
    g_engineExists = false;
}

QList<int> EspeakEngine::OrderForLocale(const QList<QList<std::pair<int, QString>>> &languagesOf,
                                         const QString &locale)
{
    // The voice that lists the tag with the best priority (then the first listed) comes first.
    auto best = [&languagesOf](const QString &tag) {
        int found = -1;
        int bestPriority = 0;
        for (int i = 0; i < languagesOf.size(); ++i) {
            for (const auto &[priority, language] : languagesOf[i]) {
                if (language.compare(tag, Qt::CaseInsensitive) == 0 && (found < 0 || priority < bestPriority)) {
                    found = i;
                    bestPriority = priority;
                }
            }
        }
        return found;
    };
    const QString tag = locale.toLower().replace(u'_', u'-').section(u'.', 0, 0).section(u'@', 0, 0);
    int first = best(tag);
    if (first < 0)
        first = best(tag.section(u'-', 0, 0));
    if (first < 0)
        first = best(u"en"_s);
    QList<int> order;
    if (first >= 0)
        order.append(first);
    for (int i = 0; i < languagesOf.size(); ++i) {
        if (i != first)
            order.append(i);
    }
    return order;
}

const QList<EspeakEngine::Voice> &EspeakEngine::Listed()
{
    if (!m_startError.isEmpty())
        throw RuntimeError(u"The speech engine could not be started: "_s + m_startError,
                           ErrorNumber::CannotCreateObject);
    QList<Voice> listed;
    QList<QList<std::pair<int, QString>>> languages;
    const espeak_VOICE **voices = espeak_ListVoices(nullptr);
    for (int i = 0; voices && voices[i]; ++i) {
        // The structs are freed by the next call: copy what is needed now.
        QString name = QString::fromUtf8(voices[i]->name);
        QList<std::pair<int, QString>> pairs;
        for (const char *p = voices[i]->languages; p && *p;) {
            const int priority = static_cast<unsigned char>(*p);
            const char *language = p + 1;
            pairs.append({priority, QString::fromUtf8(language)});
            p = language + std::strlen(language) + 1;
        }
        listed.append({QString::fromUtf8(voices[i]->identifier), u"eSpeak NG "_s + name.replace(u'_', u' '),
                       pairs.isEmpty() ? QString() : pairs.first().second});
        languages.append(pairs);
    }
    m_voices.clear();
    for (const int i : OrderForLocale(languages, m_locale))
        m_voices.append(listed[i]);
    return m_voices;
}

QStringList EspeakEngine::Voices()
{
    QStringList descriptions;
    for (const Voice &voice : Listed())
        descriptions.append(voice.description);
    return descriptions;
}

QString EspeakEngine::Version()
{
    const char *version = espeak_Info(nullptr);
    return u"espeak-ng "_s + QString::fromUtf8(version ? version : "");
}

QString EspeakEngine::Language(int voice)
{
    const QList<Voice> &voices = m_voices.isEmpty() ? Listed() : m_voices;
    return voice >= 0 && voice < voices.size() ? voices[voice].language : QString();
}

void EspeakEngine::Speak(int voice, const SpeechSettings &settings, const QString &text, ISampleSink *output,
                         QList<qint64> *lineStarts)
{
    const QList<Voice> &voices = m_voices.isEmpty() ? Listed() : m_voices;
    if (voices.isEmpty())
        throw RuntimeError(u"No voice is installed"_s, ErrorNumber::ClassNotRegistered);
    const int index = voice >= 0 && voice < voices.size() ? voice : 0;
    if (espeak_SetVoiceByName(voices[index].identifier.toUtf8().constData()) != EE_OK) {
        // A failed selection can leave a broken voice inside espeak-ng: choose a working one.
        if (index != 0)
            espeak_SetVoiceByName(voices[0].identifier.toUtf8().constData());
        throw ClassNotRegistered();
    }
    espeak_SetParameter(espeakRATE, WordsPerMinute(settings.rate, settings.ratePercent), 0);
    // Into a file at its own normal volume, levelled afterwards; aloud, the level is espeak-ng's
    // volume (above 100 it compresses the loudest sounds itself).
    const int volume = output ? 100
                              : static_cast<int>(std::clamp(
                                    std::lround(settings.volume * std::pow(10.0, settings.levelDb / 20)), 0L, 200L));
    espeak_SetParameter(espeakVOLUME, volume, 0);
    // Every line is shorter than this: each line end ends a clause, with its pause.
    espeak_SetParameter(espeakLINELENGTH, kEveryLine, 0);

    const bool playback = output == nullptr;
    if (playback != m_playbackMode) {
        const auto mode = playback ? espeak_ng_OUTPUT_MODE(ENOUTPUT_MODE_SYNCHRONOUS | ENOUTPUT_MODE_SPEAK_AUDIO)
                                   : ENOUTPUT_MODE_SYNCHRONOUS;
        const espeak_ng_STATUS status = espeak_ng_InitializeOutput(mode, 0, nullptr);
        if (status != ENS_OK)
            throw RuntimeError(StatusMessage(status), ErrorNumber::UnexpectedError);
        m_playbackMode = playback;
    }
    SynthesisContext context;
    context.writer = output;
    context.events = &m_events;
    context.sinceYield.start();
    const QByteArray utf8 = text.toUtf8();
    std::optional<LineStartTracker> lines;
    if (output && lineStarts) {
        lines.emplace(utf8, std::pow(10.0, settings.levelDb / 20), 22050);
        context.lines = &*lines;
    }
    // What stands within [[ ]] is a lexicon's pronunciation: the cleaning leaves no bracket
    // of the document's own.
    // espeak-ng leaves out the pause after the text's last clause unless asked for it: without
    // it a line that ends a piece or a passage runs into the next with a third of the pause.
    const unsigned flags = espeakCHARS_UTF8 | espeakPHONEMES | (settings.endsLine ? espeakENDPAUSE : 0u);
    const espeak_ERROR result = espeak_Synth(utf8.constData(), static_cast<size_t>(utf8.size()) + 1, 0, POS_CHARACTER,
                                             0, flags, nullptr, &context);
    if (result != EE_OK)
        throw RuntimeError(playback ? u"The default audio output could not be used"_s
                                    : u"The speech engine failed"_s,
                           ErrorNumber::UnexpectedError);
    if (context.writeFailed)
        throw RuntimeError(output->WriteFailure(), ErrorNumber::DiskFull);
    if (lines)
        *lineStarts = lines->Starts();
}
