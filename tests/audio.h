#pragma once

#include <QByteArray>
#include <QString>

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
/// The number of MPEG audio frames in the file, walking frame headers from the start;
/// -1 when the walk meets something that is not a frame.
int Mp3FrameCount(const QString &path, int *samplesPerFrame = nullptr, int *sampleRate = nullptr);
