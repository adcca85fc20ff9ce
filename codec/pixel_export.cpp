#include "pixel_export.h"

#include "channel_transform.h"
#include "pixel_layout.h"
#include "pixel_units.h"
#include "row_threads.h"
#include "vector_clones.h"

#include <algorithm>
#include <array>

namespace {

using SourceRows = std::array<const std::int32_t*, kMaxChannels>;

// Maps an output column to the sample column of a channel: halved chroma covers 2 x 2 pixels
// counted from the image's own origin, not from the area's.
template <bool Halved>
struct SampleColumn {
    std::uint32_t phase;
    std::uint32_t operator()(std::uint32_t x) const {
        if constexpr (Halved)
            return (phase + x) >> 1;
        else
            return x;
    }
};

// Runs body(SampleColumn<...>) with the column mapping of a channel chosen once.
template <typename Body>
void WithSampleColumns(bool halved, std::uint32_t phase, Body body) {
    if (halved)
        body(SampleColumn<true>{phase});
    else
        body(SampleColumn<false>{phase});
}

// value + offset, scaled by a power of two and clamped to 0 .. max. Taken in 64 bits: samples
// from a damaged file may be anywhere in the 32-bit range.
struct ScaleRule {
    std::int64_t offset;
    std::int64_t multiplier; // 2^left shift
    std::uint32_t rightShift;
    std::int64_t max;

    std::int64_t Scaled(std::int64_t value) const {
        return std::clamp<std::int64_t>(value * multiplier >> rightShift, 0, max);
    }
    std::int64_t Sample(std::int32_t sample) const { return Scaled(sample + offset); }
};

constexpr ScaleRule kByteRule{128, 1, 0, 255};

ScaleRule DeepRule(const ChannelImage& image, PixelUnit unit, SampleAlignment alignment) {
    const std::uint32_t b = image.sampleBits;
    const std::int64_t offset = std::int64_t{1} << (b - 1);
    const std::int64_t ownMax = (std::int64_t{1} << b) - 1;
    const bool gray32 = image.mode == ModeGray32;
    const bool ownWords = unit == (gray32 ? PixelUnit::Word32 : PixelUnit::Word16);
    if (ownWords && alignment == SampleAlignment::Low) return {offset, 1, 0, ownMax};
    switch (unit) {
    case PixelUnit::Word32: // bit 31 stays clear
        return {offset, std::int64_t{1} << (31 - b), 0, 0x7FFFFFFF};
    case PixelUnit::Word16:
        if (b >= 16) return {offset, 1, b - 16, 0xFFFF};
        return {offset, std::int64_t{1} << (16 - b), 0, 0xFFFF};
    default: // bytes keep the top 8 bits; shallower samples are not widened
        return {offset, 1, b > 8 ? b - 8 : 0, 0xFF};
    }
}

struct ExportJob {
    const ChannelImage& image;
    const ExportArea& area;
    int channels;
    std::uint8_t* bits;
    std::ptrdiff_t rowPitch;
    const PixelExchange& how;

    bool Halved(int c) const { return image.chromaHalved && c >= 1; }

    const std::int32_t* SourceRow(int c, std::uint32_t y) const {
        const SamplePlane& plane = image.planes[c];
        const PlaneOrigin& origin = area.origins[c];
        const std::uint64_t row = origin.row + (Halved(c) ? ((area.top & 1) + y) >> 1 : y);
        return plane.samples + row * plane.stride + origin.column;
    }

    // Calls kernel(row, sourceRows) for every output row, reporting progress after each one;
    // rows are shared among threads when there is no progress to report.
    template <typename RowKernel>
    void ForEachRow(RowKernel kernel) const {
        const auto row = [&](std::uint32_t y) {
            SourceRows src{};
            for (int c = 0; c < channels; ++c)
                src[c] = SourceRow(c, y);
            kernel(bits + static_cast<std::ptrdiff_t>(y) * rowPitch, src);
        };
        if (how.progress) {
            for (std::uint32_t y = 0; y < area.height; ++y) {
                row(y);
                ReportProgress(how.progress, static_cast<double>(y + 1) / area.height,
                               how.progressData);
            }
            return;
        }
        ForEachRowInParallel(area.height, how.threads, row);
    }

    // Every sample the area reads lies inside its plane.
    void CheckReach() const {
        const std::uint64_t lastX = area.width - 1;
        const std::uint64_t lastY = area.height - 1;
        for (int c = 0; c < channels; ++c) {
            const PlaneOrigin& origin = area.origins[c];
            const bool halved = Halved(c);
            CheckPlaneReach(image.planes[c],
                            origin.column + (halved ? ((area.left & 1) + lastX) >> 1 : lastX),
                            origin.row + (halved ? ((area.top & 1) + lastY) >> 1 : lastY));
        }
    }
};

// One bit per sample (c0 & 1), first pixel in the most significant bit, unused bits 0.
void ExportBitmap(const ExportJob& job) {
    const std::uint32_t width = job.area.width;
    job.ForEachRow([width](std::uint8_t* row, const SourceRows& src) {
        const std::int32_t* __restrict s = src[0];
        for (std::uint32_t x0 = 0; x0 < width; x0 += 8) {
            const std::uint32_t end = std::min(width, x0 + 8);
            std::uint32_t byte = 0;
            for (std::uint32_t x = x0; x < end; ++x)
                byte |= static_cast<std::uint32_t>(s[x] & 1) << (7 - (x - x0));
            row[x0 >> 3] = static_cast<std::uint8_t>(byte);
        }
    });
}

// Older bitmap files: every sample holds a byte of 8 pixels. Their rows are packed unless the
// file codes bands one after the other, in which case a row spans the plane's stride. The file's
// bits past the last pixel are cleared, as in every other exported bitmap row.
void ExportPackedBitmap(const ExportJob& job) {
    const SamplePlane& plane = job.image.planes[0];
    const std::uint64_t rowBytes = (std::uint64_t{job.area.width} + 7) / 8;
    const std::uint64_t stride =
        job.image.version & kVersionSeparateBands ? plane.stride : rowBytes;
    const PlaneOrigin& origin = job.area.origins[0];
    if (plane.samples == nullptr || plane.width == 0 || plane.height == 0) {
        ThrowCodecError(ErrorWrongFormat);
    }
    const std::uint64_t planeSamples = std::uint64_t{plane.height - 1} * plane.stride + plane.width;
    if (origin.column != 0 || origin.row != 0 || stride < rowBytes ||
        (job.area.height - 1) * stride + rowBytes > planeSamples)
        ThrowCodecError(ErrorWrongFormat);
    const std::uint8_t lastByteMask =
        static_cast<std::uint8_t>(0xFF00 >> ((job.area.width - 1) % 8 + 1));
    for (std::uint32_t y = 0; y < job.area.height; ++y) {
        const std::int32_t* s = plane.samples + y * stride;
        std::uint8_t* row = job.bits + static_cast<std::ptrdiff_t>(y) * job.rowPitch;
        for (std::uint64_t i = 0; i < rowBytes; ++i)
            row[i] = static_cast<std::uint8_t>(kByteRule.Sample(s[i]));
        row[rowBytes - 1] &= lastByteMask;
        ReportProgress(job.how.progress, static_cast<double>(y + 1) / job.area.height,
                       job.how.progressData);
    }
}

// One channel written to its component with a scale rule, no colour transform.
template <typename Unit>
void ExportComponentRow(std::uint8_t* row, const std::int32_t* __restrict s, std::uint32_t width,
                        std::size_t pixelBytes, std::size_t at, bool halved, std::uint32_t phase,
                        const ScaleRule& rule) {
    WithSampleColumns(halved, phase, [&](auto column) {
        std::uint8_t* unit = row + at;
        for (std::uint32_t x = 0; x < width; ++x, unit += pixelBytes)
            StoreUnit<Unit>(unit, static_cast<Unit>(rule.Sample(s[column(x)])));
    });
}

// ExportComponentRow for a channel that fills whole pixels of 8 or 16 bits with its samples as
// they are (multiplier 1, no shift), in 32 bits so that it vectorises: clamping before the offset
// is added gives the same values and cannot overflow on damaged samples.
template <typename Unit>
VECTOR_CLONES void ExportUnscaledRow(std::uint8_t* __restrict row, const std::int32_t* __restrict s,
                                     std::uint32_t width, std::int32_t offset, std::int32_t max) {
    // min and max rather than std::clamp, whose branches keep the loop from being vectorized.
    const std::int32_t low = -offset;
    const std::int32_t high = max - offset;
#pragma omp simd
    for (std::size_t x = 0; x < width; ++x)
        StoreUnit<Unit>(row + x * sizeof(Unit),
                        static_cast<Unit>(std::min(std::max(s[x], low), high) + offset));
}

template <typename Unit>
void ExportPassThrough(const ExportJob& job, const PixelLayout& layout, const ScaleRule& rule) {
    const std::size_t pixelBytes = std::size_t{layout.unitsPerPixel} * sizeof(Unit);
    // Gray images, the common case, have a kernel of their own.
    const bool unscaled = sizeof(Unit) <= 2 && job.channels == 1 && pixelBytes == sizeof(Unit) &&
                          !job.Halved(0) && rule.multiplier == 1 && rule.rightShift == 0;
    job.ForEachRow([&](std::uint8_t* row, const SourceRows& src) {
        if (unscaled) {
            ExportUnscaledRow<Unit>(row, src[0], job.area.width,
                                    static_cast<std::int32_t>(rule.offset),
                                    static_cast<std::int32_t>(rule.max));
            return;
        }
        for (int c = 0; c < job.channels; ++c)
            ExportComponentRow<Unit>(row, src[c], job.area.width, pixelBytes,
                                     layout.position[c] * sizeof(Unit), job.Halved(c),
                                     job.area.left & 1, rule);
    });
}

// Inverse colour transform with green clamped before it rebuilds the other two, as the 8-bit,
// 4-bit and 5-6-5 layouts need. put(x, p0, p1, p2) stores one pixel of the row.
template <typename PutPixel>
void ClampedColourRow(const ExportJob& job, const SourceRows& src, std::int64_t offset,
                      std::int64_t max, PutPixel put) {
    WithSampleColumns(job.image.chromaHalved, job.area.left & 1, [&](auto column) {
        const std::int32_t* __restrict s0 = src[0];
        const std::int32_t* __restrict s1 = src[1];
        const std::int32_t* __restrict s2 = src[2];
        for (std::uint32_t x = 0; x < job.area.width; ++x) {
            const std::int64_t c1 = s1[column(x)];
            const std::int64_t c2 = s2[column(x)];
            const std::int64_t p1 =
                std::clamp<std::int64_t>(InverseColourGreen(s0[x], c1, c2, offset), 0, max);
            put(x, std::clamp<std::int64_t>(p1 + c2, 0, max), p1,
                std::clamp<std::int64_t>(p1 + c1, 0, max));
        }
    });
}

// Samples of a real image are small; damaged ones may be anywhere in the 32-bit range.
constexpr std::int32_t kSmallSample = 1 << 28;

// Whether every sample of the rows lies within ±kSmallSample, where ClampedColourRow's sums fit
// in 32 bits.
VECTOR_CLONES bool SmallSamples(const SourceRows& src, std::uint32_t width) {
    std::int32_t low = 0;
    std::int32_t high = 0;
    for (int c = 0; c < 3; ++c) {
        const std::int32_t* __restrict s = src[c];
#pragma omp simd reduction(min : low) reduction(max : high)
        for (std::size_t x = 0; x < width; ++x) {
            low = s[x] < low ? s[x] : low;
            high = s[x] > high ? s[x] : high;
        }
    }
    return low > -kSmallSample && high < kSmallSample;
}

// ClampedColourRow for whole 3-byte pixels of small samples, in 32 bits so that it vectorises;
// the outer components go to byte `First` and 2 - `First`.
template <std::size_t First>
VECTOR_CLONES void SmallColourRow(std::uint8_t* __restrict row, const SourceRows& src,
                                  std::uint32_t width) {
    const std::int32_t* __restrict s0 = src[0];
    const std::int32_t* __restrict s1 = src[1];
    const std::int32_t* __restrict s2 = src[2];
#pragma omp simd
    for (std::size_t x = 0; x < width; ++x) {
        const std::int32_t c1 = s1[x];
        const std::int32_t c2 = s2[x];
        const std::int32_t p1 = std::clamp(s0[x] - ((c1 + c2) >> 2) + 128, 0, 255);
        row[3 * x + First] = static_cast<std::uint8_t>(std::clamp(p1 + c2, 0, 255));
        row[3 * x + 1] = static_cast<std::uint8_t>(p1);
        row[3 * x + 2 - First] = static_cast<std::uint8_t>(std::clamp(p1 + c1, 0, 255));
    }
}

// RGB, CMYK, ARGB: bytes at the mapped positions; a fourth channel is written like gray.
void ExportColourBytes(const ExportJob& job, const PixelLayout& layout) {
    const std::size_t pixelBytes = layout.unitsPerPixel;
    const std::size_t at0 = layout.position[0];
    const std::size_t at1 = layout.position[1];
    const std::size_t at2 = layout.position[2];
    // Three-byte pixels in either order, the common case, have a kernel of their own.
    const bool packed = job.channels == 3 && pixelBytes == 3 && at1 == 1 &&
                        !job.image.chromaHalved && (at0 == 0 || at0 == 2);
    job.ForEachRow([&](std::uint8_t* row, const SourceRows& src) {
        if (packed && SmallSamples(src, job.area.width)) {
            if (at0 == 0)
                SmallColourRow<0>(row, src, job.area.width);
            else
                SmallColourRow<2>(row, src, job.area.width);
            return;
        }
        ClampedColourRow(job, src, 128, 255,
                         [=](std::uint32_t x, std::int64_t p0, std::int64_t p1, std::int64_t p2) {
                             std::uint8_t* pixel = row + x * pixelBytes;
                             pixel[at0] = static_cast<std::uint8_t>(p0);
                             pixel[at1] = static_cast<std::uint8_t>(p1);
                             pixel[at2] = static_cast<std::uint8_t>(p2);
                         });
        if (job.channels == 4)
            ExportComponentRow<std::uint8_t>(row, src[3], job.area.width, pixelBytes,
                                             layout.position[3], job.Halved(3), job.area.left & 1,
                                             kByteRule);
    });
}

// RGB12: the nibble stream blue, green, red, low nibble first. Each even nibble starts its
// byte, so the unused high nibble after an odd width ends up 0.
void ExportRgb12(const ExportJob& job) {
    job.ForEachRow([&](std::uint8_t* row, const SourceRows& src) {
        const auto put = [row](std::uint32_t n, std::int64_t nibble) {
            if (n & 1)
                row[n >> 1] = static_cast<std::uint8_t>(row[n >> 1] | nibble << 4);
            else
                row[n >> 1] = static_cast<std::uint8_t>(nibble);
        };
        ClampedColourRow(
            job, src, 8, 15,
            [&](std::uint32_t x, std::int64_t blue, std::int64_t green, std::int64_t red) {
                put(3 * x, blue);
                put(3 * x + 1, green);
                put(3 * x + 2, red);
            });
    });
}

// RGB16: 6-bit components narrowed back to 5-6-5.
void ExportRgb16(const ExportJob& job) {
    job.ForEachRow([&](std::uint8_t* row, const SourceRows& src) {
        ClampedColourRow(
            job, src, 32, 63,
            [row](std::uint32_t x, std::int64_t blue6, std::int64_t green6, std::int64_t red6) {
                const auto word = (red6 >> 1) << 11 | green6 << 5 | blue6 >> 1;
                StoreUnit<std::uint16_t>(row + 2 * std::size_t{x},
                                         static_cast<std::uint16_t>(word));
            });
    });
}

// RGB48, CMYK64: green is rebuilt unclamped, then every component is scaled and clamped.
template <typename Unit>
void ExportDeepColour(const ExportJob& job, const PixelLayout& layout, const ScaleRule& rule) {
    const std::size_t pixelBytes = std::size_t{layout.unitsPerPixel} * sizeof(Unit);
    const std::size_t at0 = layout.position[0] * sizeof(Unit);
    const std::size_t at1 = layout.position[1] * sizeof(Unit);
    const std::size_t at2 = layout.position[2] * sizeof(Unit);
    job.ForEachRow([&](std::uint8_t* row, const SourceRows& src) {
        WithSampleColumns(job.image.chromaHalved, job.area.left & 1, [&](auto column) {
            const std::int32_t* __restrict s0 = src[0];
            const std::int32_t* __restrict s1 = src[1];
            const std::int32_t* __restrict s2 = src[2];
            std::uint8_t* pixel = row;
            for (std::uint32_t x = 0; x < job.area.width; ++x, pixel += pixelBytes) {
                const std::int64_t c1 = s1[column(x)];
                const std::int64_t c2 = s2[column(x)];
                const std::int64_t p1 = InverseColourGreen(s0[x], c1, c2, rule.offset);
                StoreUnit<Unit>(pixel + at0, static_cast<Unit>(rule.Scaled(p1 + c2)));
                StoreUnit<Unit>(pixel + at1, static_cast<Unit>(rule.Scaled(p1)));
                StoreUnit<Unit>(pixel + at2, static_cast<Unit>(rule.Scaled(p1 + c1)));
            }
        });
        if (job.channels == 4)
            ExportComponentRow<Unit>(row, src[3], job.area.width, pixelBytes,
                                     layout.position[3] * sizeof(Unit), job.Halved(3),
                                     job.area.left & 1, rule);
    });
}

} // namespace

void ExportPixelRows(const ChannelImage& image, std::uint8_t* bits, std::ptrdiff_t rowPitch,
                     std::uint32_t bitsPerPixel, const PixelExchange& how, const ExportArea* area) {
    const int channels = ExchangedChannels(image);
    if (channels == 0) return;
    const ExportArea whole = WholeImageArea(image);
    const ExportArea& out = area ? *area : whole;
    const PixelUnit unit = ExportUnit(image.mode, bitsPerPixel, channels);
    const PixelLayout layout = ResolvePixelLayout(image, out.width, out.height, channels, unit,
                                                  bitsPerPixel, how.channelMap, bits, rowPitch);
    if (out.width == 0 || out.height == 0) return;
    const ExportJob job{image, out, channels, bits, rowPitch, how};
    if (image.mode == ModeBitmap && !(image.version & kVersionPackedBitmap)) {
        ExportPackedBitmap(job);
        return;
    }
    job.CheckReach();

    switch (image.mode) {
    case ModeBitmap:
        ExportBitmap(job);
        break;
    case ModeRGB12:
        ExportRgb12(job);
        break;
    case ModeRGB16:
        ExportRgb16(job);
        break;
    case ModeRGB:
    case ModeCMYK:
    case ModeARGB:
        ExportColourBytes(job, layout);
        break;
    case ModeRGB48:
    case ModeCMYK64:
    case ModeGray16:
    case ModeLab48:
    case ModeGray32: {
        const ScaleRule rule = DeepRule(image, unit, how.alignment);
        const bool colour = image.mode == ModeRGB48 || image.mode == ModeCMYK64;
        if (unit == PixelUnit::Word32)
            ExportPassThrough<std::uint32_t>(job, layout, rule);
        else if (unit == PixelUnit::Word16)
            colour ? ExportDeepColour<std::uint16_t>(job, layout, rule)
                   : ExportPassThrough<std::uint16_t>(job, layout, rule);
        else
            colour ? ExportDeepColour<std::uint8_t>(job, layout, rule)
                   : ExportPassThrough<std::uint8_t>(job, layout, rule);
        break;
    }
    default: // Gray, Indexed, HSL, HSB, Lab: bytes, no colour transform
        ExportPassThrough<std::uint8_t>(job, layout, kByteRule);
        break;
    }
}
