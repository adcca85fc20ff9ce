// Moving samples between packed PNG rows and a caller's pixel rows through a channel map, in
// bytes or in 16-bit words kept in memory byte order.
#pragma once

#include "channel_image.h"

#include <cstddef>
#include <cstdint>

// |stride| without overflow for the most negative value.
inline std::uint64_t StrideBytes(std::ptrdiff_t stride) {
    return stride < 0 ? 0 - static_cast<std::uint64_t>(stride) : static_cast<std::uint64_t>(stride);
}

struct SampleCopy {
    std::uint32_t unitBytes = 1;   // 2 for 16-bit samples
    std::uint32_t pngChannels = 1; // units per PNG pixel
    std::uint32_t callerUnits = 1; // units per caller pixel
    // Pixels per row; for a 1-bit image the packed bytes, each moved as one unit.
    std::uint64_t units = 0;
    ChannelMap map;
};

// The copy of one row of `width` pixels. Throws ErrorWrongFormat when a mapped channel would
// fall outside its caller pixel or the caller's row would be longer than |stride|.
SampleCopy ResolveSampleCopy(int bitDepth, int channels, std::uint32_t width,
                             std::uint32_t bitsPerPixel, const ChannelMap* map,
                             std::ptrdiff_t stride);

void CopyPngRowToCaller(const SampleCopy& copy, const std::uint8_t* pngRow,
                        std::uint8_t* callerRow);
void CopyCallerRowToPng(const SampleCopy& copy, const std::uint8_t* callerRow,
                        std::uint8_t* pngRow);
