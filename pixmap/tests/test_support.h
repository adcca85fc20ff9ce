// Helpers shared by the pixel-map tests: random maps of any mode, maps over bottom-up caller
// memory, and a plain per-pixel reader that does not use the library's row code.
#pragma once

#include "pix_map.h"
#include "pixmap_factory.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

// Channel values of pixel (x, y) in buffer coordinates, read straight from the layout table:
// bytes, little-endian words, RGB16 fields (blue, green, red), RGB12 nibbles or the Bitmap bit.
inline std::vector<std::int64_t> PixelValues(const CPixMap& map, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* row = map.Row(y);
    switch (map.GetMode()) {
    case ModeBitmap:
        return {(row[x / 8] >> (7 - x % 8)) & 1};
    case ModeRGB12: {
        std::vector<std::int64_t> values;
        for (std::uint32_t i = 3 * x; i < 3 * x + 3; ++i)
            values.push_back((row[i / 2] >> (i % 2 * 4)) & 0xF);
        return values;
    }
    case ModeRGB16: {
        const unsigned word = row[2 * x] | row[2 * x + 1] << 8;
        return {word & 0x1F, (word >> 5) & 0x3F, word >> 11};
    }
    default:
        break;
    }
    const int channels = map.GetChannels();
    const int bytes = map.BitsPerPixel() / 8 / channels;
    std::vector<std::int64_t> values;
    for (int c = 0; c < channels; ++c) {
        std::int64_t v = 0;
        for (int b = bytes - 1; b >= 0; --b)
            v = v << 8 | row[(x * channels + c) * bytes + b];
        values.push_back(v);
    }
    return values;
}

// Random pixels (Gray32 within 30 bits) and, for Indexed, a random color table.
inline void Randomize(CPixMap& map, std::uint32_t seed) {
    std::mt19937 random(seed);
    const std::uint64_t rowBytes = (std::uint64_t{map.Width()} * map.BitsPerPixel() + 7) / 8;
    for (std::uint32_t y = 0; y < map.Height(); ++y) {
        std::uint8_t* row = map.Row(y);
        for (std::uint64_t i = 0; i < rowBytes; ++i)
            row[i] = static_cast<std::uint8_t>(random());
        if (map.GetMode() == ModeGray32)
            for (std::uint64_t i = 3; i < rowBytes; i += 4)
                row[i] &= 0x3F;
    }
    if (map.GetMode() == ModeIndexed) {
        std::uint8_t* table = map.AllocColorTable();
        for (int i = 0; i < 256 * 4; ++i)
            table[i] = static_cast<std::uint8_t>(random());
    }
}

inline std::unique_ptr<CPixMap> RandomMap(std::uint32_t mode, std::uint32_t width,
                                          std::uint32_t height, std::uint32_t seed) {
    auto map = CreatePixMap(PixRect{0, 0, width, height}, mode);
    Randomize(*map, seed);
    return map;
}

// A pixel map over caller memory whose rows lie bottom row first (negative stride), as over a
// bottom-up device-independent bitmap; the memory outside the rows is a guard of 0xA5 bytes.
struct BottomUpMap {
    std::vector<std::uint8_t> memory;
    std::unique_ptr<CPixMap> map;
    std::int32_t stride;

    BottomUpMap(std::uint32_t mode, std::uint32_t width, std::uint32_t height) {
        const ModeLayout* layout = FindModeLayout(mode);
        stride = static_cast<std::int32_t>(
            ((std::uint64_t{width} * layout->bitsPerPixel + 7) / 8 + 7) / 4 * 4);
        memory.assign(static_cast<std::size_t>(stride) * (height + 2), 0xA5);
        std::uint8_t* top = memory.data() + static_cast<std::size_t>(stride) * height;
        map = AttachPixMap(width, height, mode, top, -stride);
    }

    bool GuardsIntact() const {
        for (std::size_t i = 0; i < static_cast<std::size_t>(stride); ++i)
            if (memory[i] != 0xA5 || memory[memory.size() - 1 - i] != 0xA5) return false;
        return true;
    }
};

inline bool SamePixels(const CPixMap& a, const CPixMap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (std::uint32_t y = 0; y < a.Height(); ++y)
        for (std::uint32_t x = 0; x < a.Width(); ++x)
            if (PixelValues(a, x, y) != PixelValues(b, x, y)) return false;
    return true;
}

inline constexpr std::uint32_t kPixMapModes[] = {
    ModeBitmap, ModeGray,  ModeIndexed, ModeRGB,  ModeCMYK,   ModeLab,   ModeGray16,
    ModeRGB48,  ModeLab48, ModeCMYK64,  ModeARGB, ModeGray32, ModeRGB12, ModeRGB16};
