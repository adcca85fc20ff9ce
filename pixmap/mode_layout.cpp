#include "mode_layout.h"

#include <limits>

namespace {

constexpr std::array<std::uint8_t, 8> kWhite8 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

constexpr std::array<ModeLayout, 14> kLayouts = {{
    {ModeBitmap, 1, 1, " ", 1, 1, {0}},
    {ModeGray, 8, 1, " ", 8, 1, kWhite8},
    {ModeIndexed, 8, 1, " ", 8, 1, kWhite8},
    {ModeRGB, 24, 3, "BGR", 8, 3, kWhite8},
    {ModeCMYK, 32, 4, "CMYK", 8, 4, kWhite8},
    {ModeLab, 24, 3, "Lab", 8, 3, kWhite8},
    {ModeGray16, 16, 1, " ", 8, 2, kWhite8},
    {ModeRGB48, 48, 3, "BGR", 8, 6, kWhite8},
    {ModeLab48, 48, 3, "Lab", 8, 6, kWhite8},
    {ModeCMYK64, 64, 4, "CMYK", 8, 8, kWhite8},
    {ModeARGB, 32, 4, "BGRA", 8, 4, kWhite8},
    {ModeGray32, 32, 1, " ", 8, 4, {0xFF, 0xFF, 0xFF, 0x3F}},
    {ModeRGB12, 12, 3, "BGR", 4, 2, {0xFF, 0x0F}},
    {ModeRGB16, 16, 3, "BGR", 8, 2, kWhite8},
}};

} // namespace

const ModeLayout* FindModeLayout(std::uint32_t mode) {
    for (const ModeLayout& layout : kLayouts)
        if (layout.mode == mode) return &layout;
    return nullptr;
}

std::optional<std::int32_t> OwnedStride(std::uint8_t bitsPerPixel, std::uint32_t width) {
    const std::uint64_t stride = (RowBytes(bitsPerPixel, width) + 3) / 4 * 4;
    if (stride > std::uint64_t{std::numeric_limits<std::int32_t>::max()}) return std::nullopt;
    return static_cast<std::int32_t>(stride);
}
