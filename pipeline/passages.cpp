#include "pipeline/passages.h"

#include "pipeline/cut.h"
#include "pipeline/voicepicker.h"

#include "languages/languageruns.h"

using namespace Qt::StringLiterals;

QList<Passage> PassagesOf(QStringView text, const QString &documentLanguage, const QList<LanguageMark> &marks,
                          const VoicePicker &voices, QStringList *unspoken)
{
    QList<Passage> passages;
    for (const LanguageRun &run : LanguageRuns(text, documentLanguage, marks)) {
        int voice = voices.VoiceFor(run.language);
        if (voice == VoicePicker::kNone) {
            if (unspoken && LetterCount(text.mid(run.start, run.length)) > 0
                && !unspoken->contains(ScriptName(run.script)))
                unspoken->append(ScriptName(run.script));
            voice = voices.Chosen();
        }
        const bool atLineStart = run.start == 0 || text[run.start - 1] == u'\n';
        if (!passages.isEmpty() && passages.last().voice == voice)
            passages.last().text += text.mid(run.start, run.length);
        else
            passages.append({voice, text.mid(run.start, run.length).toString(), !atLineStart});
    }
    return passages;
}

QByteArray LanguagesFileText(const QString &documentLanguage, const QList<LanguageMark> &marks,
                             const QList<LinePlace> &places)
{
    QByteArray text = "language " + documentLanguage.toUtf8() + '\n';
    for (qsizetype k = 0; k < marks.size() && k < places.size(); ++k)
        text += QByteArray::number(places[k].segment) + ' ' + QByteArray::number(places[k].line) + ' '
                + QByteArray::number(marks[k].column) + ' ' + marks[k].language.toUtf8() + '\n';
    return text;
}

QList<LanguageMark> MarksOfPiece(const QByteArray &languagesFile, int piece, QString *documentLanguage)
{
    QList<LanguageMark> marks;
    QString before; // the language in effect where the piece begins
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
        const QString language = QString::fromUtf8(words.value(3));
        if (at < piece) {
            before = language;
            anyBefore = true;
        } else if (at == piece) {
            marks.append({words[1].toLongLong(), words[2].toLongLong(), language});
        }
    }
    if (anyBefore && (marks.isEmpty() || marks.first().line != 0 || marks.first().column != 0))
        marks.prepend({0, 0, before});
    return marks;
}
