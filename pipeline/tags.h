#pragma once

#include "pipeline/chapters.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct DocumentFacts;

// What a listener's player shows of an audiobook: its tags and chapters, written with
// TagLib as an ID3v2.3 tag (texts in UTF-16) into the MP3, from which ffmpeg takes them
// for an M4B. Every text is one line of at most kMaxTagCharacters; a field left empty is not
// written.

/// The most characters a title, a name or a chapter's title keeps; a longer one ends in "…".
inline constexpr qsizetype kMaxTagCharacters = 255;

struct AudiobookTags
{
    QString title;
    QString artist;
    QString album;
    int track = 0; // from 1; 0: none
    int trackCount = 0;
    QString genre;
    QString language; // ISO 639-2 ("eng")
    QString comment;
    QList<Chapter> chapters;
    /// The front cover (a picture CheckCover accepts) and its type; none when empty.
    QByteArray cover;
    QString coverType;

    bool IsEmpty() const;
};

/// The tags of a document's audiobook: its title (the file name without extension when it
/// names none), its author, its folder's name as the album, the track of trackCount, the
/// genre "Speech", the voice's language and a comment that names the voice.
AudiobookTags TagsFor(const QString &documentPath, const DocumentFacts &facts, int track, int trackCount,
                      const QString &voiceDescription, const QString &voiceLanguage);

/// A text as a tag holds it: control characters and runs of white space become one blank
/// (none at either end), characters that are no text are dropped, and beyond
/// kMaxTagCharacters it is cut at a word's end and ends in "…".
QString TagText(const QString &text);

/// The ISO 639-2 code (bibliographic) of a language tag such as "en-gb": "eng"; "" when unknown.
QString Iso639Part2(const QString &languageTag);

/// Writes the tags as an ID3v2.3 tag at the start of the MP3 at path (one it holds is
/// replaced): the tagged file is made beside it and takes its place only when complete,
/// so a tag that cannot be written leaves the MP3 as it was, and throws RuntimeError with
/// the cause.
/// Chapters are CHAP frames under one ordered top-level CTOC (beyond 255 chapters, it lists
/// tables of 255 each). Empty tags write nothing.
void WriteMp3Tags(const QString &path, const AudiobookTags &tags);

/// What the user reads of tags that could not be written to the MP3 for outputPath.
QString TagFailure(const QString &outputPath, const QString &cause);

