#include "quantize.h"

#include "wrap_arith.h"

#include <algorithm>
#include <limits>

int BandShift(BandOrientation orientation, int level, int q) {
    // HH matters least to the eye and LL most, so HH is divided more and LL less.
    if (orientation == BandOrientation::LL) return q - level - 1;
    if (orientation == BandOrientation::HH) return q - level + 1;
    return q - level;
}

std::int64_t DeadZoneThreshold(int shift) {
    // Beyond 2^33 the threshold exceeds every 32-bit magnitude; clamping keeps the shift defined.
    const int cappedShift = std::clamp(shift, 0, 40);
    return (std::int64_t{7} << cappedShift) / 5;
}

namespace {

// (|v| >> (s - 1) + 1) >> 1 with v's sign, every step wrapping as 32-bit two's complement.
inline std::int32_t RoundedPositive(std::int32_t v, int shift) {
    return WrapAdd(v >> (shift - 1), 1) >> 1;
}

inline std::int32_t RoundedNegative(std::int32_t v, int shift) {
    return WrapNeg(WrapAdd(WrapNeg(v) >> (shift - 1), 1) >> 1);
}

void QuantizeDetail(std::int32_t* __restrict samples, std::size_t count, int shift) {
    const std::int64_t threshold = DeadZoneThreshold(shift);
    // A threshold at or above 2^31 swallows every 32-bit sample, INT32_MIN included.
    if (threshold > std::numeric_limits<std::int32_t>::max()) {
        std::fill(samples, samples + count, 0);
        return;
    }
    const auto upper = static_cast<std::int32_t>(threshold);
    const std::int32_t lower = -upper;
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = samples[i];
        const std::int32_t positive = RoundedPositive(v, shift);
        const std::int32_t negative = RoundedNegative(v, shift);
        samples[i] = v < lower ? negative : (v > upper ? positive : 0);
    }
}

void QuantizeLowPass(std::int32_t* __restrict samples, std::size_t count, int shift) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = samples[i];
        samples[i] = v < 0 ? RoundedNegative(v, shift) : RoundedPositive(v, shift);
    }
}

} // namespace

void QuantizeSamples(std::int32_t* samples, std::size_t count, int shift, bool deadZone) {
    if (shift < 1 || count == 0) return;
    // Division by 2^32 or more leaves nothing of a 32-bit sample; the shifts below stay defined.
    if (shift >= 32) {
        std::fill(samples, samples + count, 0);
        return;
    }
    if (deadZone)
        QuantizeDetail(samples, count, shift);
    else
        QuantizeLowPass(samples, count, shift);
}

void QuantizeBand(CWaveletBand& band, int q) {
    const int shift = BandShift(band.orientation, band.level, q);
    const bool deadZone = band.orientation != BandOrientation::LL;
    if (band.data) {
        QuantizeSamples(band.data.get(), band.size, shift, deadZone);
        return;
    }
    if (!band.placed) return;
    for (std::uint64_t y = 0; y < band.region.Height(); ++y)
        QuantizeSamples(band.placed + y * band.placedPitch, band.region.Width(), shift, deadZone);
}
