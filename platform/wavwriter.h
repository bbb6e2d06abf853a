#pragma once

#include <QtGlobal>

class QIODevice;

// Writes 16-bit PCM samples as a WAV file: a 44-byte RIFF header written first and
// completed with the sizes when the writer finishes. The device must be seekable.
class WavWriter
{
public:
    WavWriter(QIODevice &device, int sampleRate = 22050, int channels = 1);

    /// Writes the header with empty sizes; false when the device refuses.
    bool Begin();
    /// Appends samples; false when the device refuses.
    bool Write(const qint16 *samples, qint64 count);
    /// Fills in the sizes; false when the device refuses.
    bool Finish();

    qint64 SampleCount() const { return m_samples; }

private:
    QIODevice &m_device;
    int m_sampleRate;
    int m_channels;
    qint64 m_samples = 0;
};
