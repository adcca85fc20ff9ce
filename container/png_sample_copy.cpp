#include "png_sample_copy.h"

#include "qvt_error.h"

#include <cstring>

namespace {

enum class Direction { ToCaller, ToPng };

template <std::uint32_t Unit, Direction Way>
void CopyRow(const SampleCopy& copy, const std::uint8_t* __restrict from,
             std::uint8_t* __restrict to) {
    for (std::uint64_t x = 0; x < copy.units; ++x)
        for (std::uint32_t c = 0; c < copy.pngChannels; ++c) {
            const std::uint64_t png = (x * copy.pngChannels + c) * Unit;
            const std::uint64_t caller = (x * copy.callerUnits + copy.map.position[c]) * Unit;
            if constexpr (Way == Direction::ToCaller)
                std::memcpy(to + caller, from + png, Unit);
            else
                std::memcpy(to + png, from + caller, Unit);
        }
}

} // namespace

SampleCopy ResolveSampleCopy(int bitDepth, int channels, std::uint32_t width,
                             std::uint32_t bitsPerPixel, const ChannelMap* map,
                             std::ptrdiff_t stride) {
    SampleCopy copy;
    copy.unitBytes = bitDepth == 16 ? 2 : 1;
    copy.pngChannels = static_cast<std::uint32_t>(channels);
    const std::uint32_t pixelBytes = (bitsPerPixel + 7) / 8;
    copy.callerUnits = pixelBytes / copy.unitBytes;
    // A packed bitmap moves whole bytes; the last one may be partly filled.
    copy.units = bitDepth == 1 ? (std::uint64_t{width} + 7) / 8 : width;
    if (map) copy.map = *map;

    if (copy.callerUnits == 0 || channels < 1 || channels > kMaxChannels)
        ThrowCodecError(ErrorWrongFormat);
    for (std::uint32_t c = 0; c < copy.pngChannels; ++c)
        if (copy.map.position[c] >= copy.callerUnits) ThrowCodecError(ErrorWrongFormat);
    const std::uint64_t callerRow = copy.units * copy.callerUnits * copy.unitBytes;
    if (callerRow > StrideBytes(stride)) ThrowCodecError(ErrorWrongFormat);
    return copy;
}

void CopyPngRowToCaller(const SampleCopy& copy, const std::uint8_t* pngRow,
                        std::uint8_t* callerRow) {
    if (copy.unitBytes == 2)
        CopyRow<2, Direction::ToCaller>(copy, pngRow, callerRow);
    else
        CopyRow<1, Direction::ToCaller>(copy, pngRow, callerRow);
}

void CopyCallerRowToPng(const SampleCopy& copy, const std::uint8_t* callerRow,
                        std::uint8_t* pngRow) {
    if (copy.unitBytes == 2)
        CopyRow<2, Direction::ToPng>(copy, callerRow, pngRow);
    else
        CopyRow<1, Direction::ToPng>(copy, callerRow, pngRow);
}
