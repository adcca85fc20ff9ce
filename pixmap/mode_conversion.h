// Mode conversion of whole pixel maps: which targets each mode supports, and the conversion
// itself, dispatched once per call to a row kernel or to one of the whole-image conversions.
#pragma once

#include "pix_map.h"

bool CanConvert(ImageMode source, ImageMode target);

// Converts every pixel of `source` into `destination` (same size, a supported target mode);
// anything else leaves the destination unchanged. Converting to the same mode copies the whole
// map (with its color table for Indexed). An Indexed source without a color table has no colors
// to convert and leaves the destination unchanged.
void ConvertPixMap(const CPixMap& source, CPixMap& destination);

// Gray -> Bitmap by error diffusion over a working width of the Bitmap stride × 8 columns.
void DiffuseGrayToBitmap(const CPixMap& gray, CPixMap& bitmap);

// RGB16 -> Indexed with a table of 256 pixels sampled by std::mt19937 seeded with width × height.
void ConvertRgb16ToIndexed(const CPixMap& source, CPixMap& indexed);
// RGB12 -> Indexed with the table of the 256 most frequent colors.
void ConvertRgb12ToIndexed(const CPixMap& source, CPixMap& indexed);
// RGB -> Indexed through a temporary RGB16 map.
void ConvertRgbToIndexed(const CPixMap& source, CPixMap& indexed);
