#pragma once

#include "readalong/cues.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// An EPUB 3 book whose media overlays highlight each sentence while the chapter's MP3
// speaks it, for people who follow the text with their eyes while they listen.

/// A heading, paragraph, list item or table cell of a chapter, with its sentences.
struct ReadAlongBlock
{
    enum class Kind { Heading, Paragraph, ListItem, TableCell };
    Kind kind = Kind::Paragraph;
    int level = 1; // of a heading: 1 to 6
    QString language; // BCP 47; empty: the book's
    bool rightToLeft = false;
    /// As the document has them; the times are where each is heard in the chapter's audio.
    QList<TimedSentence> sentences;
};

/// One chapter: its own XHTML document, media overlay and MP3.
struct ReadAlongChapter
{
    QString title;
    QString audioPath; // an MP3 file; empty: a chapter without audio
    qint64 durationMs = 0; // of the audio; clips beyond it are cut there (0: unknown)
    QList<ReadAlongBlock> blocks;
};

struct ReadAlongCover
{
    QByteArray bytes;
    QString mimeType; // image/jpeg, image/png or image/gif
};

struct ReadAlongBook
{
    QString title;
    QString author;
    QString language; // BCP 47, e.g. "en-GB"
    QString narrator; // the voice's name
    QList<ReadAlongChapter> chapters;
    std::optional<ReadAlongCover> cover;
    QDateTime modified; // invalid: the time of writing
};

struct ReadAlongResult
{
    bool ok = false;
    QString error; // in words for the user when not ok
    /// Not ok only because a book's own pages cannot take the overlays (error says why):
    /// nothing was written, and the book may be written from its text instead.
    bool unsuitable = false;
};

/// The class a reading system gives the sentence being heard, and the style that makes it
/// stand out.
inline constexpr char kReadAlongActiveClass[] = "-epub-media-overlay-active";
QByteArray ReadAlongStyleSheet();
/// Why the book cannot be written, in words (empty when it can): beyond ReadAlongLimits,
/// a cover of another type than it says, an audio file that cannot be read.
QString ReadAlongBookRefusal(const ReadAlongBook &book, const QString &path);
/// Appends to pars a <par> that shows textSrc (a page and a fragment) and, when audioSrc
/// is given and the sentence takes time, plays its clip of audioSrc, cut at durationMs
/// (0: the audio's length is not known); answers how many milliseconds it plays.
qint64 AppendPar(QByteArray &pars, const QString &textSrc, const QString &audioSrc, const TimedSentence &sentence,
                 qint64 durationMs);
/// A SMIL 3.0 media overlay of these <par>s.
QByteArray SmilOverlay(const QByteArray &pars);
/// A SMIL clock value: H:MM:SS.mmm.
QByteArray SmilClockValue(qint64 ms);

// What one book may hold; a larger one is refused before anything is written.
namespace ReadAlongLimits {
inline constexpr qsizetype kMaxChapters = 10'000;
inline constexpr qsizetype kMaxSentences = 500'000;
/// Of all the texts together (sentences and titles), in UTF-16 units.
inline constexpr qsizetype kMaxCharacters = 20'000'000;
inline constexpr qsizetype kMaxCoverBytes = 20 << 20;
} // namespace ReadAlongLimits

/// Writes book as an EPUB 3 at path, whole or not at all (libzip writes it beside path
/// and renames it there): one XHTML document per chapter with every sentence a span, a
/// SMIL media overlay per chapter that plays each sentence's clip of the chapter's MP3
/// (which is embedded), the navigation document from the chapters and their headings, and
/// a stylesheet that highlights the sentence being heard. The identifier is the same for
/// the same title, author and language. Refuses in words a book without title, chapters or
/// a well-formed language, one beyond ReadAlongLimits, an audio file it cannot read and a
/// cover of another type than it says.
ReadAlongResult WriteReadAlongEpub(const ReadAlongBook &book, const QString &path);
