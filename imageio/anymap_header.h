// The text header of a portable anymap: magic line, size line, maxval line, with comment lines
// allowed before each of them.
#pragma once

#include <cstdint>
#include <streambuf>

struct AnymapHeader {
    int magic = 0; // 0 ... 6 from "P0" ... "P6"
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maxval = 1; // 1 for bitmaps
};

// Reads the header lines from `in`, leaving it at the first raster byte. Throws ImageFileError.
AnymapHeader ReadAnymapHeader(std::streambuf& in);
