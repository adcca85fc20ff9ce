// Test support: channel planes with owned storage, and pixel buffers with guard bytes after
// every row so that a test sees any write past a row.
#pragma once

#include "channel_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Planes of the given sizes, each stored without padding, wrapped in a ChannelImage.
struct TestChannels {
    ChannelImage image;
    std::vector<std::vector<std::int32_t>> storage;

    TestChannels(std::uint8_t mode, std::uint32_t width, std::uint32_t height, int channels,
                 std::uint8_t sampleBits = 0, bool chromaHalved = false) {
        image.mode = mode;
        image.width = width;
        image.height = height;
        image.channels = static_cast<std::uint8_t>(channels);
        image.sampleBits = sampleBits;
        image.version = 0x76;
        image.chromaHalved = chromaHalved;
        storage.resize(channels);
        for (int c = 0; c < channels; ++c) {
            const bool halved = chromaHalved && c >= 1;
            Resize(c, halved ? (width + 1) >> 1 : width, halved ? (height + 1) >> 1 : height);
        }
    }

    void Resize(int c, std::uint32_t width, std::uint32_t height) {
        storage[c].assign(std::size_t{width} * height, 0);
        image.planes[c] = {storage[c].data(), width, height, width};
    }

    std::int32_t& At(int c, std::uint32_t x, std::uint32_t y) {
        return storage[c][std::size_t{y} * image.planes[c].stride + x];
    }
};

inline constexpr std::uint8_t kGuardByte = 0xA5;
inline constexpr std::size_t kGuardBytes = 3;

// Rows of rowBytes bytes followed by guard bytes; top-down, or bottom-up with a negative pitch
// (the first row then sits last in memory).
struct TestRows {
    std::size_t rowBytes;
    std::uint32_t height;
    bool bottomUp;
    std::vector<std::uint8_t> memory;

    TestRows(std::size_t rowBytes_, std::uint32_t height_, bool bottomUp_ = false,
             std::uint8_t fill = kGuardByte)
        : rowBytes(rowBytes_), height(height_), bottomUp(bottomUp_),
          memory((rowBytes_ + kGuardBytes) * height_, kGuardByte) {
        for (std::uint32_t y = 0; y < height; ++y)
            std::fill_n(Row(y), rowBytes, fill);
    }

    std::ptrdiff_t Pitch() const {
        const auto pitch = static_cast<std::ptrdiff_t>(rowBytes + kGuardBytes);
        return bottomUp ? -pitch : pitch;
    }
    std::uint8_t* Row(std::uint32_t y) {
        const std::uint32_t slot = bottomUp ? height - 1 - y : y;
        return memory.data() + std::size_t{slot} * (rowBytes + kGuardBytes);
    }
    std::uint8_t* Bits() { return height == 0 ? memory.data() : Row(0); }

    bool GuardsIntact() {
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::size_t i = 0; i < kGuardBytes; ++i)
                if (Row(y)[rowBytes + i] != kGuardByte) return false;
        return true;
    }
    // The pixel bytes of every row, without guards, top row first.
    std::vector<std::uint8_t> Pixels() {
        std::vector<std::uint8_t> pixels;
        for (std::uint32_t y = 0; y < height; ++y)
            pixels.insert(pixels.end(), Row(y), Row(y) + rowBytes);
        return pixels;
    }
};
