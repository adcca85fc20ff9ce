// The container's preview: a small lossless wavelet-codec image of the whole container, kept as
// a pixel map in memory and as the last stream in the file.
#pragma once

#include "pix_map.h"
#include "qvt_stream.h"

#include <array>
#include <cstdint>
#include <memory>

// Decodes the wavelet-codec stream at the stream's position down to `level` (−1: the coarsest
// level it holds) into a new map of the stream's full size and mode, filled with `background`
// (blue, green, red) first, so a coarse level fills only the top-left part. Missing bytes are
// ErrorShortRead even where the decoder would stop early, so a cut-off file never opens.
std::unique_ptr<CPixMap> ReadPreviewPixMap(CQVTStream& stream, int level,
                                           const std::array<std::uint8_t, 3>& background);

struct PreviewSize {
    std::uint32_t width;
    std::uint32_t height;
};
// Reads the head of the wavelet-codec stream at the stream's position and checks that the coded
// data it announces are all in the stream, as ReadPreviewPixMap does first, without decoding
// them; the position is kept.
PreviewSize CheckPreviewStream(CQVTStream& stream);

// Where the wavelet-codec stream at the stream's position ends, by what its head announces; the
// position is kept. Throws as the head's reader does.
std::uint64_t PreviewStreamEnd(CQVTStream& stream);

// Codes the map losslessly (quality 0, the codec's own level count) at the stream's position.
void WritePreviewPixMap(CQVTStream& stream, const CPixMap& preview);
