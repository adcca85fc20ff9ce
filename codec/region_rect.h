// A rectangle of samples or pixels; right and bottom are exclusive.
#pragma once

#include <cstdint>

struct RegionRect {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;

    std::uint32_t Width() const { return right - left; }
    std::uint32_t Height() const { return bottom - top; }
    bool operator==(const RegionRect&) const = default;
};
