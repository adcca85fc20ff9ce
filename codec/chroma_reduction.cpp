#include "chroma_reduction.h"

#include <cstddef>
#include <cstdint>

namespace {

// Sums in 64 bits: the average of 32-bit samples always fits, their sum need not.
std::int32_t Mean4(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    return static_cast<std::int32_t>((a + b + c + d) >> 2);
}

std::int32_t Mean2(std::int64_t a, std::int64_t b) {
    return static_cast<std::int32_t>((a + b) >> 1);
}

} // namespace

// Writing output row j never overtakes the input: its samples land at j * newWidth + i, at or
// before the first unread input sample 2j * stride + 2i.
void ReduceChroma(SamplePlane& plane) {
    const std::uint32_t width = plane.width;
    const std::uint32_t height = plane.height;
    const std::size_t stride = plane.stride;
    const std::uint32_t newWidth = (width + 1) >> 1;
    const std::uint32_t newHeight = (height + 1) >> 1;
    const std::uint32_t pairColumns = width >> 1;
    std::int32_t* samples = plane.samples;

    std::uint32_t y = 0;
    for (; y + 1 < height; y += 2) {
        const std::int32_t* top = samples + y * stride;
        const std::int32_t* bottom = top + stride;
        std::int32_t* out = samples + std::size_t{y >> 1} * newWidth;
        for (std::uint32_t i = 0; i < pairColumns; ++i)
            out[i] = Mean4(top[2 * i], top[2 * i + 1], bottom[2 * i], bottom[2 * i + 1]);
        if (width & 1) out[pairColumns] = Mean2(top[width - 1], bottom[width - 1]);
    }
    if (height & 1) {
        const std::int32_t* last = samples + y * stride;
        std::int32_t* out = samples + std::size_t{y >> 1} * newWidth;
        for (std::uint32_t i = 0; i < pairColumns; ++i)
            out[i] = Mean2(last[2 * i], last[2 * i + 1]);
        if (width & 1) out[pairColumns] = last[width - 1];
    }
    plane.width = newWidth;
    plane.height = newHeight;
    plane.stride = newWidth;
}

void ReduceChromaChannels(ChannelImage& image) {
    if (!image.chromaHalved || image.channels < 2) return;
    for (int c = 1; c < image.channels && c < kMaxChannels; ++c)
        ReduceChroma(image.planes[c]);
}
