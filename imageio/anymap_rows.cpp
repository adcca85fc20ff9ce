#include "anymap_rows.h"

#include "mul_div.h"
#include "vector_clones.h"

#include <algorithm>
#include <cstring>

ByteSampleScale::ByteSampleScale(std::uint32_t maxval) : table{}, identity(maxval == 255) {
    for (std::uint32_t v = 0; v < 256; ++v)
        table[v] = static_cast<std::uint8_t>(MulDiv(std::min(v, maxval), 255, maxval));
}

VECTOR_CLONES void SwapOuterBytes(std::uint8_t* __restrict to, const std::uint8_t* __restrict from,
                                  std::size_t pixels) {
#pragma omp simd
    for (std::size_t i = 0; i < pixels; ++i) {
        to[3 * i] = from[3 * i + 2];
        to[3 * i + 1] = from[3 * i + 1];
        to[3 * i + 2] = from[3 * i];
    }
}

void StoreByteRow(const std::uint8_t* __restrict from, std::uint8_t* __restrict to,
                  std::size_t rowBytes, int channels, const ByteSampleScale& scale) {
    if (scale.identity) {
        if (channels == 1) {
            std::memcpy(to, from, rowBytes);
            return;
        }
        SwapOuterBytes(to, from, rowBytes / 3);
        return;
    }
    const std::array<std::uint8_t, 256>& table = scale.table;
    if (channels == 1) {
        for (std::size_t i = 0; i < rowBytes; ++i)
            to[i] = table[from[i]];
        return;
    }
    // red, green, blue in the file; blue, green, red in memory
    for (std::size_t i = 0; i + 2 < rowBytes; i += 3) {
        to[i] = table[from[i + 2]];
        to[i + 1] = table[from[i + 1]];
        to[i + 2] = table[from[i]];
    }
}

namespace {

// Sample i of a row of big-endian words, clamped.
inline std::uint16_t BigEndianSample(const std::uint8_t* from, std::size_t i,
                                     std::uint16_t maxval) {
    const auto value = static_cast<std::uint16_t>(from[2 * i] << 8 | from[2 * i + 1]);
    return value < maxval ? value : maxval;
}

} // namespace

VECTOR_CLONES void StoreWordRow(const std::uint8_t* __restrict from, std::uint8_t* __restrict to,
                                std::size_t width, int channels, std::uint32_t maxval) {
    const auto clamp = static_cast<std::uint16_t>(std::min<std::uint32_t>(maxval, 0xFFFF));
    std::uint16_t* __restrict words = reinterpret_cast<std::uint16_t*>(to);
    if (channels == 1) {
#pragma omp simd
        for (std::size_t x = 0; x < width; ++x)
            words[x] = BigEndianSample(from, x, clamp);
        return;
    }
    // red, green, blue in the file; blue, green, red in memory
#pragma omp simd
    for (std::size_t x = 0; x < width; ++x) {
        words[3 * x] = BigEndianSample(from, 3 * x + 2, clamp);
        words[3 * x + 1] = BigEndianSample(from, 3 * x + 1, clamp);
        words[3 * x + 2] = BigEndianSample(from, 3 * x, clamp);
    }
}
