#include "documents/ssmlreader.h"

#include "documents/limits.h"

#include "reading/speechplan.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

// A shorter break is the pause between words or after a comma, which the voices make themselves.
constexpr int kHeardPauseMs = 200;

} // namespace

void SsmlReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    QFile file;
    OpenDocument(file, path);
    if (file.size() > SsmlLimits::kMaxBytes)
        throw TooLarge(path);
    const QByteArray bytes = file.read(SsmlLimits::kMaxBytes + 1);
    QString error;
    const SpeechPlan plan = ReadSsml(bytes, &error);
    if (!error.isEmpty())
        throw Damaged(error, path);
    QByteArray lexicon;
    qint64 line = 0;
    QString text;
    QString language; // in effect at the end of the text so far; the plan's own when empty
    const auto endLine = [&] {
        if (text.isEmpty())
            return;
        sink(QString(text + u'\n'));
        text.clear();
        ++line;
    };
    for (const SpeechParagraph &paragraph : plan.paragraphs) {
        for (qsizetype k = 0; k < paragraph.passages.size(); ++k) {
            const SpeechPassage &passage = paragraph.passages[k];
            if (!text.isEmpty())
                text += u' ';
            const QString said = passage.language.compare(plan.language, Qt::CaseInsensitive) == 0 ? QString()
                                                                                                      : passage.language;
            if (facts && said != language && facts->languages.size() < DocumentLimits::kMaxLanguageMarks) {
                facts->languages.append({line, text.size(), said});
                language = said;
            }
            for (const LexiconHit &hit : passage.lexiconHits) {
                if (!hit.ipa.isEmpty() && !hit.written.contains(u'=') && !hit.written.contains(u'\n'))
                    lexicon += hit.written.toUtf8() + " = /" + hit.ipa.toUtf8() + "/\n";
            }
            text += passage.text;
            // A pause that a listener hears as one ends the line there, with a line's pause.
            if (passage.pauseAfterMs >= kHeardPauseMs)
                endLine();
        }
        endLine();
        if (facts && !language.isEmpty() && facts->languages.size() < DocumentLimits::kMaxLanguageMarks) {
            facts->languages.append({line, 0, QString()});
            language.clear();
        }
    }
    if (facts) {
        facts->language = plan.language;
        if (!lexicon.isEmpty())
            facts->lexicons.append(lexicon);
    }
}
