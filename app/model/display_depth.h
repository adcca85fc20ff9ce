// Bitmaps as they arrive from files and other programs can have depths no command expects:
// 4-bit indexed, 16-bit 5-5-5 or 5-6-5, 32-bit bit fields, 32-bit without alpha. They are
// converted once, where they come in, so that every document holds a display image of 1, 8,
// 24 or 32 bits (modes Bitmap, Gray, Indexed, RGB, ARGB) that every later command can wrap.
#pragma once

#include "raster_image.h"

// 4 bits -> 8-bit Indexed with the same colors; 16 bits with 5-6-5 masks -> an RGB16 pixel map
// shown as 24-bit RGB; other 16-bit layouts and 32-bit bit fields -> 24-bit RGB; 32 bits whose
// alpha is 0 everywhere (files that leave the fourth byte unused) -> 24-bit RGB. Other images
// pass unchanged. Throws ImageFileError("Image creation failed.") when memory runs out.
RasterImage NormalizeDisplayDepth(std::unique_ptr<CDisplayImage> image);
