#include "pipeline/passages.h"

#include "pipeline/cut.h"
#include "pipeline/voicepicker.h"

#include "languages/languageruns.h"
#include "reading/lexicon.h"
#include "reading/spokenform.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Where each mark that says how its text is read begins, as an offset into text, with the
// mark; one at 0 for the reading in effect where text begins (the chosen one when none does).
QList<std::pair<qsizetype, const LanguageMark *>> Readings(QStringView text, const QList<LanguageMark> &marks)
{
    static const LanguageMark kChosen;
    QList<std::pair<qsizetype, const LanguageMark *>> readings{{0, &kChosen}};
    if (std::all_of(marks.begin(), marks.end(), [](const LanguageMark &mark) { return mark.ReadAsChosen(); }))
        return readings;
    const std::vector<qsizetype> offsets = MarkOffsets(text, marks);
    for (size_t k = 0; k < offsets.size(); ++k) {
        const LanguageMark *mark = &marks[static_cast<qsizetype>(k)];
        if (offsets[k] == readings.last().first)
            readings.last().second = mark;
        else
            readings.append({offsets[k], mark});
    }
    return readings;
}

} // namespace

QList<Passage> PassagesOf(QStringView text, const QString &documentLanguage, const QList<LanguageMark> &marks,
                          const VoicePicker &voices, QStringList *unspoken)
{
    const QList<std::pair<qsizetype, const LanguageMark *>> readings = Readings(text, marks);
    qsizetype reading = 0;
    QList<Passage> passages;
    for (const LanguageRun &run : LanguageRuns(text, documentLanguage, marks)) {
        // A run under several readings is a passage for each.
        for (qsizetype start = run.start; start < run.start + run.length;) {
            while (reading + 1 < readings.size() && readings[reading + 1].first <= start)
                ++reading;
            const qsizetype end = reading + 1 < readings.size()
                                      ? std::min(run.start + run.length, readings[reading + 1].first)
                                      : run.start + run.length;
            const LanguageMark &how = *readings[reading].second;
            int voice = voices.VoiceFor(run.language);
            // A named voice reads what the document says is in its language, or in any
            // language the voice speaks; letters of another script go to their own voice.
            if (const int named = voices.Named(how.voice); named != VoicePicker::kNone
                && (run.marked || run.language.isEmpty() || voices.Speaks(named, run.language)))
                voice = named;
            QString words = text.mid(start, end - start).toString();
            if (voice == VoicePicker::kNone) {
                // Letters that no voice speaks are left out, each a blank (the lines stay as they
                // are): another language's voice spells them out code by code.
                if (const int letters = LetterCount(words); letters > 0 && unspoken)
                    CountUnspoken(*unspoken, ScriptName(run.script), letters);
                for (QChar &c : words) {
                    if (c != u'\n')
                        c = u' ';
                }
                voice = voices.Chosen();
            }
            const bool atLineStart = start == 0 || text[start - 1] == u'\n';
            if (!passages.isEmpty() && passages.last().voice == voice && passages.last().ratePercent == how.ratePercent
                && passages.last().volumePercent == how.volumePercent)
                passages.last().text += words;
            else
                passages.append({voice, words, !atLineStart, run.language.isEmpty() ? documentLanguage : run.language,
                                 {}, how.ratePercent, how.volumePercent});
            start = end;
        }
    }
    return passages;
}

void CountUnspoken(QStringList &unspoken, const QString &script, qint64 letters)
{
    for (QString &entry : unspoken) {
        const qsizetype equals = entry.lastIndexOf(u'=');
        if (entry.left(equals) == script) {
            entry = script + u'=' + QString::number(entry.mid(equals + 1).toLongLong() + letters);
            return;
        }
    }
    unspoken.append(script + u'=' + QString::number(letters));
}

void AddUnspoken(QStringList &unspoken, const QStringList &more)
{
    for (const QString &entry : more) {
        const qsizetype equals = entry.lastIndexOf(u'=');
        CountUnspoken(unspoken, entry.left(equals), entry.mid(equals + 1).toLongLong());
    }
}

QString UnspokenWords(const QStringList &unspoken)
{
    QStringList said;
    for (const QString &entry : unspoken) {
        const qsizetype equals = entry.lastIndexOf(u'=');
        const qint64 letters = entry.mid(equals + 1).toLongLong();
        said.append(QString::number(letters) + (letters == 1 ? u" letter in "_s : u" letters in "_s) + entry.left(equals)
                    + u" script"_s);
    }
    if (said.isEmpty())
        return QString();
    const bool one = said.size() == 1 && unspoken[0].endsWith(u"=1"_s);
    return said.join(u", "_s) + (one ? u" has no voice and was not spoken"_s : u" have no voice and were not spoken"_s);
}

QByteArray LanguagesFileText(const QString &documentLanguage, const QList<LanguageMark> &marks,
                             const QList<LinePlace> &places)
{
    QByteArray text = "language " + documentLanguage.toUtf8() + '\n';
    for (qsizetype k = 0; k < marks.size() && k < places.size(); ++k) {
        const LanguageMark &mark = marks[k];
        text += QByteArray::number(places[k].segment) + ' ' + QByteArray::number(places[k].line) + ' '
                + QByteArray::number(mark.column) + ' ' + mark.language.toUtf8();
        // How it is read, where the document says: the voice's name last, spaces and all.
        if (!mark.ReadAsChosen())
            text += " rate=" + QByteArray::number(mark.ratePercent) + " volume=" + QByteArray::number(mark.volumePercent)
                    + " voice=" + mark.voice.simplified().toUtf8();
        text += '\n';
    }
    return text;
}

QList<LanguageMark> MarksOfPiece(const QByteArray &languagesFile, int piece, QString *documentLanguage)
{
    QList<LanguageMark> marks;
    LanguageMark before; // the mark in effect where the piece begins
    bool anyBefore = false;
    for (const QByteArray &line : languagesFile.split('\n')) {
        if (line.startsWith("language ")) {
            if (documentLanguage)
                *documentLanguage = QString::fromUtf8(line.mid(9));
            continue;
        }
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 3)
            continue;
        const int at = words[0].toInt();
        LanguageMark mark{words[1].toLongLong(), words[2].toLongLong(), QString::fromUtf8(words.value(3))};
        for (qsizetype k = 4; k < words.size(); ++k) {
            if (words[k].startsWith("voice=")) {
                mark.voice = QString::fromUtf8(line.mid(line.indexOf(" voice=") + 7));
                break;
            }
            if (words[k].startsWith("rate="))
                mark.ratePercent = words[k].mid(5).toInt();
            else if (words[k].startsWith("volume="))
                mark.volumePercent = words[k].mid(7).toInt();
        }
        if (at < piece) {
            before = mark;
            anyBefore = true;
        } else if (at == piece) {
            marks.append(mark);
        }
    }
    if (anyBefore && (marks.isEmpty() || marks.first().line != 0 || marks.first().column != 0)) {
        before.line = before.column = 0;
        marks.prepend(before);
    }
    return marks;
}

QString SpokenPassage(const QString &cleaned, const QString &own, const QString &language, const Lexicon *lexicon,
                      bool phonemes, QList<LexiconHit> *hits)
{
    if (own.size() != cleaned.size())
        return cleaned; // not the same characters: read as the cleaning left it
    QString spoken;
    spoken.reserve(cleaned.size() + cleaned.size() / 8);
    qsizetype lineStart = 0;
    while (lineStart < cleaned.size()) {
        qsizetype lineEnd = cleaned.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = cleaned.size();
        const QStringView ownLine = QStringView(own).mid(lineStart, lineEnd - lineStart);
        const SpokenText said = SpokenForm(ownLine, language, lexicon);
        QString line;
        for (const SpokenSpan &span : said.spans)
            line += span.asWritten ? cleaned.mid(lineStart + span.sourceStart, span.sourceLength)
                                   : said.text.mid(span.spokenStart, span.spokenLength);
        // What is read as written is as long in both, so the hits stand where they stood.
        if (phonemes && !said.lexiconHits.isEmpty())
            line = EspeakInput(line, said.lexiconHits, language);
        else if (hits)
            for (LexiconHit hit : said.lexiconHits) {
                hit.start += spoken.size();
                hits->append(hit);
            }
        spoken += line;
        if (lineEnd < cleaned.size())
            spoken += u'\n';
        lineStart = lineEnd + 1;
    }
    return spoken;
}

QByteArray PlainLexiconText(const Lexicon &lexicon)
{
    QByteArray text;
    for (const LexiconEntry &entry : lexicon.entries()) {
        const QString said = entry.alias.isEmpty() ? u'/' + entry.ipa + u'/' : entry.alias;
        if (entry.grapheme.contains(u'\n') || entry.grapheme.contains(u'=') || said.contains(u'\n'))
            continue;
        text += entry.grapheme.toUtf8() + " = " + said.toUtf8() + '\n';
    }
    return text;
}
