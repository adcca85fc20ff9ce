// The wavelet pyramid of one channel: N decomposition levels over L = N + 1 levels of bands,
// the forward transform that fills it when writing, and the inverse that rebuilds a level (or a
// region of it) when reading.
#pragma once

#include "qvt_format.h"
#include "wavelet_band.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class CWaveletPyramid {
public:
    // Builds the bands for a width × height channel with `decompositionLevels` (0 to 30) levels.
    // A given buffer of width × height samples becomes the level-0 LL data and belongs to the
    // pyramid from then on. Throws IOException (ErrorWrongFormat) for a level count out of range.
    CWaveletPyramid(std::uint32_t width, std::uint32_t height, int decompositionLevels,
                    SampleBuffer buffer = nullptr);

    // Number of levels L = N + 1.
    int Levels() const { return levels_; }
    int DecompositionLevels() const { return levels_ - 1; }

    CWaveletBand& Band(int level, BandOrientation orientation) {
        return bands_[static_cast<std::size_t>(level) * 4 + static_cast<std::size_t>(orientation)];
    }
    const CWaveletBand& Band(int level, BandOrientation orientation) const {
        return bands_[static_cast<std::size_t>(level) * 4 + static_cast<std::size_t>(orientation)];
    }

    // The tiles of each level needed for the current region; no tiles before SetRegion.
    std::span<const TileRect> TileRects() const {
        return {tileRects_.data(), static_cast<std::size_t>(levels_)};
    }

    // Sets, for every band, its tiles per side and the region needed to rebuild `rect` (level-0
    // coordinates). Band buffers are left alone; whoever fills a band next resizes it. Allocates
    // nothing, so it cannot fail inside the parallel channel passes.
    void SetRegion(const RegionRect& rect);

    // Transforms the LL band of `level` (0 <= level < N) into the four bands of level + 1 and
    // quantises them when q > 0. The bands replace the source's samples where they are, the
    // low and high rows of each level twice as far apart as those of the level before, so
    // that the whole pyramid lives in the level-0 buffer. Expects whole-band regions, as after
    // SetRegion with the whole image. Returns 0, ErrorWrongFormat for a source without samples
    // or ErrorOutOfMemory (the source is then kept). Large levels are shared among up to
    // `threads` threads (0: the runtime's default), with the same result.
    [[nodiscard]] std::uint32_t ForwardLevel(int level, int q, int threads = 1);

    // Before decoding levels `decoded` down to targetLevel + 1, where `decoded` is the level whose
    // LL band holds samples already (or Levels() - 1 before any level is decoded, when none
    // does): sizes the LL band of targetLevel and places every band still to come inside it, at
    // the place the inverse transform takes it from. A level's LL band fills the low columns of
    // the even rows of the next finer LL band, HL their high columns, LH and HH those of the odd
    // rows. Decoding then writes each sample where the inverse works on it, and the inverse
    // moves only bands that were decoded before. Bands are placed only when all involved cover
    // their whole band (region reads keep a buffer per band) and while row pitches fit in 32
    // bits; earlier placements of the bands to come are dropped either way. Returns 0 or
    // ErrorOutOfMemory.
    [[nodiscard]] std::uint32_t LayOutLevels(int decoded, int targetLevel);

    // Sizes the LL band of level - 1 for InverseLevel(level). Unless a layout placed it, the
    // detail bands of level - 1, still to be decoded, share its block: freed together after
    // that level, they leave a hole that the next channel's plane fits in. False when memory
    // runs out.
    [[nodiscard]] bool SizeInverseTarget(int level);

    // Whether the four bands of `level` lie whole inside the whole LL band of level - 1, each
    // where the inverse transform takes it from (as LayOutLevels places them).
    bool BandsInPlace(int level) const;

    // Rebuilds the region of the LL band of level - 1 (1 <= level <= N) from the four bands of
    // `level`, frees those four buffers and reports the region's size and its buffer (still owned
    // by the pyramid; its rows lie Band(level - 1, LL).Pitch() samples apart). Returns 0 or
    // ErrorOutOfMemory. Large levels whose bands are in place are shared among up to `threads`
    // threads (0: the runtime's default), with the same result.
    [[nodiscard]] std::uint32_t InverseLevel(int level, std::uint32_t& outWidth,
                                             std::uint32_t& outHeight, std::int32_t*& outBuffer,
                                             int threads = 1);

private:
    std::array<TileRect, kMaxLevels + 1> tileRects_{};
    int levels_ = 0;
    std::vector<CWaveletBand> bands_;
};
