#include "audio/levelstage.h"

#include "audio/loudness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr int kOversampling = 4;
constexpr int kHalfTaps = 6; // input samples on each side of an interpolated point
constexpr int kTaps = 2 * kHalfTaps;
constexpr double kLookAheadSeconds = 0.005;
constexpr double kReleaseSeconds = 0.1;
// Four-fold interpolation finds a true peak within a fraction of a decibel: the stage
// aims that much below the ceiling.
constexpr double kDetectionMarginDb = 0.3;
constexpr double kMaxLevelDb = 30;
// The box filter sums gains as integers, exactly, so that no rounding drifts.
constexpr double kGainUnit = 1 << 30;

// The interpolators for the points a quarter, a half and three quarters of the way from
// x[m] to x[m + 1] (windowed sinc over x[m - 5] .. x[m + 6], each with a gain of 1 at DC),
// tap by tap, the three side by side (and a fourth of zeros) so that they run at once.
using Taps = std::array<std::array<float, kOversampling>, kTaps>;

const Taps &Interpolators()
{
    static const Taps taps = [] {
        constexpr double kBeta = 6.0;
        Taps made{};
        for (size_t k = 1; k < kOversampling; ++k) {
            const double fraction = double(k) / kOversampling;
            std::array<double, kTaps> phase{};
            double sum = 0;
            for (size_t i = 0; i < kTaps; ++i) {
                const double t = (double(i) - (kHalfTaps - 1)) - fraction;
                const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
                const double u = t / (kHalfTaps + 0.5);
                const double window =
                    std::cyl_bessel_i(0.0, kBeta * std::sqrt(1 - u * u)) / std::cyl_bessel_i(0.0, kBeta);
                phase[i] = sinc * window;
                sum += phase[i];
            }
            for (size_t i = 0; i < kTaps; ++i)
                made[i][k - 1] = static_cast<float>(phase[i] / sum);
        }
        return made;
    }();
    return taps;
}

size_t PowerOfTwoAtLeast(size_t n)
{
    size_t size = 1;
    while (size < n)
        size *= 2;
    return size;
}

// Half away from zero, as lround, within the 16-bit range; without a branch on the sign,
// which speech flips at random.
qint16 Rounded(double y)
{
    return static_cast<qint16>(std::clamp(y + std::copysign(0.5, y), -32768.0, 32767.0));
}

} // namespace

// The limiter over samples already multiplied by the gain, in units of 16-bit samples.
// At input n it judges the peak around sample m = n - kHalfTaps, and the gain of sample
// k = m - (lookAhead - 1) is then the mean of the release-smoothed minima of the required
// gains over k .. m: never above what any peak within the look-ahead requires. Where no
// sample near m comes close to the ceiling, no peak between them can pass it either: the
// interpolation is skipped, and a block of such samples with the gain at rest is copied.
class LevelStage::Limiter
{
public:
    Limiter(double gain, double volume, int sampleRate)
        : m_taps(Interpolators())
        , m_gain(static_cast<float>(gain))
        , m_volume(volume)
        , m_ceiling(32768.0 * std::pow(10.0, (kPeakCeiling - kDetectionMarginDb) / 20))
        , m_lookAhead(std::max(1, static_cast<int>(std::lround(kLookAheadSeconds * sampleRate))))
        , m_release(1 - std::exp(-1.0 / (kReleaseSeconds * sampleRate)))
        , m_size(PowerOfTwoAtLeast(static_cast<size_t>(m_lookAhead + 2 * kTaps)))
        , m_input(2 * m_size)
        , m_minimumIndex(PowerOfTwoAtLeast(static_cast<size_t>(m_lookAhead + 1)))
        , m_minimumValue(m_minimumIndex.size())
        , m_box(static_cast<size_t>(m_lookAhead), static_cast<qint64>(kGainUnit))
        , m_boxFull(static_cast<qint64>(kGainUnit) * m_lookAhead)
        , m_boxSum(m_boxFull)
    {
        // No interpolated point exceeds the largest sample of its taps times the sum of
        // their magnitudes.
        std::array<double, kOversampling> reach{};
        for (const auto &tap : m_taps) {
            for (size_t k = 0; k < kOversampling; ++k)
                reach[k] += std::abs(tap[k]);
        }
        m_near = static_cast<float>(m_ceiling / std::max(1.0, *std::max_element(reach.begin(), reach.end())));
    }

    /// Samples held back for the look-ahead: the first this many outputs belong before the stream.
    qint64 Delay() const { return kHalfTaps + m_lookAhead - 1; }

    /// Takes count inputs and gives the output of each push: that of input n - Delay().
    void Process(const qint16 *in, qint64 count, qint16 *out)
    {
        constexpr qint64 kBlock = 256;
        for (qint64 at = 0; at < count; at += kBlock) {
            const qint64 size = std::min(kBlock, count - at);
            if (AtRest(in + at, size)) {
                Copy(in + at, size, out + at);
            } else {
                for (qint64 i = 0; i < size; ++i)
                    out[at + i] = Push(in[at + i]);
            }
        }
    }

private:
    // Each input is kept twice, size apart, so that every stretch of taps lies in one piece.
    void Keep(float scaled)
    {
        const size_t slot = static_cast<size_t>(m_n) & (m_size - 1);
        m_input[slot] = scaled;
        m_input[slot + m_size] = scaled;
    }
    float Kept(qint64 i) const { return m_input[static_cast<size_t>(i) & (m_size - 1)]; }

    // True when no peak can near the ceiling within the block nor just before it, and the
    // gain is back at 1.
    bool AtRest(const qint16 *in, qint64 size) const
    {
        if (m_envelope < 1 || m_boxSum != m_boxFull || m_n - kHalfTaps - m_lastLimited < m_lookAhead
            || m_lastNear >= m_n - 2 * kHalfTaps)
            return false;
        int loudest = 0;
        for (qint64 i = 0; i < size; ++i)
            loudest = std::max(loudest, std::abs(int(in[i])));
        return float(loudest) * std::abs(m_gain) <= m_near;
    }

    // The block at rest: each output is its input times the gain and the volume.
    void Copy(const qint16 *in, qint64 size, qint16 *out)
    {
        for (qint64 i = 0; i < size; ++i) {
            Keep(float(in[i]) * m_gain);
            out[i] = Rounded(static_cast<double>(Kept(m_n - Delay())) * m_volume);
            ++m_n;
        }
        m_previousPeak = 0;
        m_minimumCount = 0;
    }

    qint16 Push(float x)
    {
        const float scaled = x * m_gain;
        Keep(scaled);
        if (std::abs(scaled) > m_near)
            m_lastNear = m_n;
        const qint64 m = m_n - kHalfTaps;
        ++m_n;

        // The highest of |x[m]| and the interpolated points between x[m] and x[m + 1]; sample
        // m sits on both intervals that touch it, which reach from x[m - 6] to x[m + 6].
        double required = 1;
        float peak = 0;
        if (m_lastNear >= m - kHalfTaps) {
            const float *taps = &m_input[static_cast<size_t>(m - (kHalfTaps - 1)) & (m_size - 1)];
            std::array<float, kOversampling> sum{};
            for (size_t i = 0; i < kTaps; ++i) {
                for (size_t k = 0; k < kOversampling; ++k)
                    sum[k] += m_taps[i][k] * taps[i];
            }
            peak = std::abs(Kept(m));
            for (size_t k = 0; k + 1 < kOversampling; ++k)
                peak = std::max(peak, std::abs(sum[k]));
            const double around = std::max(peak, m_previousPeak);
            if (around > m_ceiling) {
                required = m_ceiling / around;
                m_lastLimited = m;
            }
        }
        m_previousPeak = peak;

        // The smallest required gain of the last lookAhead samples.
        double minimum = 1;
        if (m - m_lastLimited >= m_lookAhead) {
            m_minimumCount = 0;
        } else {
            const size_t windowMask = m_minimumIndex.size() - 1;
            while (m_minimumCount > 0
                   && m_minimumValue[(m_minimumFirst + m_minimumCount - 1) & windowMask] >= required)
                --m_minimumCount;
            m_minimumIndex[(m_minimumFirst + m_minimumCount) & windowMask] = m;
            m_minimumValue[(m_minimumFirst + m_minimumCount) & windowMask] = required;
            ++m_minimumCount;
            if (m_minimumIndex[m_minimumFirst & windowMask] <= m - m_lookAhead) {
                ++m_minimumFirst;
                --m_minimumCount;
            }
            minimum = m_minimumValue[m_minimumFirst & windowMask];
        }

        // Down at once, up again slowly; then the mean over the look-ahead smooths the way down.
        double gain = 1;
        if (minimum < 1 || m_envelope < 1 || m_boxSum != m_boxFull) {
            const double rising = m_envelope + (1 - m_envelope) * m_release;
            m_envelope = std::min(minimum, rising > 1 - 1e-6 ? 1.0 : rising);
            const auto quantised = static_cast<qint64>(m_envelope * kGainUnit); // not negative: rounded down
            qint64 &oldest = m_box[static_cast<size_t>(m_boxAt)];
            m_boxSum += quantised - oldest;
            oldest = quantised;
            m_boxAt = m_boxAt + 1 == m_lookAhead ? 0 : m_boxAt + 1;
            gain = static_cast<double>(m_boxSum) / static_cast<double>(m_boxFull);
        }
        return Rounded(static_cast<double>(Kept(m - (m_lookAhead - 1))) * gain * m_volume);
    }

    const Taps m_taps;
    float m_gain;
    double m_volume;
    double m_ceiling;
    float m_near = 0; // a sample beyond this may make a peak beyond the ceiling
    int m_lookAhead;
    double m_release;
    size_t m_size;
    std::vector<float> m_input; // the latest inputs times the gain, twice (see Keep)
    qint64 m_n = 0;             // inputs taken
    qint64 m_lastNear = std::numeric_limits<qint64>::min() / 2;
    qint64 m_lastLimited = std::numeric_limits<qint64>::min() / 2;
    float m_previousPeak = 0;
    // The running minimum: indices and values in increasing order of both.
    std::vector<qint64> m_minimumIndex;
    std::vector<double> m_minimumValue;
    size_t m_minimumFirst = 0;
    size_t m_minimumCount = 0;
    double m_envelope = 1;
    // The last lookAhead envelope values, in units of 1 / kGainUnit, and their sum.
    std::vector<qint64> m_box;
    int m_boxAt = 0;
    qint64 m_boxFull;
    qint64 m_boxSum;
};

LevelStage::LevelStage(ISampleSink &next, double levelDb, int volume, int sampleRate)
    : m_next(next)
    , m_limiter(std::make_unique<Limiter>(std::pow(10.0, levelDb / 20), std::clamp(volume, 0, 100) / 100.0,
                                          sampleRate))
{
}

LevelStage::~LevelStage() = default;

bool LevelStage::Pass()
{
    if (m_out.empty())
        return true;
    const bool written = m_next.Write(m_out.data(), static_cast<qint64>(m_out.size()));
    m_out.clear();
    m_failed = !written;
    return written;
}

bool LevelStage::Write(const qint16 *samples, qint64 count)
{
    if (m_failed)
        return false;
    if (count <= 0)
        return true;
    Run(samples, count);
    m_taken += count;
    return Pass();
}

void LevelStage::Run(const qint16 *samples, qint64 count)
{
    // The outputs of the first Delay() pushes belong before the stream: dropped.
    const qint64 dropped = std::clamp<qint64>(m_limiter->Delay() - m_pushed, 0, count);
    m_out.resize(static_cast<size_t>(count));
    m_limiter->Process(samples, count, m_out.data());
    m_out.erase(m_out.begin(), m_out.begin() + dropped);
    m_pushed += count;
}

bool LevelStage::Finish()
{
    if (m_failed)
        return false;
    // Silence after the end brings out the samples held back, and no more.
    const qint64 more = m_taken + m_limiter->Delay() - m_pushed;
    if (m_taken > 0 && more > 0) {
        const std::vector<qint16> silence(static_cast<size_t>(more), 0);
        Run(silence.data(), more);
    }
    return Pass();
}

QString LevelStage::WriteFailure() const
{
    return m_next.WriteFailure();
}

std::optional<double> MeasureLevel(const std::vector<qint16> &speech, int sampleRate)
{
    const qint64 count = static_cast<qint64>(speech.size());
    const Loudness raw = MeasureLoudness(speech.data(), count, sampleRate);
    if (!std::isfinite(raw.integrated))
        return std::nullopt;
    double level = std::clamp(kTargetLoudness - raw.integrated, -kMaxLevelDb, kMaxLevelDb);
    // The limiter takes a little off the voices it has to hold down: measured through the
    // stage and corrected.
    for (int pass = 0; pass < 3; ++pass) {
        MemorySink levelled;
        LevelStage stage(levelled, level, 100, sampleRate);
        stage.Write(speech.data(), count);
        stage.Finish();
        const double loudness = MeasureLoudness(levelled.Samples().data(), count, sampleRate).integrated;
        if (!std::isfinite(loudness) || std::abs(kTargetLoudness - loudness) < 0.05)
            break;
        level = std::clamp(level + kTargetLoudness - loudness, -kMaxLevelDb, kMaxLevelDb);
    }
    return std::round(level * 10) / 10;
}
