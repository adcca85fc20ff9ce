// Decoded values moved into band windows, dequantised on the way.
#pragma once

#include "quantize.h"

#include <cstdint>
#include <cstring>

// Copies `count` values into `to`, multiplied by 2^shift when shift is positive.
inline void CopyScaled(std::int32_t* to, const std::int32_t* from, std::uint32_t count, int shift) {
    if (shift <= 0)
        std::memcpy(to, from, count * sizeof *to);
    else
        for (std::uint32_t i = 0; i < count; ++i)
            to[i] = Dequantize(from[i], shift);
}

// Places the 64 values of an 8 × 8 square, rows `pitch` apart.
inline void PlaceSquare(std::int32_t* to, std::uint64_t pitch, const std::int32_t* from,
                        int shift) {
    for (std::uint32_t row = 0; row < 8; ++row)
        CopyScaled(to + row * pitch, from + 8 * row, 8, shift);
}
