#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// Where speech samples go, in order: a WAV file, memory, or a stage that passes them on.
class ISampleSink
{
public:
    virtual ~ISampleSink() = default;
    /// Takes the next samples; false when they cannot be kept (WriteFailure() says why).
    virtual bool Write(const qint16 *samples, qint64 count) = 0;
    /// Why the last write failed, in words for the user.
    virtual QString WriteFailure() const = 0;
};

// Samples kept in memory.
class MemorySink final : public ISampleSink
{
public:
    bool Write(const qint16 *samples, qint64 count) override
    {
        if (count > 0)
            m_samples.insert(m_samples.end(), samples, samples + count);
        return true;
    }
    QString WriteFailure() const override { return QString(); }

    const std::vector<qint16> &Samples() const { return m_samples; }

private:
    std::vector<qint16> m_samples;
};
