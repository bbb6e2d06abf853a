#pragma once

#include "api/documentreader.h"
#include "pipeline/speak.h"

#include <QList>
#include <QString>

#include <vector>

// Where a document's headings are heard in its MP3. The cut says where each heading's
// line went, each segment's speech where its lines begin, each segment's MP3 how long it
// plays; the join puts the segments' MP3s one after another, byte for byte.

/// The sample rate of every MP3 the encoder makes: 22 050 Hz mono, MPEG-2 layer III.
inline constexpr int kMp3SampleRate = 22050;
/// The silence before the first sample of a WAV file as a decoder plays its MP3: LAME's
/// delay (576 samples) and the decoder's (529); a join keeps each segment's.
inline constexpr qint64 kEncoderDelaySamples = 1105;

/// The length of the ID3v2 tag that bytes begin with (header, footer and all), or 0.
qint64 Id3v2TagLength(QByteArrayView bytes);

/// The samples an MPEG audio file plays, at kMp3SampleRate: its frames counted from their
/// headers, an ID3v2 tag at the start skipped; counting ends at the first bytes that are
/// no frame. Throws RuntimeError when the file cannot be read.
qint64 Mp3Samples(const QString &path);
/// The same for bytes held in memory.
qint64 Mp3SamplesOf(QByteArrayView bytes);

/// One chapter of an audiobook: its title and where it plays, in milliseconds.
struct Chapter
{
    QString title;
    qint64 startMs = 0;
    qint64 endMs = 0;
    bool operator==(const Chapter &) const = default;
};

class ChapterClock
{
public:
    ChapterClock() = default;
    /// The document's headings and where the cut put the line of each (one place each).
    ChapterClock(const QList<DocumentHeading> &headings, const QList<LinePlace> &places);

    /// The lines of the cut's input that begin chapters, ascending: the headings' lines.
    static QList<qint64> WatchedLines(const QList<DocumentHeading> &headings);

    /// Segment number segment (from 1) was spoken: where each of its lines begins to be
    /// heard, in samples of its WAV file.
    void Spoken(int segment, const QList<qint64> &lineStarts);
    /// Segment number segment's MP3 plays so many samples.
    void Encoded(int segment, qint64 samples);

    /// The chapters: one per heading, from where its heading is heard to where the next
    /// one is; what comes before the first heading is a chapter titled documentTitle.
    /// A document without headings has none.
    QList<Chapter> Chapters(const QString &documentTitle) const;
    /// How long the whole MP3 plays, in milliseconds.
    qint64 LengthMs() const;

private:
    struct Mark
    {
        QString title;
        qint64 line = 0;
        LinePlace place;
        qint64 sample = -1; // in its segment's WAV file; -1: not spoken yet
    };
    std::vector<Mark> m_marks;
    std::vector<qint64> m_segmentSamples;
};
