#include "wavelet_pyramid.h"

#include "qvt_error.h"
#include "tile_span.h"

#include <algorithm>

CWaveletPyramid::CWaveletPyramid(std::uint32_t width, std::uint32_t height, int decompositionLevels,
                                 SampleBuffer buffer) {
    if (decompositionLevels < 0 || decompositionLevels > kMaxLevels)
        ThrowCodecError(ErrorWrongFormat);
    levels_ = decompositionLevels + 1;
    bands_.resize(static_cast<std::size_t>(levels_) * 4);

    auto setBand = [this](int level, BandOrientation orientation, std::uint64_t w,
                          std::uint64_t h) {
        CWaveletBand& band = Band(level, orientation);
        band.width = static_cast<std::uint32_t>(w);
        band.height = static_cast<std::uint32_t>(h);
        band.level = level;
        band.orientation = orientation;
        band.region = {0, 0, band.width, band.height};
    };
    // Level 0 only ever uses its LL band; all four get the channel size.
    for (auto orientation : kAllBands)
        setBand(0, orientation, width, height);
    // 64-bit so that rounding up a width of 2^32 - 1 cannot wrap.
    std::uint64_t lowWidth = width;
    std::uint64_t lowHeight = height;
    for (int level = 1; level < levels_; ++level) {
        const std::uint64_t highWidth = lowWidth / 2;
        const std::uint64_t highHeight = lowHeight / 2;
        lowWidth = (lowWidth + 1) / 2;
        lowHeight = (lowHeight + 1) / 2;
        setBand(level, BandOrientation::LL, lowWidth, lowHeight);
        setBand(level, BandOrientation::HL, highWidth, lowHeight);
        setBand(level, BandOrientation::LH, lowWidth, highHeight);
        setBand(level, BandOrientation::HH, highWidth, highHeight);
    }

    if (buffer) {
        CWaveletBand& channel = Band(0, BandOrientation::LL);
        channel.data = std::move(buffer);
        channel.size = std::uint64_t{width} * height;
    }
}

namespace {

struct Edge {
    std::uint64_t sample; // region coordinate of the edge
    std::uint32_t tile;   // tile index (left/top) or tile count up to the edge (right/bottom)
};

// The tile boundary at or before x, found by halving [0, samples) in `tileCount` tiles. The
// boundaries are those of TileSpanOf.
Edge LocateLeadingEdge(std::uint64_t x, std::uint64_t samples, std::uint32_t tileCount) {
    std::uint64_t start = 0;
    std::uint64_t end = samples;
    std::uint32_t index = 0;
    for (std::uint32_t tiles = tileCount; tiles >= 2; tiles /= 2) {
        const std::uint64_t mid = start + (end - start + 1) / 2;
        if (x < mid) {
            end = mid;
        } else {
            index += tiles / 2;
            start = mid;
        }
    }
    return {start, index};
}

// The tile boundary at or after x (exclusive edge), with the number of tiles before it.
Edge LocateTrailingEdge(std::uint64_t x, std::uint64_t samples, std::uint32_t tileCount) {
    std::uint64_t start = 0;
    std::uint64_t end = samples;
    std::uint32_t index = 1;
    for (std::uint32_t tiles = tileCount; tiles >= 2; tiles /= 2) {
        const std::uint64_t mid = start + (end - start + 1) / 2;
        if (x <= mid) {
            end = mid;
        } else {
            index += tiles / 2;
            start = mid;
        }
    }
    return {end, index};
}

// A detail band covers the same tiles as its level's LL band, on its own tile spans.
RegionRect DetailRegion(const CWaveletBand& band, const TileRect& tiles) {
    const TileSpan left = TileSpanOf(tiles.left, band.tiles, band.width);
    const TileSpan top = TileSpanOf(tiles.top, band.tiles, band.height);
    const TileSpan right = TileSpanOf(tiles.right - 1, band.tiles, band.width);
    const TileSpan bottom = TileSpanOf(tiles.bottom - 1, band.tiles, band.height);
    return {left.start, top.start, std::min(right.start + right.size, band.width),
            std::min(bottom.start + bottom.size, band.height)};
}

} // namespace

void CWaveletPyramid::SetRegion(const RegionRect& rect) {
    const int topLevel = levels_ - 1;
    // The margin covers the reach of the lifting steps summed over all levels, so that samples
    // inside the rectangle never depend on anything outside the decoded regions.
    const std::uint64_t margin = std::uint64_t{1} << (topLevel + 2);
    std::uint64_t x0 = rect.left > margin ? rect.left - margin : 0;
    std::uint64_t y0 = rect.top > margin ? rect.top - margin : 0;
    // An inverted rectangle counts as empty at its top-left corner, so no region can end up with
    // right < left (whose wrapped width would ask for an enormous buffer).
    std::uint64_t x1 = std::uint64_t{std::max(rect.right, rect.left)} + margin;
    std::uint64_t y1 = std::uint64_t{std::max(rect.bottom, rect.top)} + margin;

    for (int level = 0; level < levels_; ++level) {
        const std::uint32_t tileCount = std::uint32_t{1} << (topLevel - level);
        CWaveletBand& low = Band(level, BandOrientation::LL);
        const std::uint64_t w = low.width;
        const std::uint64_t h = low.height;
        const Edge left = LocateLeadingEdge(std::min(x0, w), w, tileCount);
        const Edge top = LocateLeadingEdge(std::min(y0, h), h, tileCount);
        const Edge right = LocateTrailingEdge(std::min(x1, w), w, tileCount);
        const Edge bottom = LocateTrailingEdge(std::min(y1, h), h, tileCount);

        TileRect& tiles = tileRects_[static_cast<std::size_t>(level)];
        tiles = {left.tile, top.tile, right.tile, bottom.tile};
        low.tiles = tileCount;
        low.region = {static_cast<std::uint32_t>(left.sample),
                      static_cast<std::uint32_t>(top.sample),
                      static_cast<std::uint32_t>(std::min(right.sample, w)),
                      static_cast<std::uint32_t>(std::min(bottom.sample, h))};
        for (auto orientation : {BandOrientation::HL, BandOrientation::LH, BandOrientation::HH}) {
            CWaveletBand& detail = Band(level, orientation);
            detail.tiles = tileCount;
            detail.region = DetailRegion(detail, tiles);
        }

        x0 = low.region.left / 2;
        y0 = low.region.top / 2;
        x1 = (std::uint64_t{low.region.right} + 1) / 2;
        y1 = (std::uint64_t{low.region.bottom} + 1) / 2;
    }
}
