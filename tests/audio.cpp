#include "tests/audio.h"

#include "pipeline/chapters.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>

WavInfo ReadWav(const QString &path)
{
    WavInfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return info;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return info;
    qsizetype at = 12;
    QByteArray data;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            info.channels = qFromLittleEndian<quint16>(bytes.constData() + body + 2);
            info.sampleRate = static_cast<int>(qFromLittleEndian<quint32>(bytes.constData() + body + 4));
            info.bitsPerSample = qFromLittleEndian<quint16>(bytes.constData() + body + 14);
        } else if (id == "data") {
            // A decoder writing to a pipe may leave the size open; take what is there.
            const qsizetype length = size == 0 || body + size > bytes.size() ? bytes.size() - body : size;
            data = bytes.mid(body, length);
            break;
        }
        at = body + size + (size & 1);
    }
    if (info.bitsPerSample != 16 || info.channels < 1 || info.sampleRate <= 0)
        return info;
    info.valid = true;
    info.samples = data.size() / 2 / info.channels;
    info.seconds = static_cast<double>(info.samples) / info.sampleRate;
    double sum = 0;
    const qsizetype count = data.size() / 2;
    for (qsizetype i = 0; i < count; ++i) {
        const double s = qFromLittleEndian<qint16>(data.constData() + 2 * i);
        sum += s * s;
    }
    info.rms = count > 0 ? std::sqrt(sum / count) : 0;

    int peak = 0;
    for (qsizetype i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(data.constData() + 2 * i))));
    const qsizetype frame = std::max(1, info.sampleRate / 200);
    QList<bool> loud;
    for (qsizetype start = 0; start < count; start += frame) {
        int top = 0;
        for (qsizetype i = start; i < std::min(count, start + frame); ++i)
            top = std::max(top, std::abs(int(qFromLittleEndian<qint16>(data.constData() + 2 * i))));
        loud.append(top > peak / 50);
    }
    const qsizetype first = loud.indexOf(true);
    const qsizetype last = loud.lastIndexOf(true);
    qsizetype run = 0;
    qsizetype longest = 0;
    for (qsizetype f = first; first >= 0 && f <= last; ++f) {
        run = loud[f] ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    info.longestInnerPause = static_cast<double>(longest * frame) / info.sampleRate;
    return info;
}

WavInfo DecodeMp3(const QString &mp3Path)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("decoded.wav"));
    QProcess lame;
    lame.start(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("--decode"), mp3Path, wav});
    if (!lame.waitForFinished(120000) || lame.exitStatus() != QProcess::NormalExit || lame.exitCode() != 0)
        return {};
    return ReadWav(wav);
}

int Mp3FrameCount(const QString &path, int *samplesPerFrame, int *sampleRate)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray b = file.readAll();
    static const int kBitrates[2][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}, // MPEG-1 layer III
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},     // MPEG-2/2.5 layer III
    };
    static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    int frames = 0;
    qsizetype at = Id3v2TagLength(b);
    while (at + 4 <= b.size()) {
        const auto h = [&](int i) { return static_cast<unsigned char>(b[at + i]); };
        if (h(0) != 0xFF || (h(1) & 0xE0) != 0xE0)
            return -1;
        const int version = (h(1) >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        const int layer = (h(1) >> 1) & 3;    // 1: layer III
        const int bitrateIndex = h(2) >> 4;
        const int rateIndex = (h(2) >> 2) & 3;
        const int padding = (h(2) >> 1) & 1;
        if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
            return -1;
        const bool mpeg1 = version == 3;
        const int rate = kRates[mpeg1 ? 0 : (version == 2 ? 1 : 2)][rateIndex];
        const int bitrate = kBitrates[mpeg1 ? 0 : 1][bitrateIndex] * 1000;
        const int spf = mpeg1 ? 1152 : 576;
        const qsizetype length = (spf / 8) * bitrate / rate + padding;
        if (samplesPerFrame)
            *samplesPerFrame = spf;
        if (sampleRate)
            *sampleRate = rate;
        ++frames;
        at += length;
    }
    return at == b.size() ? frames : -1;
}

std::vector<qint16> DecodeWithFfmpeg(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                                            QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ac"),
                                            QStringLiteral("1"), QStringLiteral("-ar"), QStringLiteral("22050"),
                                            QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0)
        return {};
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    std::vector<qint16> samples(static_cast<size_t>(bytes.size() / 2));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(bytes.constData() + 2 * i);
    return samples;
}

QList<double> SoundAfterSilence(const std::vector<qint16> &samples, int sampleRate, double minimumSilence)
{
    QList<double> onsets;
    qint64 quiet = 0;
    const qint64 needed = static_cast<qint64>(minimumSilence * sampleRate);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) <= 164) {
            ++quiet;
            continue;
        }
        if (quiet >= needed)
            onsets.append(static_cast<double>(i) / sampleRate);
        quiet = 0;
    }
    return onsets;
}

Probed Ffprobe(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_chapters"),
                                              QStringLiteral("-show_format"), QStringLiteral("-show_streams"), QStringLiteral("-of"), QStringLiteral("json"), path});
    Probed probed;
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0)
        return probed;
    const QJsonObject json = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    const QJsonObject format = json.value(QStringLiteral("format")).toObject();
    probed.valid = !format.isEmpty();
    probed.format = format.value(QStringLiteral("format_name")).toString();
    probed.seconds = format.value(QStringLiteral("duration")).toString().toDouble();
    const QJsonObject tags = format.value(QStringLiteral("tags")).toObject();
    for (auto it = tags.begin(); it != tags.end(); ++it)
        probed.tags.insert(it.key().toLower(), it.value().toString());
    // Ogg keeps its comments with the stream.
    const bool fromStream = tags.isEmpty();
    for (const QJsonValue stream : json.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject s = stream.toObject();
        const QJsonObject streamTags = s.value(QStringLiteral("tags")).toObject();
        for (auto it = streamTags.begin(); fromStream && it != streamTags.end(); ++it) {
            if (!probed.tags.contains(it.key().toLower()))
                probed.tags.insert(it.key().toLower(), it.value().toString());
        }
        if (s.value(QStringLiteral("disposition")).toObject().value(QStringLiteral("attached_pic")).toInt() == 1)
            ++probed.pictures;
    }
    for (const QJsonValue chapter : json.value(QStringLiteral("chapters")).toArray()) {
        const QJsonObject c = chapter.toObject();
        probed.chapters.append({c.value(QStringLiteral("start_time")).toString().toDouble(),
                                c.value(QStringLiteral("end_time")).toString().toDouble(),
                                c.value(QStringLiteral("tags")).toObject().value(QStringLiteral("title")).toString()});
    }
    return probed;
}
