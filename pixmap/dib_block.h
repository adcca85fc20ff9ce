// The platform's device-independent bitmap clipboard block: a 40-byte information header, the
// color table (up to 8 bits per pixel) or three bit-field masks, then the rows, bottom row first,
// each padded to 4 bytes.
#pragma once

#include "display_image.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

inline constexpr std::size_t kDibHeaderSize = 40;
inline constexpr std::uint32_t kDibUncompressed = 0;
inline constexpr std::uint32_t kDibBitFields = 3;

// The display image of a block. Display modes: 1 bit -> Bitmap; 4 bits -> Indexed; 8 bits -> Gray
// when the table is the gray ramp, else Indexed; 16 bits with bit fields -> RGB16; 32 bits without
// bit fields -> ARGB (per-pixel alpha); other 16, 24 and 32-bit images -> RGB. A negative height
// stores the rows top row first. Throws IOException: ErrorWrongFormat for a block shorter than
// its header, a header size below 40, a size of 0, a depth other than 1, 4, 8, 16, 24 or 32, or a
// compression other than none (or bit fields at 16 and 32 bits); ErrorShortRead when the table,
// masks or rows are not all in the block (checked before anything is allocated);
// ErrorOutOfMemory when the image cannot be created. Bytes past the rows are ignored.
std::unique_ptr<CDisplayImage> ReadDibBlock(std::span<const std::uint8_t> block);

// The block of a display image: a 40-byte header with a positive height, the full color table
// (2^bits entries) or the masks, then the rows from the bottom row up.
std::vector<std::uint8_t> WriteDibBlock(const CDisplayImage& image);
