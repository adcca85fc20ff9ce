#include "pixel_probe.h"

#include <cstdio>

Rgba DisplayPixel(const CDisplayImage& image, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* row = image.TopRow() + std::ptrdiff_t{image.Pitch()} * y;
    const auto fromTable = [&image](std::uint32_t index) {
        if (static_cast<int>(index) >= image.ColorCount()) return Rgba{};
        const std::uint8_t* entry = image.ColorTable() + 4 * index;
        return Rgba{entry[2], entry[1], entry[0], 255};
    };
    switch (image.BitsPerPixel()) {
    case 1:
        return fromTable(row[x / 8] >> (7 - x % 8) & 1);
    case 8:
        return fromTable(row[x]);
    case 24:
        return {row[3 * x + 2], row[3 * x + 1], row[3 * x], 255};
    case 32:
        return {row[4 * x + 2], row[4 * x + 1], row[4 * x],
                image.HasAlpha() ? row[4 * x + 3] : std::uint8_t{255}};
    default:
        return {};
    }
}

Rgb BlendOver(Rgba color, Rgb under) {
    const auto mix = [a = color.alpha](std::uint8_t top, std::uint8_t bottom) {
        return static_cast<std::uint8_t>((top * a + bottom * (255 - a) + 127) / 255);
    };
    return {mix(color.red, under.red), mix(color.green, under.green), mix(color.blue, under.blue)};
}

Rgb MatteAt(std::int64_t dx, std::int64_t dy, std::int64_t square) {
    const bool gray = ((dx / square) + (dy / square)) % 2 == 0;
    return gray ? Rgb{200, 200, 200} : Rgb{255, 255, 255};
}

std::string PixelStatusText(std::int64_t x, std::int64_t y, Rgb color) {
    char text[96];
    std::snprintf(text, sizeof text, "X: %lld, Y: %lld, RGB: (%d, %d, %d)",
                  static_cast<long long>(x), static_cast<long long>(y), color.red, color.green,
                  color.blue);
    return text;
}
