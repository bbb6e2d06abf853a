#include "engines/linestarts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

LineStartTracker::LineStartTracker(const QByteArray &text, double level, int sampleRate)
    // 0.5 % of full scale as heard at volume 100: below the breath of an "h" at the slowest
    // rate; and always above the noise of Flite's pauses (60 at most).
    : m_threshold(std::max(61, static_cast<int>(std::lround(164 / std::max(level, 0.01)))))
    // The pause that opens an utterance lasts up to about half a second at the slowest rate.
    , m_lookahead(sampleRate * 2)
{
    m_lineOffsets.push_back(0);
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\n')
            m_lineOffsets.push_back(i + 1);
    }
}

void LineStartTracker::Reached(qint64 offset, qint64 sample)
{
    const auto after = std::upper_bound(m_lineOffsets.begin(), m_lineOffsets.end(), offset);
    const qsizetype line = std::distance(m_lineOffsets.begin(), after) - 1;
    if (line < m_pendingTo || line < m_starts.size())
        return; // within a line already reached
    if (m_pendingTo > m_starts.size())
        Resolve(m_pendingSample);
    m_pendingTo = line + 1;
    m_pendingSample = std::max(sample, qint64(0));
}

void LineStartTracker::Heard(const qint16 *samples, qint64 count)
{
    if (m_pendingTo > m_starts.size()) {
        for (qint64 i = std::max<qint64>(0, m_pendingSample - m_position); i < count; ++i) {
            if (m_position + i >= m_pendingSample + m_lookahead) {
                Resolve(m_pendingSample);
                break;
            }
            if (std::abs(int(samples[i])) > m_threshold) {
                Resolve(m_position + i);
                break;
            }
        }
    }
    m_position += count;
}

void LineStartTracker::Resolve(qint64 sample)
{
    while (m_starts.size() < m_pendingTo)
        m_starts.append(sample);
}

QList<qint64> LineStartTracker::Starts(double scale)
{
    if (m_pendingTo > m_starts.size())
        Resolve(std::min(m_pendingSample, m_position));
    m_pendingTo = static_cast<qsizetype>(m_lineOffsets.size());
    Resolve(m_position);
    QList<qint64> starts;
    starts.reserve(m_starts.size());
    for (const qint64 sample : std::as_const(m_starts))
        starts.append(static_cast<qint64>(std::llround(static_cast<double>(sample) * scale)));
    return starts;
}
