#pragma once

#include "api/speech.h"
#include "audio/samplesink.h"

#include <QtGlobal>

#include <memory>

class QIODevice;

// Writes 16-bit PCM samples as a WAV file: a 44-byte RIFF header written first and
// completed with the sizes when the writer finishes. The device must be seekable. A WAV
// file cannot hold more than 4 GiB of samples: a write beyond that is refused.
class WavWriter
{
public:
    WavWriter(QIODevice &device, int sampleRate = 22050, int channels = 1);

    /// Writes the header with empty sizes; false when the device refuses.
    bool Begin();
    /// Appends samples; false when the device refuses them or the file would grow too large.
    bool Write(const qint16 *samples, qint64 count);
    /// Writes what is kept and fills in the sizes; false when the device refuses.
    bool Finish();

    qint64 SampleCount() const { return m_samples; }
    /// True when a write was refused because the file would outgrow what a WAV can hold.
    bool TooLong() const { return m_tooLong; }

private:
    bool Flush();

    QIODevice &m_device;
    int m_sampleRate;
    int m_channels;
    qint64 m_samples = 0;
    bool m_tooLong = false;
    QByteArray m_buffer;
};

// A WAV file that receives speech, created afresh (never through a link) and readable by
// the user alone. Every engine speaks into it.
class WavFileStream final : public IAudioFileStream, public ISampleSink
{
public:
    WavFileStream();
    ~WavFileStream() override;

    void SetFormat(const AudioFormat &format) override;
    void Open(const QString &path) override;
    void Close() override;

    bool IsOpen() const;
    /// Appends samples; false when they cannot be written (see WriteFailure()).
    bool Write(const qint16 *samples, qint64 count) override;
    QString WriteFailure() const override;

private:
    QString m_path;
    std::unique_ptr<class DescriptorDevice> m_device;
    std::unique_ptr<WavWriter> m_writer;
};
