// Reading and writing the tile index in the container file, plain or as one zlib stream.
#pragma once

#include "qvt_stream.h"
#include "tile_index.h"

#include <cstdint>

// Reads `length` bytes of entries (16 per entry) kept in `stored` bytes at `offset`; an offset or
// length of 0 gives an empty index. The stored form must hold exactly `length` bytes: a plain
// index of another size or a zlib stream inflating to another size is ErrorWrongFormat, a
// length that is no multiple of 16 ErrorOutOfMemory, a broken zlib stream ErrorZlib, stored
// bytes beyond the end of the stream ErrorShortRead (checked before anything is allocated).
// The caller bounds `length`; the result counts as sorted by tile number.
CIndex ReadIndex(CQVTStream& stream, std::uint8_t compression, std::uint64_t offset,
                 std::uint32_t length, std::uint64_t stored);

// Writes the entries in their current order at `offset` and returns the stored length; an
// empty index writes nothing and returns 0.
std::uint64_t WriteIndex(const CIndex& index, CQVTStream& stream, std::uint8_t compression,
                         std::uint64_t offset);
