// Dead-zone quantisation of freshly transformed bands and the shift rule shared with the decoder.
#pragma once

#include "wavelet_band.h"

#include <cstddef>
#include <cstdint>

// The power-of-two exponent s of a band at `level` for quantisation parameter q: q - level - 1
// for LL, q - level for HL and LH, q - level + 1 for HH. May be zero or negative (no change).
int BandShift(BandOrientation orientation, int level, int q);

// The dead-zone threshold (7 × 2^s) / 5 for s >= 0, in 64 bits so that it cannot overflow.
std::int64_t DeadZoneThreshold(int shift);

// Divides every sample by 2^shift rounding half away from zero; detail samples whose magnitude is
// at most the dead-zone threshold become 0. Shifts below 1 change nothing; a shift of 32 or more
// leaves only zeros.
void QuantizeSamples(std::int32_t* samples, std::size_t count, int shift, bool deadZone);

// Quantises a band's buffer with its own shift for q (LL without dead zone).
void QuantizeBand(CWaveletBand& band, int q);

// A decoded value scaled back by 2^max(0, shift), wrapping; 0 once the shift reaches 32. Inline,
// as it runs once per decoded sample.
inline std::int32_t Dequantize(std::int32_t value, int shift) {
    if (shift <= 0) return value;
    if (shift >= 32) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << shift);
}
