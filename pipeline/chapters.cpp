#include "pipeline/chapters.h"

#include "common/runtimeerror.h"

#include <QFile>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

qint64 Milliseconds(qint64 samples)
{
    return (samples * 1000 + kMp3SampleRate / 2) / kMp3SampleRate;
}

} // namespace

qint64 Id3v2TagLength(QByteArrayView bytes)
{
    if (bytes.size() < 10 || !bytes.startsWith("ID3"))
        return 0;
    const auto b = [&bytes](int i) { return static_cast<unsigned char>(bytes[i]); };
    if ((b(6) | b(7) | b(8) | b(9)) & 0x80)
        return 0;
    const qint64 size = (qint64(b(6)) << 21) | (qint64(b(7)) << 14) | (qint64(b(8)) << 7) | b(9);
    return 10 + size + ((b(5) & 0x10) ? 10 : 0); // a footer follows when the flag says so
}

qint64 Mp3SamplesOf(QByteArrayView bytes)
{
    // Bit rates (kbit/s) of layer III by MPEG version: 1, and 2 or 2.5.
    static constexpr int kRates[2][16] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
                                          {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
    static constexpr int kSampleRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}}; // by version bits
    qint64 samples = 0; // at kMp3SampleRate
    qint64 at = Id3v2TagLength(bytes);
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    while (at + 4 <= bytes.size()) {
        const unsigned header = (unsigned(data[at]) << 24) | (unsigned(data[at + 1]) << 16)
                                | (unsigned(data[at + 2]) << 8) | data[at + 3];
        const unsigned version = (header >> 19) & 3; // 0: 2.5, 2: 2, 3: 1
        const unsigned rateIndex = (header >> 12) & 15;
        const unsigned sampleRateIndex = (header >> 10) & 3;
        if ((header >> 21) != 0x7ff || version == 1 || ((header >> 17) & 3) != 1 || sampleRateIndex == 3)
            break; // not a layer III frame
        const bool mpeg1 = version == 3;
        const int bitRate = kRates[mpeg1 ? 0 : 1][rateIndex] * 1000;
        const int sampleRate = kSampleRates[version][sampleRateIndex];
        if (bitRate == 0)
            break; // free format or a bad index: no length to go by
        const int frameSamples = mpeg1 ? 1152 : 576;
        const qint64 length = qint64(frameSamples / 8) * bitRate / sampleRate + ((header >> 9) & 1);
        samples += qint64(frameSamples) * kMp3SampleRate / sampleRate;
        at += length;
    }
    return samples;
}

qint64 Mp3Samples(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(u"The MP3 file cannot be read: "_s + path + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    if (file.size() == 0)
        return 0;
    if (const uchar *mapped = file.map(0, file.size()))
        return Mp3SamplesOf(QByteArrayView(mapped, file.size()));
    return Mp3SamplesOf(file.readAll());
}

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
        sample += mark.sample >= 0 ? kEncoderDelaySamples + mark.sample : 0;
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
