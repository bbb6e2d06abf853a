#include "platform/wavwriter.h"

#include "common/runtimeerror.h"
#include "platform/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kBufferBytes = 64 * 1024;
// The sizes of a WAV header are 32-bit: the data may hold this much at most.
constexpr qint64 kMaxDataBytes = 0xFFFFFFFFLL - 36;

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
    m_tooLong = false;
    m_buffer.clear();
    return m_device.write(Header(m_sampleRate, m_channels, 0)) == 44;
}

bool WavWriter::Write(const qint16 *samples, qint64 count)
{
    if (count <= 0)
        return true;
    if ((m_samples + count) * 2 > kMaxDataBytes) {
        m_tooLong = true;
        return false;
    }
    const qsizetype at = m_buffer.size();
    m_buffer.resize(at + static_cast<qsizetype>(count * 2));
    for (qint64 i = 0; i < count; ++i)
        qToLittleEndian(samples[i], m_buffer.data() + at + 2 * i);
    m_samples += count;
    return m_buffer.size() < kBufferBytes || Flush();
}

bool WavWriter::Flush()
{
    const QByteArray bytes = std::exchange(m_buffer, {});
    return bytes.isEmpty() || m_device.write(bytes) == bytes.size();
}

bool WavWriter::Finish()
{
    if (!Flush())
        return false;
    const qint64 dataBytes = std::min<qint64>(m_samples * 2, kMaxDataBytes);
    if (!m_device.seek(0))
        return false;
    const bool ok = m_device.write(Header(m_sampleRate, m_channels, static_cast<quint32>(dataBytes))) == 44;
    m_device.seek(m_device.size());
    return ok;
}

WavFileStream::~WavFileStream()
{
    try {
        Close();
    } catch (const RuntimeError &) {
    }
}

void WavFileStream::SetFormat(const AudioFormat &format)
{
    if (format.sampleRate != 22050 || format.bitsPerSample != 16 || format.channels != 1)
        throw RuntimeError(u"Invalid procedure call or argument: only 22 050 Hz 16-bit mono is supported"_s,
                           ErrorNumber::InvalidProcedureCall);
}

void WavFileStream::Open(const QString &path)
{
    Close();
    auto created = FileSystem::CreateFresh(path, 0600);
    if (!created)
        throw FileSystemError(created.Error(), path);
    m_file.setFileName(path);
    // Unbuffered: a full disk shows at the write that meets it, not later.
    if (!m_file.open(created->Release(), QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        throw RuntimeError(u"Path/File access error: "_s + path + u" ("_s + m_file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    m_writer = std::make_unique<WavWriter>(m_file);
    if (!m_writer->Begin())
        throw RuntimeError(WriteFailure(), ErrorNumber::DiskFull);
}

void WavFileStream::Close()
{
    if (!m_file.isOpen())
        return;
    const bool finished = m_writer->Finish();
    const QString failure = finished ? QString() : WriteFailure();
    m_writer.reset();
    m_file.close();
    if (!finished)
        throw RuntimeError(failure, ErrorNumber::DiskFull);
}

bool WavFileStream::Write(const qint16 *samples, qint64 count)
{
    return m_writer && m_writer->Write(samples, count);
}

QString WavFileStream::WriteFailure() const
{
    if (m_writer && m_writer->TooLong())
        return u"The speech is too long for one WAV file: "_s + m_file.fileName();
    return u"The speech could not be saved to "_s + m_file.fileName() + u" ("_s + m_file.errorString() + u')';
}
