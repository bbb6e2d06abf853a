#include "pipeline/mp3frames.h"

#include "common/runtimeerror.h"

#include <QFile>

using namespace Qt::StringLiterals;

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

namespace {

struct FrameWalk
{
    qint64 samples = 0; // at kMp3SampleRate
    qint64 end = 0;     // where the walk stopped: the end of the last frame, or the first byte that is none
    qint64 frames = 0;
};

FrameWalk WalkFrames(QByteArrayView bytes, std::vector<qint64> *offsets = nullptr)
{
    // Bit rates (kbit/s) of layer III by MPEG version: 1, and 2 or 2.5.
    static constexpr int kRates[2][16] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
                                          {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
    static constexpr int kSampleRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}}; // by version bits
    FrameWalk walk;
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
        if (offsets)
            offsets->push_back(at);
        walk.samples += qint64(frameSamples) * kMp3SampleRate / sampleRate;
        ++walk.frames;
        at += length;
    }
    walk.end = at;
    return walk;
}

// The file's bytes, mapped where the system can; empty for an empty file.
QByteArray MappedOrRead(QFile &file, QByteArrayView *view)
{
    if (file.size() == 0)
        return QByteArray();
    if (const uchar *mapped = file.map(0, file.size())) {
        *view = QByteArrayView(mapped, file.size());
        return QByteArray();
    }
    QByteArray bytes = file.readAll();
    *view = bytes;
    return bytes;
}

} // namespace

qint64 Mp3SamplesOf(QByteArrayView bytes)
{
    return WalkFrames(bytes).samples;
}

std::vector<qint64> Mp3FrameOffsets(QByteArrayView bytes)
{
    std::vector<qint64> offsets;
    const qint64 end = WalkFrames(bytes, &offsets).end;
    offsets.push_back(end);
    return offsets;
}

bool Mp3PlaysToItsEnd(QByteArrayView bytes)
{
    const FrameWalk walk = WalkFrames(bytes);
    const bool id3v1 = bytes.size() - walk.end == 128 && bytes.sliced(walk.end).startsWith("TAG");
    return walk.frames > 0 && (walk.end == bytes.size() || id3v1);
}

qint64 Mp3Samples(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(u"The MP3 file cannot be read: "_s + path + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    QByteArrayView view;
    const QByteArray held = MappedOrRead(file, &view);
    return Mp3SamplesOf(view);
}

bool Mp3FilePlaysToItsEnd(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArrayView view;
    const QByteArray held = MappedOrRead(file, &view);
    return Mp3PlaysToItsEnd(view);
}

