#include "pipeline/chapters.h"

#include "common/runtimeerror.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

qint64 Milliseconds(qint64 samples)
{
    return (samples * 1000 + kMp3SampleRate / 2) / kMp3SampleRate;
}

} // namespace

ChapterClock::ChapterClock(const QList<DocumentHeading> &headings, const QList<LinePlace> &places)
{
    // The places are in the order of the lines watched: ascending.
    QList<DocumentHeading> inOrder = headings;
    std::stable_sort(inOrder.begin(), inOrder.end(),
                     [](const DocumentHeading &a, const DocumentHeading &b) { return a.line < b.line; });
    m_marks.reserve(static_cast<size_t>(inOrder.size()));
    for (qsizetype k = 0; k < inOrder.size(); ++k)
        m_marks.push_back({inOrder[k].title, inOrder[k].line, places.value(k, places.value(places.size() - 1)), -1});
}

QList<qint64> ChapterClock::WatchedLines(const QList<DocumentHeading> &headings)
{
    QList<qint64> lines;
    lines.reserve(headings.size());
    for (const DocumentHeading &heading : headings)
        lines.append(heading.line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

void ChapterClock::Spoken(int segment, const QList<qint64> &lineStarts)
{
    auto first = std::lower_bound(m_marks.begin(), m_marks.end(), segment,
                                  [](const Mark &mark, int s) { return mark.place.segment < s; });
    for (auto it = first; it != m_marks.end() && it->place.segment == segment; ++it) {
        // A line the speech does not reach begins at its end.
        it->sample = it->place.line < lineStarts.size() ? lineStarts[it->place.line]
                     : lineStarts.isEmpty()             ? 0
                                                        : lineStarts.last();
    }
}

void ChapterClock::Encoded(int segment, qint64 samples)
{
    if (segment < 1)
        return;
    if (m_segmentSamples.size() < static_cast<size_t>(segment))
        m_segmentSamples.resize(static_cast<size_t>(segment), 0);
    m_segmentSamples[static_cast<size_t>(segment - 1)] = samples;
}

qint64 ChapterClock::LengthMs() const
{
    qint64 total = 0;
    for (const qint64 samples : m_segmentSamples)
        total += samples;
    return Milliseconds(total);
}

qint64 ChapterClock::TimeMs(int segment, qint64 sample) const
{
    qint64 before = 0;
    for (size_t s = 0; s + 1 < static_cast<size_t>(std::max(segment, 1)) && s < m_segmentSamples.size(); ++s)
        before += m_segmentSamples[s];
    return Milliseconds(before + m_delay + sample);
}

QList<Chapter> ChapterClock::Chapters(const QString &documentTitle) const
{
    QList<Chapter> chapters;
    if (m_marks.empty())
        return chapters;
    std::vector<qint64> before(m_segmentSamples.size() + 1, 0); // samples of the segments before each
    for (size_t s = 0; s < m_segmentSamples.size(); ++s)
        before[s + 1] = before[s] + m_segmentSamples[s];
    const qint64 total = before.back();
    qint64 last = 0;
    for (const Mark &mark : m_marks) {
        const size_t s = static_cast<size_t>(std::max(mark.place.segment, 1) - 1);
        qint64 sample = s < before.size() ? before[s] : total;
        sample += mark.sample >= 0 ? m_delay + mark.sample : 0;
        sample = std::clamp(sample, last, total); // in order, within the MP3
        last = sample;
        chapters.append({mark.title, Milliseconds(sample), 0});
    }
    // What comes before the first heading plays as the document's own chapter; with
    // nothing before it, the first chapter begins the MP3.
    if (m_marks.front().line > 0)
        chapters.prepend({documentTitle, 0, 0});
    chapters.front().startMs = 0;
    for (qsizetype k = 0; k < chapters.size(); ++k)
        chapters[k].endMs = k + 1 < chapters.size() ? chapters[k + 1].startMs : Milliseconds(total);
    return chapters;
}
