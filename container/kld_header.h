// The fixed part at the start of a container file: magic, header and layout block, their
// little-endian byte layout, and the rules that complete and check a header.
#pragma once

#include "pix_rect.h"

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kKLDLeadInSize = 8;     // magic, version, header length
inline constexpr std::size_t kKLDHeaderSize = 22;    // the current header length
inline constexpr std::size_t kKLDLayoutSize = 24;    // KLDExtLayout, packed
inline constexpr std::uint8_t kKLDFormatVersion = 3; // written, not checked on reading
inline constexpr std::size_t kKLDFixedPartSize = 54; // lead-in, header and layout block
inline constexpr std::size_t kIndexEntrySize = 16;

// Header byte 18.
enum IndexCompression : std::uint8_t { IndexPlain = 0, IndexZlib = 1 };
// Header byte 19.
enum TileOrderingKind : std::uint8_t { OrderingRowWise = 0, OrderingHilbert = 1 };

struct KLDExtHeader {
    std::uint8_t bitsPerPixel = 0;
    std::uint8_t mode = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t channels = 0;
    std::array<std::uint8_t, 3> background{}; // blue, green, red
    std::uint16_t tileWidth = 0;
    std::uint16_t tileHeight = 0;
    std::uint8_t indexCompression = IndexPlain;
    std::uint8_t ordering = OrderingRowWise;
    std::uint8_t bitsPerChannel = 0; // written for other readers, never read back here
    std::uint8_t defaultQuality = 0;

    bool operator==(const KLDExtHeader&) const = default;
};

struct KLDExtLayout {
    std::uint64_t indexOffset = 0;   // also the end of the tile data
    std::uint32_t indexLength = 0;   // uncompressed, 16 bytes per entry
    std::uint64_t previewOffset = 0; // index offset + stored index length
    std::uint32_t userDataLength = 0;

    bool operator==(const KLDExtLayout&) const = default;
};

std::array<std::uint8_t, kKLDHeaderSize> StoreKLDExtHeader(const KLDExtHeader& header);
// Reads the first `size` (at most 22) bytes; the fields of a shorter, older header that lie
// beyond them read as zero.
KLDExtHeader LoadKLDExtHeader(const std::uint8_t* bytes, std::size_t size);

std::array<std::uint8_t, kKLDLayoutSize> StoreKLDExtLayout(const KLDExtLayout& layout);
KLDExtLayout LoadKLDExtLayout(const std::uint8_t* bytes);

// The magic, version 3 and the current header length.
std::array<std::uint8_t, kKLDLeadInSize> StoreKLDLeadIn();
// True for the magic "KLE" and for "QVE" of older files.
bool HasKLDMagic(const std::uint8_t* leadIn);

// Completes a header for a new container: bits per pixel and channels from the mode, or for
// mode 0 the mode from the bits per pixel. Bits per channel stay as the caller set them.
void NormalizeKLDExtHeader(KLDExtHeader& header);

// Every tile is read and written whole through a pixel map, so no tile may take more bytes than
// this: a header alone could otherwise make a reader allocate gigabytes for a tile the file
// never stored.
inline constexpr std::uint64_t kLargestTileBytes = std::uint64_t{256} << 20;

// Refuses what no container can hold (ErrorWrongFormat): a mode without pixel maps, non-zero
// bits per pixel or channels other than the mode's (see NormalizeKLDExtHeader), a tile
// side of 0, a tile (the last column's and row's included) of more than kLargestTileBytes, an
// image smaller than one tile, a grid with more tiles than tile numbers exist, an unknown index
// compression or tile ordering byte.
void CheckKLDExtHeader(const KLDExtHeader& header);

// Where tile data start: the first 4-aligned offset at or after the user data, for a file whose
// stored header is `headerLength` bytes long.
std::uint64_t TileDataStart(std::uint64_t headerLength, std::uint64_t userDataLength);

// The mode of the preview image for a container mode; ModeNotGiven when there is none.
std::uint8_t PreviewMode(std::uint8_t containerMode);

// The tile grid: columns = width ÷ tile width, rows = height ÷ tile height (rounded down); the
// last column and row absorb the remainder.
struct TileGrid {
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;

    explicit TileGrid(const KLDExtHeader& header);
    std::uint64_t TileCount() const { return std::uint64_t{columns} * rows; }
};

// The pixels of the tile in (column, row); the cell must lie inside the grid.
PixRect TileCellRect(const KLDExtHeader& header, std::uint32_t column, std::uint32_t row);
