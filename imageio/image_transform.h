// The mode and size changes the convert command makes (and the image commands will make).
#pragma once

#include "raster_image.h"

#include <cstdint>

// True when a pixel map of the image's mode converts to `mode`.
bool CanConvertImage(RasterImage& image, ImageMode mode);

// The image in another mode. A deep image whose maximum is below its full range is stretched to
// the full range first, so conversions see it at its real brightness; the result's maximum is
// the full range of the new mode. Throws ImageFileError.
RasterImage ConvertImage(RasterImage& image, ImageMode mode);

// The image resampled to width × height in its own mode. Throws ImageFileError.
RasterImage ResizeImage(RasterImage& image, std::uint32_t width, std::uint32_t height);
