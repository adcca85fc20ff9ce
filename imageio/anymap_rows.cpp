#include "anymap_rows.h"

#include "mul_div.h"

#include <algorithm>
#include <cstring>

ByteSampleScale::ByteSampleScale(std::uint32_t maxval) : table{}, identity(maxval == 255) {
    for (std::uint32_t v = 0; v < 256; ++v)
        table[v] = static_cast<std::uint8_t>(MulDiv(std::min(v, maxval), 255, maxval));
}

void StoreByteRow(const std::uint8_t* __restrict from, std::uint8_t* __restrict to,
                  std::size_t rowBytes, int channels, const ByteSampleScale& scale) {
    if (scale.identity) {
        if (channels == 1) {
            std::memcpy(to, from, rowBytes);
            return;
        }
        for (std::size_t i = 0; i + 2 < rowBytes; i += 3) {
            to[i] = from[i + 2];
            to[i + 1] = from[i + 1];
            to[i + 2] = from[i];
        }
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

void StoreWordRow(const std::uint8_t* __restrict from, std::uint8_t* __restrict to,
                  std::size_t width, int channels, std::uint32_t maxval) {
    const auto channelCount = static_cast<std::size_t>(channels);
    const std::size_t last = channelCount - 1;
    for (std::size_t x = 0; x < width; ++x)
        for (std::size_t c = 0; c < channelCount; ++c) {
            const std::size_t at = (x * channelCount + c) * 2;
            const auto value = static_cast<std::uint16_t>(
                std::min<std::uint32_t>(std::uint32_t{from[at]} << 8 | from[at + 1], maxval));
            std::memcpy(to + (x * channelCount + last - c) * 2, &value, 2);
        }
}
