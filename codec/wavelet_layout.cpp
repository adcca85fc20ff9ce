// Where the bands of a read live: inside the buffer of the level the read ends at, so that the
// inverse transform finds them in place, or else in one block with the plane they are rebuilt
// with, so that memory is handed on whole from level to level and channel to channel.
#include "qvt_error.h"
#include "wavelet_pyramid.h"

#include <limits>

std::uint32_t CWaveletPyramid::LayOutLevels(int decoded, int targetLevel) {
    const int top = levels_ - 1;
    if (targetLevel < 0 || targetLevel >= decoded || decoded > top) return 0;
    // Before the first level is decoded the top LL band is still to come as well.
    const bool keepDecodedLL = decoded < top;
    bool whole = true;
    for (int level = targetLevel; level <= decoded; ++level) {
        for (BandOrientation orientation : kAllBands) {
            CWaveletBand& band = Band(level, orientation);
            whole = whole && band.IsWhole();
            if (level == decoded && orientation == BandOrientation::LL && keepDecodedLL) continue;
            band.placed = nullptr;
        }
    }
    if (!whole) return 0;

    CWaveletBand& root = Band(targetLevel, BandOrientation::LL);
    if (!root.SizeForRegion()) return ErrorOutOfMemory;
    std::int32_t* const base = root.Samples();
    std::uint64_t pitch = root.Pitch();
    constexpr std::uint64_t kMaxPitch = std::numeric_limits<std::uint32_t>::max();
    for (int level = targetLevel + 1; level <= decoded && 2 * pitch <= kMaxPitch; ++level) {
        const std::uint64_t lows = Band(level, BandOrientation::LL).width;
        Band(level, BandOrientation::HL).PlaceAt(base + lows, 2 * pitch);
        Band(level, BandOrientation::LH).PlaceAt(base + pitch, 2 * pitch);
        Band(level, BandOrientation::HH).PlaceAt(base + pitch + lows, 2 * pitch);
        if (level < decoded || !keepDecodedLL)
            Band(level, BandOrientation::LL).PlaceAt(base, 2 * pitch);
        pitch *= 2;
    }
    return 0;
}

bool CWaveletPyramid::SizeInverseTarget(int level) {
    CWaveletBand& target = Band(level - 1, BandOrientation::LL);
    const std::uint64_t targetSamples = target.RegionSampleCount();
    const bool sized = target.placed || (target.data && target.size >= targetSamples);
    if (level - 1 == 0 || sized) return target.SizeForRegion();
    std::uint64_t total = targetSamples;
    for (BandOrientation orientation : kDetailBands) {
        const CWaveletBand& band = Band(level - 1, orientation);
        // A band that has samples or a place already keeps them.
        if (band.data || band.placed) return target.SizeForRegion();
        const std::uint64_t samples = band.RegionSampleCount();
        if (samples > std::numeric_limits<std::uint64_t>::max() - total) return false;
        total += samples;
    }
    SampleBuffer block = TryAllocateSamples(total);
    if (!block) return false;
    std::int32_t* next = block.get() + targetSamples;
    target.data = std::move(block);
    target.size = targetSamples;
    for (BandOrientation orientation : kDetailBands) {
        CWaveletBand& band = Band(level - 1, orientation);
        band.PlaceAt(next, band.region.Width());
        next += band.RegionSampleCount();
    }
    return true;
}

bool CWaveletPyramid::BandsInPlace(int level) const {
    const CWaveletBand& target = Band(level - 1, BandOrientation::LL);
    const std::int32_t* const base = target.Samples();
    const std::uint64_t pitch = target.Pitch();
    const std::uint64_t lows = Band(level, BandOrientation::LL).width;
    const auto at = [&](BandOrientation orientation, const std::int32_t* where) {
        const CWaveletBand& band = Band(level, orientation);
        return band.placed == where && band.placedPitch == 2 * pitch && band.IsWhole();
    };
    return base && target.IsWhole() && at(BandOrientation::LL, base) &&
           at(BandOrientation::HL, base + lows) && at(BandOrientation::LH, base + pitch) &&
           at(BandOrientation::HH, base + pitch + lows);
}
