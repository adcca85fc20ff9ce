// The channel planes of a codec image as the pixel exchange sees them, and the settings of one
// exchange between those planes and interleaved pixel rows.
#pragma once

#include "image_mode.h"
#include "progress.h"
#include "qvt_format.h"

#include <array>
#include <cstdint>

// One plane of signed 32-bit samples. `stride` is the distance in samples between rows.
struct SamplePlane {
    std::int32_t* samples = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0;
};

struct ChannelImage {
    std::uint8_t mode = ModeNotGiven;
    // Pixel size: the header's for import; channel 0's at the current level for export.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t channels = 0;
    // Significant bits b of a sample in the 16- and 32-bit-per-channel modes (the image's
    // channel depth); 1..16 for modes 10 to 13, 1..31 for Gray32. Ignored by the other modes.
    std::uint8_t sampleBits = 0;
    std::uint8_t version = 0;
    // Channels 1 and up hold one sample per 2 x 2 pixels (export only; import fills full planes).
    bool chromaHalved = false;
    std::array<SamplePlane, kMaxChannels> planes{};
};

// Channel c takes its samples from component position[c] of each pixel.
struct ChannelMap {
    std::array<std::uint8_t, kMaxChannels> position{0, 1, 2, 3, 4, 5, 6, 7};
};

// Where the b significant bits of a sample sit in its 16- or 32-bit word. Top is the codec's
// own convention (word >> (16 - b), word >> (31 - b)); Low holds the value itself, 0 .. 2^b - 1,
// as pixel maps and anymaps with a small maximum do. Both give the same channel samples, so
// the choice changes the buffer, never the file. Narrower export buffers scale either way.
enum class SampleAlignment : std::uint8_t { Top, Low };

struct PixelExchange {
    const ChannelMap* channelMap = nullptr; // null: the identity
    SampleAlignment alignment = SampleAlignment::Top;
    ProgressCallback progress = nullptr;
    void* progressData = nullptr;
    // Rows are shared among this many threads (0: the parallel runtime's default) when no
    // progress is reported; the result does not depend on it.
    int threads = 1;
};
