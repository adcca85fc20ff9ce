// Choosing how far to decode a pyramid: the coarsest level whose image still covers a wanted size.
#pragma once

#include <cstdint>

// The coarsest level d - 1 before the size at level d (each side halved d times, rounding up)
// falls short of width x height. A request larger than the image on either side can only be met
// at full detail (0); once the image has shrunk to one pixel, coarser levels are no different,
// which ends the search.
inline int CoarsestCoveringLevel(std::uint32_t width, std::uint32_t height,
                                 std::uint32_t wantedWidth, std::uint32_t wantedHeight) {
    if (wantedWidth > width || wantedHeight > height) return 0;
    for (int d = 1; d < 32; ++d) {
        const std::uint64_t scale = std::uint64_t{1} << d;
        const std::uint64_t w = (width + scale - 1) / scale;
        const std::uint64_t h = (height + scale - 1) / scale;
        if (h < wantedHeight || w < wantedWidth) return d - 1;
        if (w == 1 && h == 1) return d;
    }
    return 31;
}
