// The text header of a portable anymap: whitespace-separated tokens (magic, width, height and,
// but for bitmaps, maxval), with "#" comments to the end of a line allowed around any of them.
#pragma once

#include <cstdint>
#include <ios>
#include <streambuf>

struct AnymapHeader {
    int magic = 0; // 0 ... 6 from "P0" ... "P6"
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maxval = 1; // 1 for bitmaps
};

// Reads the header from `in` and the one whitespace byte (or comment) after its last token,
// leaving `in` at the first raster byte. Throws ImageFileError: the codec's wrong-format text
// for a magic other than "P0" ... "P6", "Cannot read image header." for a missing token or a
// value that is not a number or out of range.
AnymapHeader ReadAnymapHeader(std::streambuf& in);

// The white space that separates header tokens and plain samples (a character of a streambuf).
inline bool IsAnymapSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline bool IsPlainAnymap(int magic) { return magic <= 3; }
inline bool IsBitmapAnymap(int magic) { return magic == 1 || magic == 4; }
inline int AnymapChannels(int magic) { return magic == 3 || magic == 6 ? 3 : 1; }

// A truncated file still opens, but a header that announces far more raster than the rest of `in`
// holds is a lie, not a truncation: refused ("Cannot read image header.") before anything is
// allocated. `in` stays where it was.
void CheckAnymapRasterSize(const AnymapHeader& header, std::streambuf& in);

// Runs `read`, which reads a file buffer: the library reports a failed read (a folder, a bad
// disk) by throwing from inside the buffer, and that becomes ImageFileError with the system's
// text.
[[noreturn]] void ThrowAnymapReadFailure(const std::ios_base::failure& failure);
template <typename Read>
decltype(auto) WithAnymapReadErrors(Read&& read) {
    try {
        return read();
    } catch (const std::ios_base::failure& failure) {
        ThrowAnymapReadFailure(failure);
    }
}
