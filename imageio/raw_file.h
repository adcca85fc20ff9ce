// Raw pixel files: the interleaved rows of one mode, top row first, each row exactly
// (width × bits per pixel + 7) / 8 bytes in the pixel maps' own layout, with no header.
#pragma once

#include "raster_image.h"

#include <cstdint>
#include <string>

struct RawLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ImageMode mode = ModeNotGiven;
    // Largest sample of a deep mode; 0 = the mode's full range.
    std::uint32_t maxChannelValue = 0;
};

// Every mode with a pixel map but Indexed (which would need a color table).
bool IsRawMode(std::uint32_t mode);

// Reads the rows; deep samples above the maximum are clamped to it. A file shorter than the
// layout opens with `incomplete` set. Throws ImageFileError.
RasterImage ReadRawFile(const std::string& path, const RawLayout& layout);

// Writes the image's rows in its own mode with every padding bit 0. Throws ImageFileError.
void WriteRawFile(RasterImage& image, const std::string& path);
