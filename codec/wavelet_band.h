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

inline constexpr BandOrientation kAllBands[] = {BandOrientation::LL, BandOrientation::HL,
                                                BandOrientation::LH, BandOrientation::HH};
// The bands coded for every level; the coarsest level adds its LL band in front.
inline constexpr BandOrientation kDetailBands[] = {BandOrientation::HL, BandOrientation::LH,
                                                   BandOrientation::HH};

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
// While decoding, a band may instead be laid out inside the LL buffer of a finer level, at the
// place the inverse transform takes it from; `placed` then points at its first sample.
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
    std::int32_t* placed = nullptr;
    std::uint64_t placedPitch = 0;

    std::int32_t* Samples() const { return placed ? placed : data.get(); }
    // Distance in samples between the rows of Samples().
    std::uint64_t Pitch() const { return placed ? placedPitch : region.Width(); }

    // Samples from Samples() to the end of the band's last row.
    std::uint64_t ReachableSamples() const {
        if (!placed) return data ? size : 0;
        return region.Height() == 0 ? 0 : (region.Height() - 1) * placedPitch + region.Width();
    }

    std::uint64_t RegionSampleCount() const {
        return std::uint64_t{region.Width()} * region.Height();
    }

    // Makes `data` hold exactly the region, reusing a buffer that is large enough; a placed band
    // needs none. Returns false (and keeps no buffer) when the allocation fails.
    [[nodiscard]] bool SizeForRegion();

    // Frees the buffer and forgets the placement.
    void Release();
    // From now on the band's samples are those at `at`, rows `pitch` apart; an own buffer is
    // freed.
    void PlaceAt(std::int32_t* at, std::uint64_t pitch);

    bool IsWhole() const { return region == RegionRect{0, 0, width, height}; }
};
