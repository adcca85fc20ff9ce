// A rectangle of image pixels or tile cells: left and top inclusive, right and bottom exclusive.
#pragma once

#include <cstdint>

struct KLDRect {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;

    std::uint32_t Width() const { return right > left ? right - left : 0; }
    std::uint32_t Height() const { return bottom > top ? bottom - top : 0; }
    bool IsEmpty() const { return right <= left || bottom <= top; }

    bool operator==(const KLDRect&) const = default;
};
