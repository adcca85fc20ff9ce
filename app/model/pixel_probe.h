// The colour the view shows at an image pixel, computed from the image rather than read from the
// screen (which Wayland does not allow): the channel image's gray, or the display image's colour,
// with transparent pixels blended over the gray matte or the background as the view draws them.
#pragma once

#include "desktop_services.h"
#include "display_image.h"

#include <string>

struct Rgba {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// The pixel (x, y) of a display image of 1, 8, 24 or 32 bits (inside the image).
Rgba DisplayPixel(const CDisplayImage& image, std::uint32_t x, std::uint32_t y);

// A colour with straight alpha blended over an opaque one, rounded.
Rgb BlendOver(Rgba color, Rgb under);

// The gray matte under an offset from the image's top-left corner: squares of `square` pixels,
// gray (200, 200, 200) where the square's column and row are both even or both odd, else white.
Rgb MatteAt(std::int64_t dx, std::int64_t dy, std::int64_t square);

// "X: %d, Y: %d, RGB: (%d, %d, %d)".
std::string PixelStatusText(std::int64_t x, std::int64_t y, Rgb color);
