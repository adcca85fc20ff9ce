// Where a tile lies along one axis of a band split into a power-of-two number of tiles by
// recursive halving (the first half gets the extra sample of an odd span).
#pragma once

#include <cstdint>

struct TileSpan {
    std::uint32_t start;
    std::uint32_t size;
};

// Span of tile `index` (0 <= index < tileCount) of `tileCount` tiles over `samples` samples.
TileSpan TileSpanOf(std::uint32_t index, std::uint32_t tileCount, std::uint32_t samples);
