// Rectangles of pixel coordinates: left and top inclusive, right and bottom exclusive, unsigned.
#pragma once

#include <cstdint>
#include <optional>

struct PixRect {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;

    // Inverted rectangles count as empty, so no operation ever wraps a negative size around.
    bool IsEmpty() const { return left >= right || top >= bottom; }
    std::uint32_t Width() const { return IsEmpty() ? 0 : right - left; }
    std::uint32_t Height() const { return IsEmpty() ? 0 : bottom - top; }
    std::uint64_t Area() const { return std::uint64_t{Width()} * Height(); }

    friend bool operator==(const PixRect&, const PixRect&) = default;
};

// The common part of two rectangles, or nothing when they do not overlap (or either is empty).
std::optional<PixRect> Intersect(const PixRect& a, const PixRect& b);
