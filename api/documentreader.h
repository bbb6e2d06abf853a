#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

// A heading of a document: where a listener's chapter begins.
struct DocumentHeading
{
    /// The heading's text in the document's own characters.
    QString title;
    /// Its outline level, from 1.
    int level = 1;
    /// The line of the body text (counted from 0; lines end at LF) on which it begins.
    qint64 line = 0;
};

/// Where the document says its text is in a language: from this line and column of the
/// body text (lines counted from 0, ending at LF; columns in UTF-16 code units) on, until
/// the next mark.
struct LanguageMark
{
    qint64 line = 0;
    qint64 column = 0;
    /// A BCP 47 tag ("fr-FR", "zh-CN"); "": the document's own language again.
    QString language;
    /// How the text from here on is read where the document says so (a speech plan's
    /// <voice name> and <prosody>): the name of the voice that reads it ("": the voice for
    /// its language), and its rate and volume in percent of the chosen ones.
    QString voice = QString();
    int ratePercent = 100;
    int volumePercent = 100;

    /// True when the mark says nothing of its text's reading but its language.
    bool ReadAsChosen() const { return voice.isEmpty() && ratePercent == 100 && volumePercent == 100; }
    bool operator==(const LanguageMark &) const = default;
};

/// Where a line of the body text begins a list item or a table cell.
struct DocumentBlock
{
    enum class Kind { ListItem, TableCell };
    qint64 line = 0;
    Kind kind = Kind::ListItem;
    bool operator==(const DocumentBlock &) const = default;
};

/// The most headings a document's facts hold: the first ones; a document with more is not
/// one a listener finds a place in by its chapters.
inline constexpr qsizetype kMaxDocumentHeadings = 10000;
inline constexpr qsizetype kMaxDocumentBlocks = 500'000;

// What a document says of itself beside its text, for the tags and chapters of its MP3:
// empty where the document names nothing.
struct DocumentFacts
{
    QString title;
    QString author;
    QList<DocumentHeading> headings;
    /// The language the document says it is written in (dc:language, the default style's
    /// language, the root's lang), BCP 47; "" when it says none.
    QString language;
    /// Where passages of other languages begin and end, in the order of the text.
    QList<LanguageMark> languages;
    /// The picture the document names as its cover (an e-book's), with its media type; empty: none.
    QByteArray cover;
    QString coverType;
    /// The pronunciations the document gives itself (an e-book's PLS lexicons, a speech
    /// plan's phonemes), each a W3C PLS document or the plain form ("word = /ipa/").
    QList<QByteArray> lexicons;
    /// The lines that begin list items and table cells, in the order of the text (the first
    /// kMaxDocumentBlocks; a document with more reads its others as paragraphs).
    QList<DocumentBlock> blocks = QList<DocumentBlock>();

    /// Adds a heading as the readers find them: the first kMaxDocumentHeadings, no more.
    void AddHeading(DocumentHeading heading)
    {
        if (headings.size() < kMaxDocumentHeadings)
            headings.append(std::move(heading));
    }
    /// Adds a line that begins a list item or a table cell; a line marked already keeps its first mark.
    void AddBlock(DocumentBlock block)
    {
        if (blocks.size() < kMaxDocumentBlocks && (blocks.isEmpty() || blocks.last().line < block.line))
            blocks.append(block);
    }
};

// Reads the body text of a document as the office suite's text interface hands it back:
// paragraphs in document order joined by one LF, with nothing added.
class IDocumentReader
{
public:
    virtual ~IDocumentReader() = default;

    using TextSink = std::function<void(QStringView piece)>;

    /// Hands the body text of the document at path to sink, piece by piece, in order, and
    /// fills facts, when given, with what the document says of itself. Throws RuntimeError
    /// when the document cannot be read; the sink may then have received part of the text.
    virtual void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) = 0;
};
