#pragma once

#include <QtGlobal>

// How loud speech is, as EBU R 128 measures it (libebur128): the integrated loudness
// (ITU-R BS.1770, gated) in LUFS and the highest true peak in dBTP; both are -infinity
// for silence.
struct Loudness
{
    double integrated = 0;
    double truePeak = 0;
};

/// The loudness of 16-bit mono samples at this rate.
Loudness MeasureLoudness(const qint16 *samples, qint64 count, int sampleRate = 22050);
