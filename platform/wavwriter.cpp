#include "platform/wavwriter.h"

#include <QByteArray>
#include <QIODevice>
#include <QtEndian>

namespace {

void PutU32(char *at, quint32 value)
{
    qToLittleEndian(value, at);
}

void PutU16(char *at, quint16 value)
{
    qToLittleEndian(value, at);
}

QByteArray Header(int sampleRate, int channels, quint32 dataBytes)
{
    QByteArray h(44, '\0');
    char *p = h.data();
    memcpy(p, "RIFF", 4);
    PutU32(p + 4, 36 + dataBytes);
    memcpy(p + 8, "WAVEfmt ", 8);
    PutU32(p + 16, 16);                 // fmt chunk size
    PutU16(p + 20, 1);                  // PCM
    PutU16(p + 22, static_cast<quint16>(channels));
    PutU32(p + 24, static_cast<quint32>(sampleRate));
    PutU32(p + 28, static_cast<quint32>(sampleRate * channels * 2)); // bytes per second
    PutU16(p + 32, static_cast<quint16>(channels * 2));             // block align
    PutU16(p + 34, 16);                                             // bits per sample
    memcpy(p + 36, "data", 4);
    PutU32(p + 40, dataBytes);
    return h;
}

} // namespace

WavWriter::WavWriter(QIODevice &device, int sampleRate, int channels)
    : m_device(device)
    , m_sampleRate(sampleRate)
    , m_channels(channels)
{
}

bool WavWriter::Begin()
{
    m_samples = 0;
    return m_device.write(Header(m_sampleRate, m_channels, 0)) == 44;
}

bool WavWriter::Write(const qint16 *samples, qint64 count)
{
    if (count <= 0)
        return true;
    QByteArray bytes(static_cast<qsizetype>(count * 2), Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i)
        qToLittleEndian(samples[i], bytes.data() + 2 * i);
    m_samples += count;
    return m_device.write(bytes) == bytes.size();
}

bool WavWriter::Finish()
{
    const qint64 dataBytes = std::min<qint64>(m_samples * 2, 0xFFFFFFFFLL - 36);
    if (!m_device.seek(0))
        return false;
    const bool ok = m_device.write(Header(m_sampleRate, m_channels, static_cast<quint32>(dataBytes))) == 44;
    m_device.seek(m_device.size());
    return ok;
}
