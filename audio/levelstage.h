#pragma once

#include "audio/samplesink.h"

#include <memory>
#include <optional>
#include <vector>

/// The loudness of every voice at volume 100, in LUFS (EBU R 128, integrated).
inline constexpr double kTargetLoudness = -19.0;
/// The highest true peak the stage lets through, in dBTP: 1.5 dB below the -1 dBTP that an
/// encoded file must keep, for the encoder's own overshoot (up to 0.9 dB measured with lame -h).
inline constexpr double kPeakCeiling = -2.5;

// One gain for a whole stream of speech, a true-peak limiter after it, so that no sample
// and no peak between samples goes above kPeakCeiling (peaks found at four times the rate,
// 5 ms ahead; the gain goes down smoothly before a peak and comes back over about 100 ms),
// and the volume last, so that a lower volume is that much quieter and no louder anywhere.
// The look-ahead's delay is taken back: the n-th sample in is the n-th out, as many out as
// in. Deterministic: the same samples in give the same samples out, whatever any stage did
// before.
class LevelStage final : public ISampleSink
{
public:
    /// Passes the samples on to next, raised by levelDb (at most ±30 dB), limited, then at volume (0 to 100):
    /// 20·log10(volume / 100) dB less, and silence at 0.
    LevelStage(ISampleSink &next, double levelDb, int volume = 100, int sampleRate = 22050);
    ~LevelStage() override;
    LevelStage(const LevelStage &) = delete;
    LevelStage &operator=(const LevelStage &) = delete;

    bool Write(const qint16 *samples, qint64 count) override;
    QString WriteFailure() const override;
    /// Passes on the samples held for the look-ahead, once, at the end of the stream; false
    /// when next refuses them.
    bool Finish();

private:
    class Limiter;
    void Run(const qint16 *samples, qint64 count);
    bool Pass();

    ISampleSink &m_next;
    std::unique_ptr<Limiter> m_limiter;
    std::vector<qint16> m_out;
    qint64 m_taken = 0;  // samples written
    qint64 m_pushed = 0; // samples through the limiter, the look-ahead's silence at the end included
    bool m_failed = false;
};

/// The level in dB, a multiple of 0.1 dB, that brings this speech through a LevelStage at
/// volume 100 to kTargetLoudness (within ±30 dB); none for silence.
std::optional<double> MeasureLevel(const std::vector<qint16> &speech, int sampleRate = 22050);
