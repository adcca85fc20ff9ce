#include "tile_span.h"

TileSpan TileSpanOf(std::uint32_t index, std::uint32_t tileCount, std::uint32_t samples) {
    // 64-bit so that (size + 1) cannot wrap for a span of 2^32 - 1 samples.
    std::uint64_t start = 0;
    std::uint64_t size = samples;
    std::uint32_t first = 0;
    std::uint32_t end = tileCount;
    for (std::uint32_t tiles = tileCount; tiles >= 2; tiles /= 2) {
        const std::uint64_t half = (size + 1) / 2;
        const std::uint32_t mid = first + (end - first) / 2;
        if (index < mid) {
            end = mid;
            size = half;
        } else {
            start += half;
            first = mid;
            size /= 2;
        }
    }
    return {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(size)};
}
