// The per-pixel formulas of the mode conversions, written literally: integer arithmetic where the
// formulas divide integers, truncation toward zero where a double becomes a sample. Channels are
// passed and returned in memory order (blue, green, red; cyan, magenta, yellow, black; L, a, b).
#pragma once

#include <array>
#include <cstdint>

// Gray of blue, green, red for 8-bit and 16-bit samples alike (and color-table entries).
inline int GrayOf(int blue, int green, int red) {
    return static_cast<int>(0.082 * blue + 0.609 * green + 0.309 * red);
}

// RGB -> CMYK (8 bits); K never exceeds 230.
std::array<std::uint8_t, 4> BgrToCmyk(int blue, int green, int red);
// CMYK -> blue, green, red (8 bits), clamped at 0.
std::array<std::uint8_t, 3> CmykToBgr(int cyan, int magenta, int yellow, int black);
// RGB48 -> CMYK64; black is always 0.
std::array<std::uint16_t, 4> Bgr48ToCmyk64(int blue, int green, int red);
// CMYK64 -> blue, green, red (16 bits) in unsigned 32-bit arithmetic, clamped at 65535.
std::array<std::uint16_t, 3> Cmyk64ToBgr48(std::uint32_t cyan, std::uint32_t magenta,
                                           std::uint32_t yellow, std::uint32_t black);

// ---- L*a*b* ----
// `scale` is the sample maximum: 255 for 8-bit, 65535 for 16-bit samples.

// The sRGB curve of one sample value / scale.
double SampleToLinear(int value, double scale);
// Linear red, green, blue -> stored L', a', b'.
std::array<int, 3> LinearToLab(double red, double green, double blue, double scale);
// Stored L', a', b' (inputs of `inScale`) -> blue, green, red of `outScale`.
std::array<int, 3> LabToBgr(int lightness, int a, int b, double inScale, double outScale);

// The literal RGB -> Lab of samples of `scale`.
inline std::array<int, 3> BgrToLab(int blue, int green, int red, double scale) {
    return LinearToLab(SampleToLinear(red, scale), SampleToLinear(green, scale),
                       SampleToLinear(blue, scale), scale);
}

// Tables that speed up the formulas above with bit-identical results (tests compare them with
// the literal formulas): the sRGB curve of every 8-bit and 16-bit sample, and Lab -> RGB of
// 8-bit samples whose X, Y, Z depend on (L', a'), L' and (L', b') only.
const double* LinearTable8();
const double* LinearTable16();
std::array<int, 3> Lab8ToBgr8Fast(int lightness, int a, int b);

// ---- packed RGB ----

inline std::uint16_t BgrToRgb16(int blue, int green, int red) {
    return static_cast<std::uint16_t>((red & 0xF8) * 256 + (green & 0xFC) * 8 + blue / 8);
}
inline std::array<std::uint8_t, 3> Rgb16ToBgr(unsigned word) {
    return {static_cast<std::uint8_t>((word & 0x1F) * 8),
            static_cast<std::uint8_t>(((word >> 5) & 0x3F) * 4),
            static_cast<std::uint8_t>((word >> 11) * 8)};
}
// RGB12 nibbles (blue, green, red) -> RGB16 word.
inline std::uint16_t Rgb12ToRgb16(unsigned blue, unsigned green, unsigned red) {
    return static_cast<std::uint16_t>((red * 2) << 11 | (green * 4) << 5 | blue * 2);
}
