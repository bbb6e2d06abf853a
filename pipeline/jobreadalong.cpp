// Read along: the sentences of each piece, heard from their own places in the speech, and
// the subtitles made of them in the document's own words.
#include "pipeline/documentjob.h"

#include "api/processes.h"
#include "api/workingfolder.h"
#include "common/codepage.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "filesystem/filesystem.h"
#include "pipeline/jobsteps.h"
#include "pipeline/tags.h"

#include "readalong/cues.h"
#include "readalong/sentences.h"

#include <tuple>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;
using namespace JobParts;

QString DocumentJob::SpeechText(int piece, QList<int> *sentenceLines)
{
    const auto bytes = Fs::ReadFile(PiecePath(piece, u".txt"_s), qint64(1) << 30);
    if (!bytes)
        throw FileSystemError(bytes.Error(), PiecePath(piece, u".txt"_s));
    const QString text = CodePage::DecodeWorkingText(*bytes);
    QString spoken;
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QStringList own = OwnWords(piece);
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QString &line = lines[k];
        const QList<TextSpan> spans = SentencesOf(own.value(k));
        for (const TextSpan &span : spans)
            spoken += line.mid(span.start, span.length) + u'\n';
        if (spans.isEmpty())
            spoken += line + u'\n';
        if (sentenceLines)
            sentenceLines->append(std::max<int>(1, static_cast<int>(spans.size())));
    }
    return spoken;
}

QStringList DocumentJob::OwnWords(int piece)
{
    if (m_documentLines.isEmpty()) {
        const auto document = Fs::ReadFile(Workspace() + u"/document.txt"_s, qint64(1) << 31);
        if (!document)
            throw FileSystemError(document.Error(), Workspace() + u"/document.txt"_s);
        m_documentLines = CodePage::DecodeWorkingText(*document).replace(u"&#xa0;"_s, QString()).split(u'\n');
    }
    qsizetype original = 0;
    qsizetype offset = 0;
    QStringList own;
    for (int p = 1; p <= piece; ++p) {
        const auto bytes = Fs::ReadFile(PiecePath(p, u".txt"_s), qint64(1) << 30);
        if (!bytes)
            throw FileSystemError(bytes.Error(), PiecePath(p, u".txt"_s));
        QStringList lines = CodePage::DecodeWorkingText(*bytes).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (const QString &line : std::as_const(lines)) {
            const QString &whole = m_documentLines.value(original);
            if (p == piece)
                own.append(whole.mid(offset, line.size()));
            offset += line.size();
            if (offset >= whole.size()) {
                ++original;
                offset = 0;
            }
        }
    }
    return own;
}

QList<TextSpan> DocumentJob::SentencesOf(const QString &ownWords)
{
    return Sentences(ownWords, SpeechLanguage());
}

QString DocumentJob::SpeechLanguage() const
{
    if (!m_facts.language.isEmpty())
        return m_facts.language;
    return m_setup.language.isEmpty() ? m_setup.voiceLanguage : m_setup.language;
}

JobOutcome DocumentJob::WriteSubtitles(bool srt, bool lrc)
{
    return Step(JobStep::Output, [&] {
        QList<TimedSentence> sentences;
        for (int piece = 1; piece <= m_text.pieces; ++piece) {
            const QList<qint64> starts = piece <= static_cast<int>(m_sentenceStarts.size())
                                             ? m_sentenceStarts[static_cast<size_t>(piece - 1)]
                                             : QList<qint64>();
            qsizetype at = 0;
            for (const QString &words : OwnWords(piece)) {
                const QList<TextSpan> spans = SentencesOf(words);
                for (const TextSpan &span : spans) {
                    const qint64 start = m_clock.TimeMs(piece, starts.value(at, starts.isEmpty() ? 0 : starts.last()));
                    sentences.append({words.mid(span.start, span.length), start, start});
                    ++at;
                }
                at += spans.isEmpty() ? 1 : 0;
            }
        }
        for (qsizetype k = 0; k < sentences.size(); ++k)
            sentences[k].endMs = k + 1 < sentences.size() ? sentences[k + 1].startMs : m_clock.LengthMs();
        const QList<Cue> cues = SubtitleCues(sentences);
        const QString base = m_output.left(m_output.lastIndexOf(u'.'));
        const AudiobookTags tags = TagsFor(m_setup.document, m_facts, 0, 0, QString(), QString());
        for (const auto &[wanted, path, text] :
             {std::tuple{srt, base + u".srt"_s, SrtText(cues)}, std::tuple{lrc, base + u".lrc"_s,
                                                                          LrcText(cues, tags.title, tags.artist)}}) {
            if (!wanted)
                continue;
            // A subtitle file of the user's own that stands there is never replaced.
            if (Fs::Stat(path) && !Fs::IsProgramOutput(path))
                throw RuntimeError(path + u" is a file of yours, not one that Vocatext wrote, so it is left as it is"_s,
                                   ErrorNumber::PathFileAccessError);
            if (const int error = Fs::WriteReplacing(path, text, Fs::WithUmask(0666)))
                throw FileSystemError(error, path);
            Fs::MarkAsProgramOutput(path);
        }
    });
}

