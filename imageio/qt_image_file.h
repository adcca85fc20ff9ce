// Raster formats read and written through Qt's imaging classes (QtGui only; no display needed).
#pragma once

#include "raster_image.h"

#include <string>

// Reads any format the installed Qt image plugins read. The mode follows the decoded bitmap:
// 1 bit -> Bitmap (black pixels as set bits), 8-bit gray ramp -> Gray, other palettes ->
// Indexed, 16-bit gray -> Gray16, 16-bit-per-channel colour without alpha -> RGB48, colour with
// alpha -> ARGB, other colour -> RGB. Throws ImageFileError ("Cannot read image header." also for
// an image far larger than the file could encode, refused before Qt allocates it).
RasterImage ReadQtImageFile(const std::string& path);

// True when a Qt encoder is selected by the file's extension.
bool CanWriteQtImage(const std::string& path);

// Writes Bitmap, Gray, Indexed, RGB and ARGB images with the encoder the extension selects.
// Throws ImageFileError ("Cannot save image.\nThere is no suitable image format." for other
// modes or extensions without an encoder).
void WriteQtImageFile(RasterImage& image, const std::string& path);
