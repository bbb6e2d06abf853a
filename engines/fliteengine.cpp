#include "engines/fliteengine.h"

#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "audio/levelstage.h"
#include "engines/linestarts.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QVarLengthArray>

#include <flite/flite.h>
#include <flite/flite_version.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

extern "C" {
cst_voice *register_cmu_us_slt(const char *voxdir);
cst_voice *register_cmu_us_awb(const char *voxdir);
cst_voice *register_cmu_us_rms(const char *voxdir);
cst_voice *register_cmu_us_kal16(const char *voxdir);
}

using namespace Qt::StringLiterals;

namespace {

struct FliteVoice
{
    const char16_t *description;
    cst_voice *(*registerVoice)(const char *);
};

const FliteVoice kVoices[4] = {
    {u"Flite English (United States) female slt", register_cmu_us_slt},
    {u"Flite English (Scotland) male awb", register_cmu_us_awb},
    {u"Flite English (United States) male rms", register_cmu_us_rms},
    {u"Flite English (United States) male kal", register_cmu_us_kal16},
};

constexpr int kOutputRate = 22050;
// The pause after an utterance, in seconds at the normal rate: the end of a line or a
// sentence, and the end of a clause (a comma) where the utterance was cut so that no
// utterance keeps the window waiting long before its first samples.
constexpr double kUtterancePause = 0.2;
constexpr double kClausePause = 0.08;

// How the utterance being spoken ended; set by the break rule just before Flite speaks it.
bool g_clauseBreak = false;

struct SoxrDeleter
{
    void operator()(soxr_t soxr) const { soxr_delete(soxr); }
};

// What the streaming callback needs; hidden here, handed to Flite as its user data.
struct Stream
{
    ISampleSink *output = nullptr;
    LineStartTracker *lines = nullptr;
    IEventLoop *events = nullptr;
    double stretch = 1;
    QElapsedTimer sinceYield;
    std::unique_ptr<soxr, SoxrDeleter> resampler;
    int inputRate = 0;
    qint64 heard = 0; // samples at Flite's rate handed over so far
    bool failed = false;       // the output refused samples: the synthesis is stopped
    QString failure;

    bool Resample(const short *samples, size_t count, bool last)
    {
        if (!resampler)
            return true;
        if (lines && count > 0)
            lines->Heard(samples, static_cast<qint64>(count));
        QVarLengthArray<short, 8192> out(static_cast<qsizetype>(count * kOutputRate / inputRate + 64));
        const short *in = samples;
        size_t left = count;
        for (;;) {
            size_t used = 0;
            size_t made = 0;
            if (const soxr_error_t error = soxr_process(resampler.get(), last && left == 0 ? nullptr : in, left, &used,
                                                        out.data(), static_cast<size_t>(out.size()), &made)) {
                failure = QString::fromUtf8(error);
                return false;
            }
            if (made > 0 && !output->Write(out.constData(), static_cast<qint64>(made))) {
                failure = output->WriteFailure();
                return false;
            }
            in += used;
            left -= used;
            if (left == 0 && (!last || made == 0))
                return true;
        }
    }
};

// Hands Flite's samples over as they come, resampled; the window is served meanwhile.
int StreamChunk(const cst_wave *wave, int start, int size, int last, cst_audio_streaming_info *info)
{
    auto *stream = static_cast<Stream *>(info->userdata);
    if (stream->failed)
        return CST_AUDIO_STREAM_STOP;
    try {
        if (!stream->resampler || stream->inputRate != wave->sample_rate) {
            if (stream->resampler && !stream->Resample(nullptr, 0, true))
                throw 0;
            soxr_error_t error = nullptr;
            soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
            io.flags |= SOXR_NO_DITHER; // silence stays silent
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
            stream->resampler.reset(soxr_create(wave->sample_rate, kOutputRate, 1, &error, &io, &quality, nullptr));
            stream->inputRate = wave->sample_rate;
            if (error) {
                stream->failure = QString::fromUtf8(error);
                throw 0;
            }
        }
        // An utterance begins where its first token stands in the text.
        if (start == 0 && stream->lines && info->utt) {
            if (const cst_item *token = relation_head(utt_relation(info->utt, "Token")))
                stream->lines->Reached(item_feat_int(token, "file_pos"), stream->heard);
        }
        stream->heard += size;
        if (!stream->Resample(wave->samples + start, static_cast<size_t>(size), false))
            throw 0;
        // Flite leaves next to no silence between utterances: each line and sentence end
        // gets the pause of a clause end, longer at slower rates.
        if (last) {
            const double seconds = g_clauseBreak ? kClausePause : kUtterancePause;
            const std::vector<short> pause(static_cast<size_t>(wave->sample_rate * seconds * stream->stretch));
            if (!stream->Resample(pause.data(), pause.size(), false))
                throw 0;
            stream->heard += static_cast<qint64>(pause.size());
        }
        if (stream->sinceYield.elapsed() >= 30) {
            stream->events->Yield();
            stream->sinceYield.restart();
        }
    } catch (...) {
        // Nothing may unwind through Flite's C frames.
        stream->failed = true;
        return CST_AUDIO_STREAM_STOP;
    }
    return CST_AUDIO_STREAM_CONT;
}

// Words said by the phones a lexicon gives them, for one synthesis: the voice's lexicon
// holds them as its run-time additions while the object lives, and none afterwards.
class LexiconAdditions
{
public:
    LexiconAdditions(cst_voice *voice, const QList<std::pair<QString, QStringList>> &phones)
    {
        if (phones.isEmpty() || !feat_present(voice->features, "lexicon"))
            return;
        m_lexicon = val_lexicon(feat_val(voice->features, "lexicon"));
        cst_val *added = nullptr;
        for (const auto &[word, sounds] : phones) {
            if (word.isEmpty() || word.contains(u' ') || word.contains(u'"') || word.contains(u'\\') || sounds.isEmpty())
                continue;
            // A phone the lexicon does not have would be said on standard output, where a
            // worker answers: such a word is left as Flite says it.
            const bool known = std::all_of(sounds.begin(), sounds.end(), [this](const QString &sound) {
                for (int i = 0; m_lexicon->phone_table[i]; ++i) {
                    if (sound == QLatin1StringView(m_lexicon->phone_table[i]))
                        return true;
                }
                return false;
            });
            if (!known)
                continue;
            const QByteArray entry = '"' + word.toUtf8() + "\" : " + sounds.join(u' ').toUtf8();
            if (cst_val *made = cst_lex_make_entry(m_lexicon, entry.constData()))
                added = cons_val(made, added);
        }
        m_before = std::exchange(m_lexicon->lex_addenda, val_reverse(added));
    }
    ~LexiconAdditions()
    {
        if (!m_lexicon)
            return;
        if (m_lexicon->lex_addenda)
            delete_val(m_lexicon->lex_addenda);
        m_lexicon->lex_addenda = m_before;
    }
    LexiconAdditions(const LexiconAdditions &) = delete;
    LexiconAdditions &operator=(const LexiconAdditions &) = delete;

private:
    cst_lexicon *m_lexicon = nullptr;
    cst_val *m_before = nullptr;
};

// A line end or a sentence end ends an utterance, also in lower-case text, and so does a
// comma; otherwise Flite's own rule decides.
int BreakAtLinesAndSentences(cst_tokenstream *ts, const char *token, cst_relation *tokens)
{
    g_clauseBreak = false;
    if (std::strchr(ts->whitespace, '\n'))
        return TRUE;
    const char *punctuation = item_feat_string(relation_tail(tokens), "punc");
    if (std::strpbrk(punctuation, ".;!?"))
        return TRUE;
    if (std::strchr(punctuation, ',')) {
        g_clauseBreak = true;
        return TRUE;
    }
    g_clauseBreak = false;
    return default_utt_break(ts, token, tokens);
}

// The letters beyond ASCII without an ASCII decomposition, as English writes them.
QString EnglishSpelling(char16_t c)
{
    switch (c) {
    case u'\u00df': return u"ss"_s;
    case u'\u00e6': return u"ae"_s;
    case u'\u00c6': return u"AE"_s;
    case u'\u0153': return u"oe"_s;
    case u'\u0152': return u"OE"_s;
    case u'\u00f8': return u"o"_s;
    case u'\u00d8': return u"O"_s;
    case u'\u00f0': return u"d"_s;
    case u'\u00d0': return u"D"_s;
    case u'\u00fe': return u"th"_s;
    case u'\u00de': return u"TH"_s;
    case u'\u00b5': return u"micro"_s;
    case u'\u0192': return u"f"_s;
    case u'\u0142': return u"l"_s;
    case u'\u0141': return u"L"_s;
    case u'\u0111': return u"d"_s;
    case u'\u0110': return u"D"_s;
    case u'\u0131': return u"i"_s;
    case u'\u2018':
    case u'\u2019': return u"'"_s;
    case u'\u201c':
    case u'\u201d': return u"\""_s;
    case u'\u2013':
    case u'\u2014': return u"-"_s;
    default: break;
    }
    // A letter with accents: its base letter; anything else Flite would drop or misread.
    const QString folded = QString(QChar(c)).normalized(QString::NormalizationForm_KD);
    QString ascii;
    for (const QChar f : folded) {
        if (f.unicode() < 0x80 && f.isLetterOrNumber())
            ascii.append(f);
    }
    return ascii.isEmpty() ? u" "_s : ascii;
}

} // namespace

QString FliteEngine::InEnglishLetters(const QString &text)
{
    // "€5" and "£1.50" are said "5 euros", "1 pound 50"; a sign without an amount just after
    // it is the word alone.
    static const QRegularExpression amount(u"([\u20ac\u00a3]) ?(\\d+(?:,\\d{3})*)(?:\\.(\\d\\d))?(?![.,]?\\d)"_s);
    QString worded;
    qsizetype at = 0;
    for (auto match = amount.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const bool euro = found.captured(1) == u"\u20ac"_s;
        const bool one = found.captured(2) == u"1"_s;
        worded += text.mid(at, found.capturedStart() - at) + found.captured(2) + u' '
                  + (euro ? (one ? u"euro"_s : u"euros"_s) : (one ? u"pound"_s : u"pounds"_s));
        if (found.hasCaptured(3))
            worded += u' ' + found.captured(3);
        at = found.capturedEnd();
    }
    worded += text.mid(at);

    QString out;
    out.reserve(worded.size());
    for (const QChar c : std::as_const(worded)) {
        if (c == u'&')
            out += u" and "_s;
        else if (c == u'\u20ac')
            out += u" euros "_s;
        else if (c == u'\u00a3')
            out += u" pounds "_s;
        else if (c.unicode() < 0x80)
            out += c;
        else
            out += EnglishSpelling(c.unicode());
    }
    return out;
}

FliteEngine::FliteEngine(IEventLoop &events)
    : m_events(events)
{
    flite_init();
}

QStringList FliteEngine::Voices()
{
    QStringList descriptions;
    for (const FliteVoice &voice : kVoices)
        descriptions.append(QString::fromUtf16(voice.description));
    return descriptions;
}

cst_voice *FliteEngine::Loaded(int voice)
{
    if (voice < 0 || voice >= 4)
        throw RuntimeError(u"Class not registered"_s, ErrorNumber::ClassNotRegistered);
    cst_voice *&loaded = m_loaded[static_cast<size_t>(voice)];
    if (!loaded) {
        loaded = kVoices[voice].registerVoice(nullptr);
        if (!loaded)
            throw RuntimeError(u"Class not registered"_s, ErrorNumber::ClassNotRegistered);
        feat_set(loaded->features, "utt_break", breakfunc_val(&BreakAtLinesAndSentences));
    }
    return loaded;
}

QString FliteEngine::Version()
{
    return u"flite " FLITE_PROJECT_VERSION ""_s;
}

QString FliteEngine::Language(int voice)
{
    return voice == 1 ? u"en-gb-scotland"_s : u"en-us"_s;
}

void FliteEngine::Speak(int voice, const SpeechSettings &settings, const QString &text, ISampleSink *output,
                        QList<qint64> *lineStarts)
{
    cst_voice *flite = Loaded(voice);
    // Flite's voices draw the noise of unvoiced sounds from rand(): seeded alike for every
    // synthesis, the same words give the same samples.
    std::srand(1);
    const float stretch = 175.0f / WordsPerMinute(settings.rate, settings.ratePercent);
    flite_feat_set_float(flite->features, "duration_stretch", stretch);
    const QByteArray utf8 = InEnglishLetters(text).toUtf8();
    if (!output) {
        // The test phrase: Flite's own playback. A machine without sound fails here; the
        // caller drops that silently.
        flite_feat_remove(flite->features, "streaming_info");
        cst_wave *wave = flite_text_to_wave(utf8.constData(), flite);
        if (!wave)
            throw RuntimeError(u"The speech engine failed"_s, ErrorNumber::UnexpectedError);
        // As loud as the voice in a file, limited as there.
        MemorySink levelled;
        LevelStage stage(levelled, settings.levelDb, settings.volume, wave->sample_rate);
        stage.Write(wave->samples, static_cast<qint64>(wave->num_samples) * wave->num_channels);
        stage.Finish();
        std::copy(levelled.Samples().begin(), levelled.Samples().end(), wave->samples);
        const int played = play_wave(wave);
        delete_wave(wave);
        if (played < 0)
            throw RuntimeError(u"The default audio output could not be used"_s, ErrorNumber::UnexpectedError);
        return;
    }
    const LexiconAdditions additions(flite, settings.phones);
    Stream stream;
    stream.output = output;
    stream.events = &m_events;
    stream.stretch = stretch;
    stream.sinceYield.start();
    std::optional<LineStartTracker> lines;
    if (lineStarts) {
        lines.emplace(utf8, std::pow(10.0, settings.levelDb / 20), 16000);
        stream.lines = &*lines;
    }
    cst_audio_streaming_info *info = new_audio_streaming_info();
    info->asc = StreamChunk;
    info->userdata = &stream;
    flite_feat_set(flite->features, "streaming_info", audio_streaming_info_val(info));
    // A token stream, so that the text is spoken utterance by utterance.
    const cst_features *features = flite->features;
    cst_tokenstream *tokens = ts_open_string(utf8.constData(), get_param_string(features, "text_whitespace", nullptr),
                                             get_param_string(features, "text_singlecharsymbols", nullptr),
                                             get_param_string(features, "text_prepunctuation", nullptr),
                                             get_param_string(features, "text_postpunctuation", nullptr));
    if (tokens)
        flite_ts_to_speech(tokens, flite, "none"); // closes the stream
    flite_feat_remove(flite->features, "streaming_info");
    if (!stream.failed && !stream.Resample(nullptr, 0, true))
        stream.failed = true;
    if (stream.failed)
        throw RuntimeError(stream.failure.isEmpty() ? output->WriteFailure() : stream.failure, ErrorNumber::DiskFull);
    if (lines)
        *lineStarts = lines->Starts(stream.inputRate > 0 ? double(kOutputRate) / stream.inputRate : 1.0);
}
