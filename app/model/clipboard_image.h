// Images exchanged with other programs through the clipboard and drag-and-drop, as far as they
// are the program's own business: the pixel-map block under the program's private MIME type
// (held modes without loss), and what an image from outside becomes. Standard image data (PNG,
// BMP, ...) is Qt's part; the shell offers it beside the block.
#pragma once

#include "document.h"
#include "raster_image.h"

#include <cstdint>
#include <span>
#include <vector>

inline constexpr const char* kPixMapMimeType = "application/x-tarvik-pixmap";
inline constexpr const char* kDamagedImageData = "The image data offered are damaged.";

// Whether a copy of the image carries the block: images held in a pixel map (modes that
// standard image data cannot hold without loss).
bool OffersPixMapBlock(const RasterImage& image);

// The block of the image's pixel map, deep samples stretched to their full range. Throws
// ImageFileError("Image creation failed.").
std::vector<std::uint8_t> PixMapBlockOf(RasterImage& image);

// Whether a block is worth reading instead of the standard image data beside it: long enough for
// its head, of a mode the program holds, and not Indexed (the block carries no colour table).
bool IsUsablePixMapBlock(std::span<const std::uint8_t> block);

// The image of a block from another program, read with the checked reader: the rows must be in
// the block, an empty rectangle is refused, and 30-bit gray samples above their range are
// limited to it. Throws ImageFileError: kDamagedImageData for a block that breaks the format,
// "Image creation failed." when memory runs out.
RasterImage ImageFromPixMapBlock(std::span<const std::uint8_t> block);

// What an image from outside becomes once decoded: an image with alpha that is opaque
// everywhere is RGB (a 32-bit paste arrives as RGB 24); transparency is kept.
RasterImage WithoutOpaqueAlpha(RasterImage image);

// The document kind an import makes: QVT for a block, bitmap for standard image data.
inline DocumentKind ImportedKind(bool fromBlock) {
    return fromBlock ? DocumentKind::QVT : DocumentKind::Bitmap;
}
