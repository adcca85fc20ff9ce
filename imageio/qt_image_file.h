// Raster formats read and written through Qt's imaging classes (QtGui only; no display needed).
#pragma once

#include "raster_image.h"

#include <string>

// Reads any format the installed Qt image plugins read. The mode follows the decoded bitmap:
// 1 bit -> Bitmap (black pixels as set bits), 8-bit gray ramp -> Gray, other palettes ->
// Indexed, 16-bit gray -> Gray16, 16-bit-per-channel colour without alpha -> RGB48, colour with
// alpha -> ARGB, other colour -> RGB. The ICC profile the file embeds comes with the image (left
// out, with profileDropped set, when it cannot be used). Throws ImageFileError ("Cannot read
// image header." also for an image far larger than the file could encode, refused before Qt
// allocates it).
RasterImage ReadQtImageFile(const std::string& path);

// True when the Qt encoder that the file's extension selects holds the mode: Bitmap, Gray,
// Indexed, RGB and ARGB for every encoder, Gray16 and RGB48 for PNG and TIFF (".png", ".tif",
// ".tiff"), which keep 16-bit samples.
bool CanWriteQtImage(ImageMode mode, const std::string& path);

// Writes the image with the encoder the extension selects: display-held modes from the display
// image, Gray16 and RGB48 at 16 bits with samples stretched from 0 ... maximum channel value to
// 0 ... 65535; the image's profile is embedded where the encoder stores one. Throws ImageFileError
// ("Cannot save image.\nThere is no suitable image format." where CanWriteQtImage is false, before
// the file is touched).
void WriteQtImageFile(RasterImage& image, const std::string& path);
