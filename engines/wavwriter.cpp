#include "engines/wavwriter.h"

#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

// A file descriptor as a seekable device that keeps the errno value of a failed write.
class DescriptorDevice final : public QIODevice
{
public:
    explicit DescriptorDevice(FileSystem::File file)
        : m_file(std::move(file))
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override
    {
        struct stat st;
        return ::fstat(m_file.Descriptor(), &st) == 0 ? st.st_size : 0;
    }
    int LastError() const { return m_error; }
    int CloseFile()
    {
        close();
        return m_file.Close();
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        qint64 done = 0;
        while (done < length) {
            const ssize_t n = ::pwrite(m_file.Descriptor(), data + done, static_cast<size_t>(length - done),
                                       pos() + done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                m_error = errno;
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    FileSystem::File m_file;
    int m_error = 0;
};

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

WavFileStream::WavFileStream() = default;

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

bool WavFileStream::IsOpen() const
{
    return m_device != nullptr;
}

void WavFileStream::Open(const QString &path)
{
    Close();
    auto created = FileSystem::CreateFresh(path, 0600);
    if (!created)
        throw FileSystemError(created.Error(), path);
    m_path = path;
    // Every write goes straight to the file: a full disk shows at the write that meets it.
    m_device = std::make_unique<DescriptorDevice>(std::move(*created));
    m_writer = std::make_unique<WavWriter>(*m_device);
    if (!m_writer->Begin())
        throw RuntimeError(WriteFailure(), ErrorNumber::DiskFull);
}

void WavFileStream::Close()
{
    if (!m_device)
        return;
    bool finished = m_writer->Finish();
    QString failure = finished ? QString() : WriteFailure();
    m_writer.reset();
    if (const int error = m_device->CloseFile(); error != 0 && finished) {
        finished = false;
        failure = u"The speech could not be saved to "_s + m_path + u" ("_s
                  + QString::fromLocal8Bit(std::strerror(error)) + u')';
    }
    m_device.reset();
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
        return u"The speech is too long for one WAV file: "_s + m_path;
    const int error = m_device ? m_device->LastError() : 0;
    return u"The speech could not be saved to "_s + m_path + u" ("_s
           + (error ? QString::fromLocal8Bit(std::strerror(error)) : u"write error"_s) + u')';
}
