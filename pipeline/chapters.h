#pragma once

#include "api/documentreader.h"
#include "pipeline/mp3frames.h"
#include "pipeline/cut.h"

#include <QList>
#include <QString>

#include <vector>

// Where a document's headings are heard in its MP3. The cut says where each heading's
// line went, each segment's speech where its lines begin, each segment's MP3 how long it
// plays; the join puts the segments' MP3s one after another, byte for byte.

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
    /// The silence before a segment's first sample as it is heard: the encoder's and
    /// decoder's delay of each MP3 (the default); 0 for audio that keeps no such delay.
    void SetDelay(qint64 samples) { m_delay = samples; }

    /// The chapters: one per heading, from where its heading is heard to where the next
    /// one is; what comes before the first heading is a chapter titled documentTitle.
    /// A document without headings has none.
    QList<Chapter> Chapters(const QString &documentTitle) const;
    /// How long the whole MP3 plays, in milliseconds.
    qint64 LengthMs() const;
    /// When the sample of segment number segment's speech is heard in the whole, in milliseconds.
    qint64 TimeMs(int segment, qint64 sample) const;

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
    qint64 m_delay = kEncoderDelaySamples;
};
