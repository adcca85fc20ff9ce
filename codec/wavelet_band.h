// One subband of a channel's wavelet pyramid and the rectangles used for region-of-interest work.
#pragma once

#include "qvt_memory.h"
#include "region_rect.h"

#include <cstdint>

enum class BandOrientation : std::uint32_t {
    LL = 0, // low-pass both ways
    HL = 1, // high-pass horizontally: odd columns of even rows
    LH = 2, // high-pass vertically: even columns of odd rows
    HH = 3, // odd columns of odd rows
};

// The same four fields counting tiles instead of samples.
struct TileRect {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;

    bool operator==(const TileRect&) const = default;
};

// A band of one level. Its buffer covers only `region` (row pitch = region width); `pos` is the
// sequential read/write position into it. Sizes are 64-bit so no sample count can wrap.
struct CWaveletBand {
    std::uint32_t width = 0;  // samples per row of the whole band
    std::uint32_t height = 0; // rows of the whole band
    std::uint64_t size = 0;   // samples the buffer holds
    std::int32_t level = 0;
    BandOrientation orientation = BandOrientation::LL;
    std::uint64_t pos = 0;
    SampleBuffer data; // may be absent
    RegionRect region;
    std::uint32_t tiles = 0; // tiles per side, set by SetRegion

    std::uint64_t RegionSampleCount() const {
        return std::uint64_t{region.Width()} * region.Height();
    }

    // Makes `data` hold exactly the region, reusing a buffer that is large enough. Returns false
    // (and keeps no buffer) when the allocation fails.
    [[nodiscard]] bool SizeForRegion();

    // Frees the buffer.
    void Release();
};
