// The automatic choice between the tile codecs: a tile that PNG compresses well enough for the
// requested loss is kept lossless as PNG; everything else goes to the wavelet codec.
#pragma once

#include "qvt_format.h"
#include "tile_codec.h"

#include <cstddef>
#include <cstdint>

namespace KLD {

// KindWavelet or KindPng for a tile whose top row is `rows`, rows `stride` bytes apart. The trial
// compresses a few rows drawn by a generator seeded the same way on every call, so the choice
// (and with it the stored bytes) depends only on the tile.
TileCodecKind ChooseTileCodec(const std::uint8_t* rows, std::ptrdiff_t stride,
                              const TileHeader& header);

} // namespace KLD
