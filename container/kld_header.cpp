#include "kld_header.h"

#include "byte_order64.h"
#include "image_mode.h"
#include "mode_layout.h"
#include "ordering.h"
#include "qvt_error.h"

#include <algorithm>
#include <cstring>

namespace {

struct PixelFormat {
    std::uint8_t bitsPerPixel;
    std::uint8_t channels;
};

// Modes whose pixel size is fixed; other modes keep what the caller gave.
bool FixedPixelFormat(std::uint8_t mode, PixelFormat& format) {
    switch (mode) {
    case ModeGray:
    case ModeIndexed:
        format = {8, 1};
        return true;
    case ModeRGB:
    case ModeLab:
        format = {24, 3};
        return true;
    case ModeCMYK:
    case ModeARGB:
        format = {32, 4};
        return true;
    case ModeGray16:
        format = {16, 1};
        return true;
    case ModeRGB48:
    case ModeLab48:
        format = {48, 3};
        return true;
    case ModeCMYK64:
        format = {64, 4};
        return true;
    case ModeGray32:
        format = {32, 1};
        return true;
    case ModeRGB12:
        format = {12, 3};
        return true;
    case ModeRGB16:
        format = {16, 3};
        return true;
    default:
        return false;
    }
}

// A header of mode 0 names its pixels by bits per pixel alone; some sizes also fix channels.
void DeriveModeFromBitsPerPixel(KLDExtHeader& header) {
    if (header.channels == 0)
        header.channels = static_cast<std::uint8_t>((header.bitsPerPixel + 7) / 8);
    switch (header.bitsPerPixel) {
    case 1:
        header.mode = ModeBitmap;
        break;
    case 8:
        header.mode = ModeGray;
        break;
    case 12:
        header.mode = ModeRGB12;
        header.channels = 3;
        break;
    case 16:
        header.mode = ModeGray16;
        header.channels = 1;
        break;
    case 32:
        header.mode = ModeARGB;
        break;
    case 48:
        header.mode = ModeRGB48;
        header.channels = 3;
        break;
    case 64:
        header.mode = ModeCMYK64;
        header.channels = 4;
        break;
    default:
        header.mode = ModeRGB;
        break;
    }
}

} // namespace

std::array<std::uint8_t, kKLDHeaderSize> StoreKLDExtHeader(const KLDExtHeader& header) {
    std::array<std::uint8_t, kKLDHeaderSize> bytes{};
    std::uint8_t* b = bytes.data();
    b[0] = header.bitsPerPixel;
    b[1] = header.mode;
    StoreLE32(b + 2, header.width);
    StoreLE32(b + 6, header.height);
    b[10] = header.channels;
    std::copy(header.background.begin(), header.background.end(), b + 11);
    StoreLE16(b + 14, header.tileWidth);
    StoreLE16(b + 16, header.tileHeight);
    b[18] = header.indexCompression;
    b[19] = header.ordering;
    b[20] = header.bitsPerChannel;
    b[21] = header.defaultQuality;
    return bytes;
}

KLDExtHeader LoadKLDExtHeader(const std::uint8_t* bytes, std::size_t size) {
    std::array<std::uint8_t, kKLDHeaderSize> b{};
    std::memcpy(b.data(), bytes, std::min(size, kKLDHeaderSize));
    KLDExtHeader header;
    header.bitsPerPixel = b[0];
    header.mode = b[1];
    header.width = LoadLE32(&b[2]);
    header.height = LoadLE32(&b[6]);
    header.channels = b[10];
    std::copy(&b[11], &b[14], header.background.begin());
    header.tileWidth = LoadLE16(&b[14]);
    header.tileHeight = LoadLE16(&b[16]);
    header.indexCompression = b[18];
    header.ordering = b[19];
    header.bitsPerChannel = b[20];
    header.defaultQuality = b[21];
    return header;
}

std::array<std::uint8_t, kKLDLayoutSize> StoreKLDExtLayout(const KLDExtLayout& layout) {
    std::array<std::uint8_t, kKLDLayoutSize> bytes{};
    StoreLE64(&bytes[0], layout.indexOffset);
    StoreLE32(&bytes[8], layout.indexLength);
    StoreLE64(&bytes[12], layout.previewOffset);
    StoreLE32(&bytes[20], layout.userDataLength);
    return bytes;
}

KLDExtLayout LoadKLDExtLayout(const std::uint8_t* bytes) {
    KLDExtLayout layout;
    layout.indexOffset = LoadLE64(bytes);
    layout.indexLength = LoadLE32(bytes + 8);
    layout.previewOffset = LoadLE64(bytes + 12);
    layout.userDataLength = LoadLE32(bytes + 20);
    return layout;
}

std::array<std::uint8_t, kKLDLeadInSize> StoreKLDLeadIn() {
    std::array<std::uint8_t, kKLDLeadInSize> bytes{'K', 'L', 'E', kKLDFormatVersion};
    StoreLE32(&bytes[4], kKLDHeaderSize);
    return bytes;
}

bool HasKLDMagic(const std::uint8_t* leadIn) {
    return std::memcmp(leadIn, "KLE", 3) == 0 || std::memcmp(leadIn, "QVE", 3) == 0;
}

void NormalizeKLDExtHeader(KLDExtHeader& header) {
    if (header.mode == ModeBitmap) {
        DeriveModeFromBitsPerPixel(header);
        return;
    }
    PixelFormat format{};
    if (FixedPixelFormat(header.mode, format)) {
        header.bitsPerPixel = format.bitsPerPixel;
        header.channels = format.channels;
    }
}

namespace {

// The pixel bytes of the widest and tallest tile, which the last column and row make.
std::uint64_t LargestTileBytes(const KLDExtHeader& header, std::uint8_t bitsPerPixel) {
    const std::uint64_t width = header.tileWidth + std::uint64_t{header.width % header.tileWidth};
    const std::uint64_t height =
        header.tileHeight + std::uint64_t{header.height % header.tileHeight};
    return width * height * bitsPerPixel / 8;
}

} // namespace

void CheckKLDExtHeader(const KLDExtHeader& header) {
    // Tiles are read and written through pixel maps of the container mode.
    const ModeLayout* layout = FindModeLayout(header.mode);
    if (!layout) ThrowCodecError(ErrorWrongFormat);
    // Tile codecs take their sample format from bits per pixel and channels; values that
    // disagree with the mode would store its pixels in another format and lose them. Zero
    // (as older writers left them) stands for the mode's own.
    KLDExtHeader normalized = header;
    NormalizeKLDExtHeader(normalized);
    if (header.bitsPerPixel != 0 && header.bitsPerPixel != normalized.bitsPerPixel)
        ThrowCodecError(ErrorWrongFormat);
    if (header.channels != 0 && header.channels != normalized.channels)
        ThrowCodecError(ErrorWrongFormat);
    if (header.tileWidth == 0 || header.tileHeight == 0) ThrowCodecError(ErrorWrongFormat);
    if (LargestTileBytes(header, layout->bitsPerPixel) > kLargestTileBytes)
        ThrowCodecError(ErrorWrongFormat);
    if (header.indexCompression != IndexPlain && header.indexCompression != IndexZlib)
        ThrowCodecError(ErrorWrongFormat);
    const TileGrid grid(header);
    CreateOrdering(header.ordering, grid.columns, grid.rows); // checks the byte and the grid
}

std::uint64_t TileDataStart(std::uint64_t headerLength, std::uint64_t userDataLength) {
    return (kKLDLeadInSize + headerLength + kKLDLayoutSize + userDataLength + 3) &
           ~std::uint64_t{3};
}

std::uint8_t PreviewMode(std::uint8_t containerMode) {
    switch (containerMode) {
    case ModeBitmap:
        return ModeBitmap;
    case ModeGray:
    case ModeGray16:
    case ModeGray32:
        return ModeGray;
    case ModeIndexed:
    case ModeRGB:
    case ModeCMYK:
    case ModeLab:
    case ModeRGB48:
    case ModeLab48:
    case ModeCMYK64:
    case ModeRGB12:
    case ModeRGB16:
        return ModeRGB;
    case ModeARGB:
        return ModeARGB;
    default:
        return ModeNotGiven;
    }
}

TileGrid::TileGrid(const KLDExtHeader& header)
    : columns(header.tileWidth == 0 ? 0 : header.width / header.tileWidth),
      rows(header.tileHeight == 0 ? 0 : header.height / header.tileHeight) {}

PixRect TileCellRect(const KLDExtHeader& header, std::uint32_t column, std::uint32_t row) {
    const TileGrid grid(header);
    PixRect rect;
    rect.left = column * header.tileWidth;
    rect.top = row * header.tileHeight;
    rect.right = column + 1 == grid.columns ? header.width : rect.left + header.tileWidth;
    rect.bottom = row + 1 == grid.rows ? header.height : rect.top + header.tileHeight;
    return rect;
}
