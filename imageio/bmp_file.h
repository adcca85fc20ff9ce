// BMP files read as the bitmap they store, at their own depth (1, 4, 8, 16, 24 or 32 bits, with
// their bit-field masks), so that the program can keep what a general decoder would widen
// (5-6-5 pixels, for one). Compressed files are left to the platform's decoder.
#pragma once

#include "display_image.h"

#include <memory>
#include <string>

// The display image of an uncompressed or bit-field BMP file, or null for one this reader
// leaves to another decoder (run-length or embedded compression, the old 12-byte header).
// Throws ImageFileError: the system's text when the file cannot be read, the codec's
// wrong-format text for a file that is not a BMP file or has an impossible header, its
// short-read text when the pixels are not all there (checked before anything is allocated).
std::unique_ptr<CDisplayImage> ReadBmpFile(const std::string& path);
