// The memory layout of each image mode that has a pixel map class: bits per pixel, channels and
// their letters, how pixels are packed, and the default background value.
#pragma once

#include "image_mode.h"

#include <array>
#include <cstdint>
#include <optional>

struct ModeLayout {
    ImageMode mode;
    std::uint8_t bitsPerPixel;
    std::uint8_t channels;
    const char* letters; // one letter per channel, channel 0 first
    // Pixels are built from units of this many bits: 8 for whole bytes, 4 for the RGB12 nibbles
    // (low nibble of a byte first), 1 for Bitmap (most significant bit first).
    std::uint8_t unitBits;
    std::uint8_t backgroundSize;
    std::array<std::uint8_t, 8> defaultBackground; // little-endian words
};

// The layout of a mode, or nullptr for a mode without a pixel map class (5 to 8, 14 to 16, > 20).
const ModeLayout* FindModeLayout(std::uint32_t mode);

// Bytes that hold `width` pixels of `bitsPerPixel`, rounded up to whole bytes.
inline std::uint64_t RowBytes(std::uint8_t bitsPerPixel, std::uint32_t width) {
    return (std::uint64_t{width} * bitsPerPixel + 7) / 8;
}

// The 4-byte aligned stride of an owned buffer, or nothing when it does not fit in 31 bits.
std::optional<std::int32_t> OwnedStride(std::uint8_t bitsPerPixel, std::uint32_t width);
