// Shared helpers of the pyramid tests: moving planes in and out of sample buffers.
#pragma once

#include "qvt_memory.h"
#include "wavelet_band.h"

#include <algorithm>
#include <vector>

inline SampleBuffer ToBuffer(const std::vector<std::int32_t>& samples) {
    SampleBuffer buffer = TryAllocateSamples(samples.size());
    std::copy(samples.begin(), samples.end(), buffer.get());
    return buffer;
}

inline std::vector<std::int32_t> Samples(const std::int32_t* data, std::size_t count) {
    return {data, data + count};
}

// The samples of a band's region row by row, wherever they lie.
inline std::vector<std::int32_t> BandSamples(const CWaveletBand& band) {
    if (!band.Samples()) return {};
    std::vector<std::int32_t> samples;
    for (std::uint64_t y = 0; y < band.region.Height(); ++y) {
        const std::int32_t* row = band.Samples() + y * band.Pitch();
        samples.insert(samples.end(), row, row + band.region.Width());
    }
    return samples;
}

// Smallest level count that shrinks a width × height plane to one LL sample.
inline int LevelsToSingleSample(std::uint32_t width, std::uint32_t height) {
    int levels = 0;
    for (std::uint32_t side = std::max(width, height); side > 1; side = (side + 1) / 2)
        ++levels;
    return levels;
}
