// The layout of the pixel buffer of one exchange, resolved and checked once per call, so that
// the row loops can run without a test and never touch memory outside a pixel row.
#pragma once

#include "channel_image.h"

#include <array>
#include <cstddef>
#include <cstdint>

enum class PixelUnit : std::uint8_t { Bit, Byte, Word16, Word32, Nibble, PackedRgb16 };

struct PixelLayout {
    PixelUnit unit = PixelUnit::Byte;
    std::uint32_t unitsPerPixel = 0; // byte and word units only
    // Units from the start of a pixel to the component of each channel.
    std::array<std::uint32_t, kMaxChannels> position{};
    std::uint64_t rowBytes = 0;
};

// Channels a mode exchanges; 0 for the modes the codec does not exchange.
int ExchangedChannels(const ChannelImage& image);

bool IsDeepMode(std::uint8_t mode);

// The buffer unit of each direction. Import takes the mode's own words; export may narrow.
PixelUnit ImportUnit(std::uint8_t mode);
PixelUnit ExportUnit(std::uint8_t mode, std::uint32_t bitsPerPixel, int channels);

// Checks the image description and a buffer of width x height pixels for `channels` exchanged
// channels; throws ErrorWrongFormat for anything that would read or write outside a pixel or
// a row.
PixelLayout ResolvePixelLayout(const ChannelImage& image, std::uint32_t width, std::uint32_t height,
                               int channels, PixelUnit unit, std::uint32_t bitsPerPixel,
                               const ChannelMap* map, const void* bits, std::ptrdiff_t rowPitch);

// Throws ErrorWrongFormat unless the plane holds samples up to (lastColumn, lastRow).
void CheckPlaneReach(const SamplePlane& plane, std::uint64_t lastColumn, std::uint64_t lastRow);
