#include "audio/loudness.h"

#include <ebur128.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

struct MeterDeleter
{
    void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
};

} // namespace

Loudness MeasureLoudness(const qint16 *samples, qint64 count, int sampleRate)
{
    constexpr double kSilence = -std::numeric_limits<double>::infinity();
    std::unique_ptr<ebur128_state, MeterDeleter> meter(
        ebur128_init(1, static_cast<unsigned long>(sampleRate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
    if (!meter)
        return {kSilence, kSilence};
    // In blocks, so that the meter's own buffer stays small.
    constexpr qint64 kBlock = 1 << 16;
    for (qint64 at = 0; at < count; at += kBlock)
        ebur128_add_frames_short(meter.get(), samples + at, static_cast<size_t>(std::min(kBlock, count - at)));
    Loudness loudness{kSilence, kSilence};
    double integrated = 0;
    if (ebur128_loudness_global(meter.get(), &integrated) == EBUR128_SUCCESS && std::isfinite(integrated))
        loudness.integrated = integrated;
    double peak = 0;
    if (ebur128_true_peak(meter.get(), 0, &peak) == EBUR128_SUCCESS && peak > 0)
        loudness.truePeak = 20 * std::log10(peak);
    return loudness;
}
