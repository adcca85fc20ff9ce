// The reversible integer colour transform between three colour components and the channels
// 0 (luma-like), 1 (p2 - p1) and 2 (p0 - p1). Exact for every input, so lossless files give
// back their pixels.
#pragma once

#include <cstdint>

struct ColourChannels {
    std::int32_t c0;
    std::int32_t c1;
    std::int32_t c2;
};

// Components are at most 16 bits wide here, so no sum can overflow.
constexpr ColourChannels ForwardColourTransform(std::int32_t p0, std::int32_t p1, std::int32_t p2,
                                                std::int32_t offset) {
    return {((p0 + 2 * p1 + p2) >> 2) - offset, p2 - p1, p0 - p1};
}

// Component p1 of the inverse; p2 = p1 + c1 and p0 = p1 + c2. Taken in 64 bits so that any
// three decoded samples, however damaged, stay free of overflow; for samples of a real image
// the result equals the 32-bit one.
constexpr std::int64_t InverseColourGreen(std::int64_t c0, std::int64_t c1, std::int64_t c2,
                                          std::int64_t offset) {
    return c0 - ((c1 + c2) >> 2) + offset;
}
