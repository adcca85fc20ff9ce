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

inline bool IsPlainAnymap(int magic) { return magic <= 3; }
inline bool IsBitmapAnymap(int magic) { return magic == 1 || magic == 4; }
inline int AnymapChannels(int magic) { return magic == 3 || magic == 6 ? 3 : 1; }

// A truncated file still opens, but a header that announces far more raster than the rest of `in`
// holds is a lie, not a truncation: refused ("Cannot read image header.") before anything is
// allocated. `in` stays where it was.
void CheckAnymapRasterSize(const AnymapHeader& header, std::streambuf& in);
