#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <vector>

// Reading audio files in tests.
struct WavInfo
{
    bool valid = false;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int channels = 0;
    qint64 samples = 0;
    double seconds = 0;
    double rms = 0; // of the 16-bit samples, 0 to 32768
    /// The longest stretch between the first and the last sound that stays below 2 % of the
    /// peak, in seconds (5 ms steps): the longest pause inside the speech.
    double longestInnerPause = 0;
};

/// The format, length and loudness of a PCM WAV file.
WavInfo ReadWav(const QString &path);
/// Decodes an MP3 with the LAME decoder; an invalid WavInfo when it does not decode.
WavInfo DecodeMp3(const QString &mp3Path);
/// The number of MPEG audio frames in the file, walking frame headers from the start (after
/// an ID3v2 tag); -1 when the walk meets something that is not a frame.
int Mp3FrameCount(const QString &path, int *samplesPerFrame = nullptr, int *sampleRate = nullptr);
/// The samples of any audio file as ffmpeg decodes it (what a listener's player hears),
/// 22 050 Hz mono; empty when it does not decode.
std::vector<qint16> DecodeWithFfmpeg(const QString &path);
/// Where sound (beyond 0.5 % of full scale) begins after at least minimumSilence seconds
/// without, in seconds: the end of each pause.
QList<double> SoundAfterSilence(const std::vector<qint16> &samples, int sampleRate, double minimumSilence);

// What ffprobe shows of a file: its container, length, tags (names in lower case) and chapters.
struct Probed
{
    struct Chapter
    {
        double start = 0;
        double end = 0;
        QString title;
    };
    bool valid = false;
    QString format;
    double seconds = 0;
    QMap<QString, QString> tags; // the container's, or its streams' where it has none (Ogg)
    QList<Chapter> chapters;
    int pictures = 0; // attached pictures (covers)
};
Probed Ffprobe(const QString &path);
