// A rectangle of samples or pixels; right and bottom are exclusive.
#pragma once

#include <cstdint>

struct RegionRect {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;

    // Inverted rectangles count as empty, so no size ever wraps around.
    bool IsEmpty() const { return left >= right || top >= bottom; }
    std::uint32_t Width() const { return IsEmpty() ? 0 : right - left; }
    std::uint32_t Height() const { return IsEmpty() ? 0 : bottom - top; }
    std::uint64_t Area() const { return std::uint64_t{Width()} * Height(); }

    bool operator==(const RegionRect&) const = default;
};
