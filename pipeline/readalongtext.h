#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class ChapterClock;
struct LanguageMark;
struct TextSpan;
struct TimedSentence;

// The text of a document read along: its pieces' cleaned lines beside the document's own
// words (the cleaning keeps one character for each, so the two line up), cut into
// sentences in the document's language. The engine is given every sentence on a line of
// its own, so that it says where each begins in the speech.
class ReadAlongText
{
public:
    /// pieceFile: where the cleaned text of a piece (1, 2, ...) is; documentFile: the
    /// document's own text, a line for each of its paragraphs.
    ReadAlongText(std::function<QString(int)> pieceFile, QString documentFile, QString language);

    /// The piece's text as the engine is given it, every sentence on a line of its own;
    /// sentenceLines receives, for each line of the piece, how many lines it became.
    /// own receives the same text in the document's own characters.
    QString SpeechText(int piece, QList<int> *sentenceLines = nullptr, QString *own = nullptr);
    /// The piece's lines in the document's own characters, each ended by a line end: the
    /// piece's text as the document has it.
    QString OwnText(int piece);
    /// Every sentence of the document in its own words, timed by the clock from where the
    /// engine heard each begin (starts: by piece, a sample for each sentence line);
    /// documentLines receives the line of the document's text that each is on.
    QList<TimedSentence> TimedSentences(int pieces, const std::vector<QList<qint64>> &starts,
                                        const ChapterClock &clock, QList<qsizetype> *documentLines = nullptr);
    /// The document's own text, a line for each of its paragraphs.
    const QStringList &DocumentLines();
    /// The line of the document's text that each line of the piece is on.
    QList<qsizetype> DocumentLinesOf(int piece);
    /// The language marks of a piece (lines and columns of its lines, in order) placed on
    /// the lines of its SpeechText, where every sentence is a line of its own.
    QList<LanguageMark> SentenceMarks(int piece, const QList<LanguageMark> &marks);

private:
    QStringList PieceLines(int piece) const;
    /// The lines of the piece as the document has them; a line longer than a piece goes on
    /// in the next.
    QStringList OwnWords(int piece, QList<qsizetype> *documentLines = nullptr);
    QList<TextSpan> SentencesOf(const QString &ownWords) const;
    struct Place
    {
        qsizetype line = 0;
        qsizetype offset = 0;
    };
    /// Walks a piece's lines from where it begins in the document's lines: the document's
    /// words of each (own), and where the next piece begins.
    Place Walk(Place at, const QStringList &lines, QStringList *own, QList<qsizetype> *documentLines = nullptr) const;

    std::function<QString(int)> m_pieceFile;
    QString m_documentFile;
    QString m_language;
    QStringList m_documentLines; // once read
    QList<Place> m_pieceStarts; // where each piece begins in the document's lines, as far as known
};
