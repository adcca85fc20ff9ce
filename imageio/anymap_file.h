// Portable anymap files: bitmaps (P1 plain, P4 binary), graymaps (P2, P5) and pixmaps (P3, P6)
// with samples of up to 16 bits.
#pragma once

#include "image_rows.h"
#include "raster_image.h"

#include <cstdint>
#include <string>

// Reads P1 ... P6. The display image holds 1-bit, 8-bit gray or 24-bit pixels scaled to 0 ... 255;
// files with a maxval above 255 also give a Gray16 or RGB48 pixel map holding the samples
// themselves (0 ... maxval, the maxval kept as the image's maximum channel value). Header tokens
// may share lines, with comments between them; plain bitmap digits may go without separators.
// A file that ends inside its raster still opens, with `incomplete` set and the missing samples
// 0 (callers warn with kIncompleteImage). Throws ImageFileError: the system's text when the
// file cannot be opened, the codec's wrong-format text for a magic other than "P0" ... "P6",
// "Cannot read image header." for a header that is malformed, out of range or announces far
// more raster than the file holds, and for a plain raster holding anything else where a sample
// belongs a text naming what was found and its row and column (counted from 1).
RasterImage ReadAnymapFile(const std::string& path);

// The modes an anymap holds: Bitmap, Gray, RGB, Gray16 and RGB48.
bool IsAnymapMode(std::uint32_t mode);

// Writes the variant the mode selects (P1/P4, P2/P5, P3/P6), binary or plain text. Samples never
// exceed the written maxval: 8-bit images with a maximum below 255 are scaled back to it, deep
// images write their samples with their maximum (65535 when none is known). Throws
// ImageFileError: "Cannot save image.\nThere is no suitable image format." for another mode
// (before the file is touched), the system's text when the file cannot be written.
void WriteAnymapFile(RasterImage& image, const std::string& path, bool binary);
// The same from rows handed out a strip at a time.
void WriteAnymapFile(ImageRowSource& image, const std::string& path, bool binary);
