#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <vector>

// The frames of the MP3 files the encoder makes: how long they play, and whether a file
// holds them to its end.

/// The sample rate of every MP3 the encoder makes: 22 050 Hz mono, MPEG-2 layer III.
inline constexpr int kMp3SampleRate = 22050;
/// The samples of each frame of the encoder's MP3s (MPEG-2 layer III).
inline constexpr qint64 kMp3FrameSamples = 576;
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
/// Where each frame of the MP3 in bytes begins (after an ID3v2 tag), and last where the
/// frames end; each of the encoder's frames plays kMp3FrameSamples.
std::vector<qint64> Mp3FrameOffsets(QByteArrayView bytes);
/// True when the bytes are a whole MP3: frames from the first (after an ID3v2 tag) to the
/// last byte (or an ID3v1 tag), the last one complete. An empty or cut file is not.
bool Mp3PlaysToItsEnd(QByteArrayView bytes);
/// The same for a file; false when it cannot be read.
bool Mp3FilePlaysToItsEnd(const QString &path);
