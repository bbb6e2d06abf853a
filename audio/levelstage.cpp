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
qint16 Rounded(float y)
{
    // |y| is at most full scale raised by kMaxLevelDb: far inside an int.
    const auto rounded = static_cast<int>(y + std::copysign(0.5f, y));
    return static_cast<qint16>(std::clamp(rounded, -32768, 32767));
}

} // namespace

// The limiter over samples already multiplied by the gain, in units of 16-bit samples.
// At input n it judges the peak around sample m = n - kHalfTaps, and the gain of sample
// k = m - (lookAhead - 1) is then the mean of the release-smoothed minima of the required
// gains over k .. m: never above what any peak within the look-ahead requires. Where no
// sample near m comes close to the ceiling, no peak between them can pass it either: the
// interpolation is skipped, and a block of such samples with the gain at rest is copied.
// A block is worked in passes: the inputs kept, the gain each needs, then the outputs, so
// that the one pass that must go sample by sample (the gain's) does nothing else.
class LevelStage::Limiter
{
public:
    Limiter(double gain, double volume, int sampleRate)
        : m_taps(Interpolators())
        , m_gain(static_cast<float>(gain))
        , m_volume(static_cast<float>(volume))
        , m_ceiling(32768.0 * std::pow(10.0, (kPeakCeiling - kDetectionMarginDb) / 20))
        , m_lookAhead(std::max(1, static_cast<int>(std::lround(kLookAheadSeconds * sampleRate))))
        , m_keep(std::exp(-1.0 / (kReleaseSeconds * sampleRate)))
        , m_size(PowerOfTwoAtLeast(static_cast<size_t>(kBlock + m_lookAhead + 2 * kTaps)))
        , m_input(2 * m_size)
        , m_minimumIndex(PowerOfTwoAtLeast(static_cast<size_t>(m_lookAhead + 1)))
        , m_minimumValue(m_minimumIndex.size())
        , m_box(static_cast<size_t>(m_lookAhead), static_cast<qint64>(kGainUnit))
        , m_boxFull(static_cast<qint64>(kGainUnit) * m_lookAhead)
        , m_boxSum(m_boxFull)
        , m_perBox(1.0 / static_cast<double>(m_boxFull))
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

    /// Takes count inputs and gives the output of each: that of input n - Delay().
    void Process(const qint16 *in, qint64 count, qint16 *out)
    {
        for (qint64 at = 0; at < count; at += kBlock) {
            const qint64 size = std::min(kBlock, count - at);
            const bool rest = AtRest(in + at, size);
            Keep(in + at, size);
            if (rest) {
                std::fill_n(m_gains.begin(), size, 1.0f);
                m_previousPeak = 0;
                m_minimumCount = 0;
            } else {
                Limit(size);
            }
            // The inputs due out lie side by side in the ring (see Keep).
            const float *due = &m_input[static_cast<size_t>(m_n - Delay()) & (m_size - 1)];
            const float volume = m_volume;
            qint16 *to = out + at;
            for (qint64 i = 0; i < size; ++i)
                to[i] = Rounded(due[i] * m_gains[size_t(i)] * volume);
            m_n += size;
        }
    }

private:
    static constexpr qint64 kBlock = 256;

    // Each input is kept twice, size apart, so that every stretch of taps lies in one piece.
    void Keep(const qint16 *in, qint64 count)
    {
        const size_t slot = static_cast<size_t>(m_n) & (m_size - 1);
        const size_t size = static_cast<size_t>(count); // at most m_size
        const size_t first = std::min(size, m_size - slot);
        float *kept = m_input.data();
        for (size_t i = 0; i < first; ++i)
            kept[slot + i] = kept[slot + i + m_size] = float(in[i]) * m_gain;
        for (size_t i = first; i < size; ++i)
            kept[slot + i] = kept[slot + i - m_size] = float(in[i]) * m_gain;
    }
    float Kept(qint64 i) const { return m_input[static_cast<size_t>(i) & (m_size - 1)]; }

    // True when no peak can near the ceiling within the block nor just before it, and the
    // gain is back at 1.
    bool AtRest(const qint16 *in, qint64 size) const
    {
        if (m_distance > 0 || m_boxSum != m_boxFull || m_n - kHalfTaps - m_lastLimited < m_lookAhead
            || m_lastNear >= m_n - 2 * kHalfTaps)
            return false;
        int loudest = 0;
        for (qint64 i = 0; i < size; ++i)
            loudest = std::max(loudest, std::abs(int(in[i])));
        return float(loudest) * std::abs(m_gain) <= m_near;
    }

    // The gains of the block's outputs, the inputs m_n .. m_n + size - 1 kept.
    void Limit(qint64 size)
    {
        for (qint64 i = 0; i < size; ++i) {
            const qint64 n = m_n + i;
            if (std::abs(Kept(n)) > m_near)
                m_lastNear = n;
            m_required[size_t(i)] = Required(n - kHalfTaps);
        }
        // The release and the box with their state at hand, not in the object, so that
        // each sample waits for nothing but the one before.
        double distance = m_distance;
        qint64 boxSum = m_boxSum;
        int boxAt = m_boxAt;
        qint64 *box = m_box.data();
        for (qint64 i = 0; i < size; ++i) {
            const qint64 m = m_n + i - kHalfTaps;
            const double minimum = Minimum(m, m_required[size_t(i)]);
            if (minimum == 1 && distance == 0 && boxSum == m_boxFull) {
                m_gains[size_t(i)] = 1;
                continue;
            }
            // Down at once, up again slowly (the distance from 1 shrinks by a constant
            // factor, and is gone below a millionth); then the mean over the look-ahead
            // smooths the way down.
            const double released = distance * m_keep;
            distance = std::max(1 - minimum, released < 1e-6 ? 0.0 : released);
            const auto quantised = static_cast<qint64>((1 - distance) * kGainUnit); // not negative: rounded down
            boxSum += quantised - box[boxAt];
            box[boxAt] = quantised;
            boxAt = boxAt + 1 == m_lookAhead ? 0 : boxAt + 1;
            m_gains[size_t(i)] = static_cast<float>(static_cast<double>(boxSum) * m_perBox);
        }
        m_distance = distance;
        m_boxSum = boxSum;
        m_boxAt = boxAt;
    }

    // The gain that keeps sample m and the peaks beside it under the ceiling: 1 where none
    // comes near it.
    double Required(qint64 m)
    {
        double required = 1;
        float peak = 0;
        if (m_lastNear >= m - kHalfTaps) {
            // The highest of |x[m]| and the interpolated points between x[m] and x[m + 1];
            // sample m sits on both intervals that touch it, which reach from x[m - 6] to x[m + 6].
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
        return required;
    }

    // The smallest gain that samples m - lookAhead + 1 .. m require, given what m requires.
    double Minimum(qint64 m, double required)
    {
        if (m - m_lastLimited >= m_lookAhead) {
            m_minimumCount = 0;
            return 1;
        }
        const size_t windowMask = m_minimumIndex.size() - 1;
        while (m_minimumCount > 0 && m_minimumValue[(m_minimumFirst + m_minimumCount - 1) & windowMask] >= required)
            --m_minimumCount;
        m_minimumIndex[(m_minimumFirst + m_minimumCount) & windowMask] = m;
        m_minimumValue[(m_minimumFirst + m_minimumCount) & windowMask] = required;
        ++m_minimumCount;
        if (m_minimumIndex[m_minimumFirst & windowMask] <= m - m_lookAhead) {
            ++m_minimumFirst;
            --m_minimumCount;
        }
        return m_minimumValue[m_minimumFirst & windowMask];
    }

    const Taps m_taps;
    float m_gain;
    float m_volume;
    double m_ceiling;
    float m_near = 0; // a sample beyond this may make a peak beyond the ceiling
    int m_lookAhead;
    double m_keep; // what remains of the distance from 1 after a sample
    size_t m_size;
    std::vector<float> m_input; // the latest inputs times the gain, twice (see Keep)
    std::array<double, kBlock> m_required{};
    std::array<float, kBlock> m_gains{};
    qint64 m_n = 0; // inputs taken
    qint64 m_lastNear = std::numeric_limits<qint64>::min() / 2;
    qint64 m_lastLimited = std::numeric_limits<qint64>::min() / 2;
    float m_previousPeak = 0;
    // The running minimum: indices and values in increasing order of both.
    std::vector<qint64> m_minimumIndex;
    std::vector<double> m_minimumValue;
    size_t m_minimumFirst = 0;
    size_t m_minimumCount = 0;
    double m_distance = 0; // of the release-smoothed gain from 1
    // The last lookAhead smoothed gains, in units of 1 / kGainUnit, and their sum.
    std::vector<qint64> m_box;
    int m_boxAt = 0;
    qint64 m_boxFull;
    qint64 m_boxSum;
    double m_perBox;
};

LevelStage::LevelStage(ISampleSink &next, double levelDb, int volume, int sampleRate)
    : m_next(next)
    , m_limiter(std::make_unique<Limiter>(std::pow(10.0, std::clamp(levelDb, -kMaxLevelDb, kMaxLevelDb) / 20),
                                          std::clamp(volume, 0, 100) / 100.0,
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
