#include "pipeline/readalongtext.h"

#include "common/codepage.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"
#include "pipeline/chapters.h"
#include "api/documentreader.h"

#include "readalong/cues.h"
#include "readalong/sentences.h"

#include <algorithm>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

QString ReadText(const QString &path, qint64 limit)
{
    const auto bytes = Fs::ReadFile(path, limit);
    if (!bytes)
        throw FileSystemError(bytes.Error(), path);
    return CodePage::DecodeWorkingText(*bytes);
}

} // namespace

ReadAlongText::ReadAlongText(std::function<QString(int)> pieceFile, QString documentFile, QString language)
    : m_pieceFile(std::move(pieceFile))
    , m_documentFile(std::move(documentFile))
    , m_language(std::move(language))
    , m_pieceStarts{Place{}}
{
}

QStringList ReadAlongText::PieceLines(int piece) const
{
    QStringList lines = ReadText(m_pieceFile(piece), qint64(1) << 30).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QList<TextSpan> ReadAlongText::SentencesOf(const QString &ownWords) const
{
    return Sentences(ownWords, m_language);
}

QString ReadAlongText::OwnText(int piece)
{
    QString text;
    for (const QString &line : OwnWords(piece))
        text += line + u'\n';
    return text;
}

QString ReadAlongText::SpeechText(int piece, QList<int> *sentenceLines, QString *ownText)
{
    const QStringList lines = PieceLines(piece);
    const QStringList own = OwnWords(piece);
    QString spoken;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QList<TextSpan> spans = SentencesOf(own.value(k));
        for (const TextSpan &span : spans) {
            spoken += lines[k].mid(span.start, span.length) + u'\n';
            if (ownText)
                *ownText += own.value(k).mid(span.start, span.length) + u'\n';
        }
        if (spans.isEmpty()) {
            spoken += lines[k] + u'\n';
            if (ownText)
                *ownText += own.value(k) + u'\n';
        }
        if (sentenceLines)
            sentenceLines->append(std::max<int>(1, static_cast<int>(spans.size())));
    }
    return spoken;
}

ReadAlongText::Place ReadAlongText::Walk(Place at, const QStringList &lines, QStringList *own,
                                        QList<qsizetype> *documentLines) const
{
    for (const QString &line : lines) {
        const QString &whole = m_documentLines.value(at.line);
        if (own)
            own->append(whole.mid(at.offset, line.size()));
        if (documentLines)
            documentLines->append(at.line);
        at.offset += line.size();
        if (at.offset >= whole.size())
            at = {at.line + 1, 0};
    }
    return at;
}

QStringList ReadAlongText::OwnWords(int piece, QList<qsizetype> *documentLines)
{
    DocumentLines();
    // Where each piece begins is found once, from the lengths of the pieces before it.
    while (m_pieceStarts.size() < piece)
        m_pieceStarts.append(Walk(m_pieceStarts.last(), PieceLines(static_cast<int>(m_pieceStarts.size())), nullptr));
    QStringList own;
    Walk(m_pieceStarts[piece - 1], PieceLines(piece), &own, documentLines);
    return own;
}

QList<TimedSentence> ReadAlongText::TimedSentences(int pieces, const std::vector<QList<qint64>> &starts,
                                                   const ChapterClock &clock, QList<qsizetype> *documentLines)
{
    QList<TimedSentence> sentences;
    for (int piece = 1; piece <= pieces; ++piece) {
        const QList<qint64> heard =
            piece <= static_cast<int>(starts.size()) ? starts[static_cast<size_t>(piece - 1)] : QList<qint64>();
        qsizetype at = 0;
        QList<qsizetype> lines;
        const QStringList own = OwnWords(piece, &lines);
        for (qsizetype k = 0; k < own.size(); ++k) {
            const QString &words = own[k];
            const QList<TextSpan> spans = SentencesOf(words);
            for (const TextSpan &span : spans) {
                const qint64 start = clock.TimeMs(piece, heard.value(at, heard.isEmpty() ? 0 : heard.last()));
                sentences.append({words.mid(span.start, span.length), start, start});
                if (documentLines)
                    documentLines->append(lines[k]);
                ++at;
            }
            at += spans.isEmpty() ? 1 : 0;
        }
    }
    for (qsizetype k = 0; k < sentences.size(); ++k)
        sentences[k].endMs = k + 1 < sentences.size() ? sentences[k + 1].startMs : clock.LengthMs();
    return sentences;
}

const QStringList &ReadAlongText::DocumentLines()
{
    if (m_documentLines.isEmpty())
        m_documentLines = ReadText(m_documentFile, qint64(1) << 31).replace(u"&#xa0;"_s, QString()).split(u'\n');
    return m_documentLines;
}

QList<qsizetype> ReadAlongText::DocumentLinesOf(int piece)
{
    QList<qsizetype> lines;
    OwnWords(piece, &lines);
    return lines;
}

QList<LanguageMark> ReadAlongText::SentenceMarks(int piece, const QList<LanguageMark> &marks)
{
    if (marks.isEmpty())
        return {};
    const QStringList own = OwnWords(piece);
    QList<LanguageMark> placed;
    qsizetype next = 0;
    qint64 before = 0; // sentence lines of the piece's lines before this one
    for (qsizetype k = 0; k < own.size(); ++k) {
        const QList<TextSpan> spans = SentencesOf(own[k]);
        for (; next < marks.size() && marks[next].line <= k; ++next) {
            // On the sentence that holds the mark's column, counted from that sentence's start.
            const LanguageMark &mark = marks[next];
            const qint64 column = mark.line < k ? 0 : mark.column;
            qsizetype sentence = 0;
            while (sentence + 1 < spans.size() && spans[sentence + 1].start <= column)
                ++sentence;
            const qint64 start = spans.isEmpty() ? 0 : spans[sentence].start;
            placed.append(mark);
            placed.last().line = before + sentence;
            placed.last().column = std::max<qint64>(0, column - start);
        }
        before += std::max<qsizetype>(1, spans.size());
    }
    for (; next < marks.size(); ++next) {
        placed.append(marks[next]);
        placed.last().line = before;
        placed.last().column = 0;
    }
    return placed;
}
