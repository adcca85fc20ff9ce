// The program's own clipboard and drag-and-drop format, "Tarvik PixMap": a 41-byte head (mode,
// position rectangle, the writer's stride and bits per pixel) followed by the rows, top row
// first, in the owned-buffer layout of the mode.
#pragma once

#include "pix_map.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

inline constexpr const char* kPixMapClipboardFormat = "Tarvik PixMap";
inline constexpr std::size_t kPixMapBlockHeadSize = 41;

// The block of a map: the head, then height rows of the owned stride of its mode and width,
// whatever stride the map itself has, so that a reader's rows line up with the writer's.
std::vector<std::uint8_t> WritePixMapBlock(const CPixMap& map);

// A new owning map of the block's mode over the block's rectangle holding the block's rows.
// Throws IOException: ErrorWrongFormat for a block shorter than its head, a mode without pixel
// maps or an inverted rectangle; ErrorShortRead when the block holds fewer than height × stride
// row bytes (checked before anything is allocated); ErrorOutOfMemory when the map cannot be
// allocated. Bytes past the rows are ignored.
std::unique_ptr<CPixMap> CreatePixMapFromBlock(std::span<const std::uint8_t> block);
