// Test support: the pixel layouts of every mode the codec exchanges, and random rows that a
// mode can represent exactly.
#pragma once

#include "channel_image.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

struct ModeLayout {
    std::uint8_t mode;
    int channels;
    std::uint32_t bitsPerPixel;
};

constexpr ModeLayout kModes[] = {
    {ModeBitmap, 1, 1},  {ModeGray, 1, 8},    {ModeIndexed, 1, 8}, {ModeRGB, 3, 24},
    {ModeCMYK, 4, 32},   {ModeHSL, 3, 24},    {ModeHSB, 3, 24},    {ModeLab, 3, 24},
    {ModeGray16, 1, 16}, {ModeRGB48, 3, 48},  {ModeLab48, 3, 48},  {ModeCMYK64, 4, 64},
    {ModeARGB, 4, 32},   {ModeGray32, 1, 32}, {ModeRGB12, 3, 12},  {ModeRGB16, 3, 16},
};

inline std::size_t RowBytes(const ModeLayout& layout, std::uint32_t width) {
    return (std::size_t{width} * layout.bitsPerPixel + 7) / 8;
}

// Sample depths worth trying for a mode; 8-bit modes have only their own.
inline std::vector<std::uint8_t> DepthsOf(std::uint8_t mode) {
    if (mode == ModeGray32) return {1, 2, 9, 16, 17, 24, 30, 31};
    if (mode == ModeGray16 || mode == ModeRGB48 || mode == ModeLab48 || mode == ModeCMYK64)
        return {1, 5, 8, 12, 15, 16};
    return {8};
}

// Random pixels that the mode can represent: b significant bits where the alignment puts
// them, and zero padding bits after the last pixel of a bitmap or nibble row.
inline void FillRow(const ModeLayout& layout, std::uint32_t width, std::uint8_t b,
                    SampleAlignment alignment, std::mt19937& rng, std::uint8_t* row) {
    const std::size_t rowBytes = RowBytes(layout, width);
    if (layout.mode == ModeGray32) {
        const std::uint32_t valueMask = b == 32 ? ~0u : (1u << b) - 1;
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint32_t word = rng() & valueMask;
            if (alignment == SampleAlignment::Top) word <<= 31 - b;
            std::memcpy(row + 4 * x, &word, 4);
        }
        return;
    }
    if (layout.bitsPerPixel % 16 == 0 && layout.bitsPerPixel / layout.channels == 16) {
        for (std::size_t i = 0; i < rowBytes / 2; ++i) {
            std::uint16_t word = static_cast<std::uint16_t>(rng() & ((1u << b) - 1));
            if (alignment == SampleAlignment::Top)
                word = static_cast<std::uint16_t>(word << (16 - b));
            std::memcpy(row + 2 * i, &word, 2);
        }
        return;
    }
    for (std::size_t i = 0; i < rowBytes; ++i)
        row[i] = static_cast<std::uint8_t>(rng());
    if (layout.mode == ModeBitmap && width % 8 != 0)
        row[rowBytes - 1] &= static_cast<std::uint8_t>(0xFF00 >> (width % 8));
    if (layout.mode == ModeRGB12 && width % 2 != 0) row[rowBytes - 1] &= 0x0F;
}
