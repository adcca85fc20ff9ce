// The part of the decoded planes that an export writes: the whole image, or a region of
// interest inside the decoded, tile-aligned areas of a region read.
#pragma once

#include "channel_image.h"
#include "region_rect.h"

#include <array>
#include <cstdint>

// A sample position inside a plane.
struct PlaneOrigin {
    std::uint32_t column = 0;
    std::uint32_t row = 0;
};

struct ExportArea {
    std::uint32_t width = 0; // output pixels
    std::uint32_t height = 0;
    // Image position of the first output pixel at the current level. Halved chroma is read at
    // the image's own phase, so an odd left or top shifts the 2 x 2 blocks by one pixel.
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    // Plane position of the sample that the first output pixel reads, per channel.
    std::array<PlaneOrigin, kMaxChannels> origins{};
};

// image.width x image.height from the start of every plane.
ExportArea WholeImageArea(const ChannelImage& image);

// The export area of a region read. `region` is the region of interest at the current level,
// `decodedTopLeft[c]` the top-left corner of channel c's decoded area in that channel's own
// coordinates (halved for halved chroma); the planes handed to the export start there.
// A region at least as large as the image exports the whole image. Throws ErrorWrongFormat for
// an empty region or one that starts before a decoded area.
ExportArea RegionExportArea(const ChannelImage& image, const RegionRect& region,
                            const std::array<PlaneOrigin, kMaxChannels>& decodedTopLeft);

// Rows first … first + count - 1 of `area` (which must have them) as an area of their own.
ExportArea AreaRows(const ChannelImage& image, const ExportArea& area, std::uint32_t first,
                    std::uint32_t count);
