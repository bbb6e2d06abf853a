// Speaking a piece: the passages the engine is given, each read by the voice for its
// language, and the check that what came back is speech that lasts as its words do.
#include "pipeline/documentjob.h"

#include "api/speech.h"
#include "common/codepage.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "filesystem/filesystem.h"
#include "pipeline/jobsteps.h"
#include "pipeline/passages.h"
#include "pipeline/readalongtext.h"

#include "reading/lexicon.h"
#include "reading/phonemes.h"
#include "reading/speechplan.h"

#include <QFile>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;
using namespace JobParts;

JobOutcome DocumentJob::SpeakPiece(class Speak &speak, int piece)
{
    return Step(JobStep::Speech, [&] {
        const QString wav = PiecePath(piece, u".wav"_s);
        KillFile(m_services.Events(), wav);
        QStringList unspoken;
        const QList<Passage> passages = SpeechInput(piece, &unspoken);
        // One passage of the chosen voice that says the piece's text as it stands: its file.
        const auto file = Fs::ReadFile(PiecePath(piece, u".txt"_s), qint64(1) << 30);
        const bool asItIs = passages.size() == 1 && passages[0].AsChosen() && !m_setup.readAlong && file
                            && CodePage::DecodeWorkingText(*file) == passages[0].text;
        const SpeechOutcome spoken = speak.SaveToWAV(m_reports, m_setup.choice, PiecePath(piece, u".txt"_s), wav,
                                                     asItIs ? nullptr : &passages);
        if (spoken.failed)
            throw RuntimeError(spoken.description, spoken.number);
        const auto status = Fs::Stat(wav);
        const double seconds = status ? static_cast<double>(std::max<qint64>(0, status->size - 44)) / 2 / 22050 : 0;
        if (m_setup.checkSpeech)
            CheckSpeech(piece, wav, seconds, passages);
        TakeSpoken(piece, {spoken.lineStarts, seconds, unspoken});
    });
}

QList<Passage> DocumentJob::SpeechInput(int piece, QStringList *unspoken, QList<QList<LexiconHit>> *hits)
{
    // Read along, every sentence is a line of its own, so that the engine says where it
    // begins. The spoken form reads the document's own characters beside the cleaned ones.
    QString text;
    QString own;
    if (m_setup.readAlong) {
        text = ReadAlong().SpeechText(piece, nullptr, &own);
    } else {
        const auto bytes = Fs::ReadFile(PiecePath(piece, u".txt"_s), qint64(1) << 30);
        if (!bytes)
            throw FileSystemError(bytes.Error(), PiecePath(piece, u".txt"_s));
        text = CodePage::DecodeWorkingText(*bytes);
        if (m_setup.spokenForm)
            Quietly([&] { own = ReadAlong().OwnText(piece); });
    }
    // The marks count the piece's lines; read along, they are placed on its sentences,
    // which are lines of their own.
    QString language;
    const auto file = Fs::ReadFile(LanguagesPath(), qint64(1) << 30);
    QList<LanguageMark> marks = MarksOfPiece(file ? *file : QByteArray(), piece, &language);
    if (m_setup.readAlong)
        marks = ReadAlong().SentenceMarks(piece, marks);
    QList<Passage> passages = PassagesOf(text, language, marks, Voices(), unspoken);
    if (m_setup.languageSwitch) {
        for (Passage &passage : passages) {
            if (passage.voice == Voices().Chosen())
                passage.voice = -1;
        }
    } else {
        // The chosen voice reads every passage (at the rate and volume the document gives
        // it); letters that no voice speaks stay left out.
        QList<Passage> chosen;
        for (const Passage &passage : std::as_const(passages)) {
            if (!chosen.isEmpty() && chosen.last().ratePercent == passage.ratePercent
                && chosen.last().volumePercent == passage.volumePercent)
                chosen.last().text += passage.text;
            else
                chosen.append({-1, passage.text, passage.continuesLine, QString(), {}, passage.ratePercent,
                               passage.volumePercent});
        }
        passages = chosen;
        if (!passages.isEmpty())
            passages.first().continuesLine = false;
    }
    if (passages.isEmpty())
        passages.append({-1, text, false});
    if (hits)
        hits->fill({}, passages.size());
    if (m_setup.spokenForm) {
        const Lexicon *lexicon = TheLexicon();
        qsizetype at = 0;
        for (qsizetype k = 0; k < passages.size(); ++k) {
            Passage &passage = passages[k];
            const qsizetype length = passage.text.size();
            // espeak-ng takes a lexicon's sounds as phonemes in the text; Flite as phones of
            // its own lexicon, for the words that they say.
            const bool phonemes = !hits && SpeaksPhonemes(passage.voice);
            QList<LexiconHit> found;
            passage.text = SpokenPassage(passage.text, own.mid(at, length),
                                         passage.language.isEmpty() ? SpeechLanguage() : passage.language, lexicon,
                                         phonemes, &found);
            for (const LexiconHit &hit : std::as_const(found)) {
                const QString word = passage.text.mid(hit.start, hit.length).toLower();
                if (!phonemes && !hit.ipa.isEmpty() && std::none_of(passage.phones.begin(), passage.phones.end(),
                                                                     [&](const auto &kept) { return kept.first == word; }))
                    if (const QStringList phones = IpaToFlite(hit.ipa); !phones.isEmpty())
                        passage.phones.append({word, phones});
            }
            if (hits)
                (*hits)[k] = found;
            at += length;
        }
    }
    return passages;
}

const VoicePicker &DocumentJob::Voices()
{
    if (!m_voices)
        m_voices.emplace(m_services.Speech(), m_setup.choice.voice, m_setup.voicesFor);
    return *m_voices;
}

QString DocumentJob::VoiceName(int voice)
{
    return Voices().Name(voice < 0 ? m_setup.choice.voice : voice);
}

bool DocumentJob::SpeaksPhonemes(int voice)
{
    return VoiceName(voice).startsWith(u"eSpeak"_s);
}

const Lexicon *DocumentJob::TheLexicon()
{
    if (!m_lexicon) {
        m_lexicon = std::make_unique<Lexicon>();
        Quietly([&] {
            if (Fs::Stat(LexiconPath()))
                if (LexiconResult read = LoadLexiconFile(LexiconPath()); read.ok())
                    *m_lexicon = std::move(read.lexicon);
        });
    }
    return m_lexicon->isEmpty() ? nullptr : &*m_lexicon;
}

QByteArray DocumentJob::SpeechKeyText(int piece, QStringList *unspoken)
{
    const QList<Passage> passages = SpeechInput(piece, unspoken);
    if (passages.size() == 1 && passages[0].AsChosen())
        return passages[0].text.toUtf8();
    QByteArray key;
    for (const Passage &passage : passages) {
        key += QByteArray::number(passage.voice) + (passage.continuesLine ? "+" : "");
        if (passage.ratePercent != 100 || passage.volumePercent != 100)
            key += ' ' + QByteArray::number(passage.ratePercent) + '%' + QByteArray::number(passage.volumePercent) + '%';
        key += '\x1f' + passage.text.toUtf8() + '\x1e';
        for (const auto &[word, phones] : passage.phones)
            key += word.toUtf8() + '\x1d' + phones.join(u' ').toUtf8() + '\x1e';
    }
    return key;
}

void DocumentJob::CheckSpeech(int piece, const QString &wav, double seconds, const QList<Passage> &passages)
{
    // The quietest and the fastest passage say how soft and how short the speech may be.
    int quietest = 100;
    int fastest = 100;
    for (const Passage &passage : passages) {
        quietest = std::min(quietest, passage.volumePercent);
        fastest = std::max(fastest, passage.ratePercent);
    }
    const int volume = m_setup.choice.volume * quietest / 100;
    const auto bytes = Fs::ReadFile(PiecePath(piece, u".txt"_s), qint64(1) << 26);
    int words = 0;
    if (bytes) {
        const QString text = CodePage::DecodeWorkingText(*bytes);
        for (const QStringView word : QStringView(text).split(u' ', Qt::SkipEmptyParts))
            words += std::any_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); });
    }
    if (words == 0 || volume == 0)
        return; // nothing to say, or silence asked for
    // Speech is heard: some sample stands above the breath of an "h" (0.5 % of full scale).
    QFile file(wav);
    int loudest = 0;
    if (file.open(QIODevice::ReadOnly) && file.seek(44)) {
        for (QByteArray block; !(block = file.read(1 << 16)).isEmpty();) {
            const auto *samples = reinterpret_cast<const qint16 *>(block.constData());
            for (qsizetype i = 0; i < block.size() / 2; ++i)
                loudest = std::max(loudest, std::abs(int(samples[i])));
        }
    }
    if (loudest < std::max(1, 164 * volume / 100))
        throw RuntimeError(u"Piece "_s + QString::number(piece) + u" has "_s + QString::number(words)
                               + u" words, but its speech is silent"_s,
                           ErrorNumber::UnexpectedError);
    // A voice says its words at its rate; a quarter of that time is speech cut short.
    const double least = words * 60.0 / WordsPerMinute(m_setup.choice.rate, fastest) / 4;
    if (seconds < least)
        throw RuntimeError(u"Piece "_s + QString::number(piece) + u" has "_s + QString::number(words)
                               + u" words, but its speech lasts only "_s + QString::number(seconds, 'f', 1)
                               + u" s: it was cut short"_s,
                           ErrorNumber::UnexpectedError);
}

JobOutcome DocumentJob::WriteSsml()
{
    return Step(JobStep::Output, [&] {
        SpeechPlan plan;
        plan.language = QString(SpeechLanguage()).replace(u'_', u'-');
        QStringList unspoken;
        for (int piece = 1; piece <= m_text.pieces; ++piece) {
            QList<QList<LexiconHit>> hits;
            const QList<Passage> passages = SpeechInput(piece, &unspoken, &hits);
            // A paragraph for each line; a passage that goes on with a line stays in its paragraph.
            bool lineBegins = true;
            for (qsizetype k = 0; k < passages.size(); ++k) {
                const Passage &passage = passages[k];
                const QString voice = VoiceName(passage.voice);
                lineBegins = lineBegins || !passage.continuesLine;
                qsizetype at = 0;
                while (at < passage.text.size()) {
                    qsizetype end = passage.text.indexOf(u'\n', at);
                    if (end < 0)
                        end = passage.text.size();
                    if (lineBegins || plan.paragraphs.isEmpty())
                        plan.paragraphs.append(SpeechParagraph());
                    SpeechPassage said{passage.language, voice, passage.text.mid(at, end - at).trimmed(), {},
                                       passage.ratePercent, passage.volumePercent};
                    const qsizetype lead = passage.text.mid(at, end - at).indexOf(said.text);
                    for (LexiconHit hit : std::as_const(hits[k])) {
                        if (hit.start >= at + lead && hit.start + hit.length <= at + lead + said.text.size()) {
                            hit.start -= at + lead;
                            said.lexiconHits.append(hit);
                        }
                    }
                    if (!said.text.isEmpty())
                        plan.paragraphs.last().passages.append(said);
                    lineBegins = end < passage.text.size();
                    at = end + 1;
                }
            }
        }
        plan.paragraphs.removeIf([](const SpeechParagraph &paragraph) { return paragraph.passages.isEmpty(); });
        AddUnspoken(m_unspoken, unspoken);
        if (const int error = Fs::WriteReplacing(m_output, SpeechPlanSsml(plan), Fs::WithUmask(0666)))
            throw RuntimeError(u"The speech plan cannot be written: "_s + m_output + u" ("_s
                                   + FileSystemError(error, m_output).description() + u')',
                               ErrorNumber::PathFileAccessError);
        Fs::MarkAsProgramOutput(m_output); // so that a later run may replace it
        m_finished = true;
    });
}
