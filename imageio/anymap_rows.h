// Binary anymap rows into pixel-map rows: samples in memory order (blue, green, red for
// pixmaps), shared by the whole-file reader and the strip reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// 8-bit samples 0 ... maxval as 0 ... 255; values above maxval count as maxval. At full range
// (the usual case) rows are copied without the table.
struct ByteSampleScale {
    explicit ByteSampleScale(std::uint32_t maxval);
    std::array<std::uint8_t, 256> table;
    bool identity;
};

// Three-byte pixels with their outer bytes swapped: red, green, blue to blue, green, red and back.
void SwapOuterBytes(std::uint8_t* to, const std::uint8_t* from, std::size_t pixels);

// One row of 8-bit samples (`rowBytes` of them, `channels` per pixel) through `scale`.
void StoreByteRow(const std::uint8_t* from, std::uint8_t* to, std::size_t rowBytes, int channels,
                  const ByteSampleScale& scale);

// One row of big-endian 16-bit samples (`width` pixels, 1 or 3 channels) as native 16-bit words
// holding the values themselves, clamped to maxval; `to` is 2-byte aligned.
void StoreWordRow(const std::uint8_t* from, std::uint8_t* to, std::size_t width, int channels,
                  std::uint32_t maxval);
