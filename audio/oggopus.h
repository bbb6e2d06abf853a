#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What a player shows of a spoken document.
struct AudioTags
{
    QString title;
    QString artist;
    QString album;
    int track = 0; // its place among trackCount, from 1; 0: none
    int trackCount = 0;
    QString genre;
    QString language; // ISO 639-2 ("eng")
    QString comment;
};

// A stretch of the speech that a player can go to, in milliseconds from the start.
struct AudioChapter
{
    QString title;
    qint64 startMs = 0;
    qint64 endMs = 0;
};

// A front-cover picture, as CheckCover accepts it.
struct CoverPicture
{
    QByteArray bytes;
    QString mimeType;
};

/// The chapters an Ogg Opus file can name: CHAPTER001 to CHAPTER999.
inline constexpr int kMaxOpusChapters = 999;

/// Encodes the WAV files (22 050 Hz 16-bit mono, as the engines write them), one after the
/// other, into one Ogg Opus file at path: mono speech at 24 kbit/s. The tags are Vorbis
/// comments (TITLE, ARTIST, ALBUM, TRACKNUMBER and TRACKTOTAL, GENRE, LANGUAGE, COMMENT;
/// empty ones left out), the chapters CHAPTERnnn=HH:MM:SS.mmm and CHAPTERnnnNAME comments
/// (the first kMaxOpusChapters; each ends where the next begins), the cover a front-cover
/// picture. The file is created afresh (0666 less the umask) and removed again when anything
/// fails. Returns "" or why it failed, in words for the user.
QString WriteOggOpus(const QString &path, const QStringList &wavPaths, const AudioTags &tags,
                     const QList<AudioChapter> &chapters, const std::optional<CoverPicture> &cover = std::nullopt);
