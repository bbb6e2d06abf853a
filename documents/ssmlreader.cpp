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
    LanguageMark reading; // in effect at the end of the text so far: the plan's language, as chosen
    const auto endLine = [&] {
        if (text.isEmpty())
            return;
        sink(QString(text + u'\n'));
        text.clear();
        ++line;
    };
    for (const SpeechParagraph &paragraph : plan.paragraphs) {
        for (const SpeechPassage &passage : paragraph.passages) {
            if (!text.isEmpty())
                text += u' ';
            // Each passage says its whole reading: a mark where it differs from the one before.
            LanguageMark mark{line, text.size(),
                              passage.language.compare(plan.language, Qt::CaseInsensitive) == 0 ? QString()
                                                                                                 : passage.language,
                              passage.voiceName, passage.ratePercent, passage.volumePercent};
            mark.line = reading.line = line;
            mark.column = reading.column = text.size();
            if (facts && mark != reading && facts->languages.size() < DocumentLimits::kMaxLanguageMarks) {
                facts->languages.append(mark);
                reading = mark;
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
    }
    if (facts) {
        facts->language = plan.language;
        if (!lexicon.isEmpty())
            facts->lexicons.append(lexicon);
    }
}
