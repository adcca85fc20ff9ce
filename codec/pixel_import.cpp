#include "pixel_import.h"

#include "channel_transform.h"
#include "pixel_layout.h"
#include "pixel_units.h"
#include "row_threads.h"
#include "vector_clones.h"

#include <algorithm>
#include <array>

namespace {

using PlaneRows = std::array<std::int32_t*, kMaxChannels>;

// How a stored component becomes an unsigned b-bit value, and the offset that centres it.
struct ComponentRule {
    std::uint32_t mask;  // the word bits that may hold sample bits
    std::uint32_t shift; // top alignment: down to b bits
    std::uint32_t limit; // 2^b - 1; a low-aligned word above it is saturated
    std::int32_t offset; // 2^(b-1)

    std::int32_t Value(std::uint32_t unit) const {
        return static_cast<std::int32_t>(std::min((unit & mask) >> shift, limit));
    }
    // At most 2^31 - 1 minus at most 2^30: never overflows.
    std::int32_t Centred(std::uint32_t unit) const { return Value(unit) - offset; }
};

constexpr ComponentRule kByteRule{0xFF, 0, 0xFF, 128};

ComponentRule DeepRule(const ChannelImage& image, SampleAlignment alignment) {
    // Gray32 words carry at most 31 significant bits; bit 31 never takes part.
    const bool gray32 = image.mode == ModeGray32;
    const std::uint32_t wordBits = gray32 ? 31 : 16;
    const std::uint32_t b = image.sampleBits;
    return {gray32 ? 0x7FFFFFFFu : 0xFFFFu, alignment == SampleAlignment::Top ? wordBits - b : 0,
            (std::uint32_t{1} << b) - 1, std::int32_t{1} << (b - 1)};
}

// Calls kernel(row, planeRows) for every row, reporting progress before each one; rows are
// shared among threads when there is no progress to report.
template <typename RowKernel>
void ForEachRow(const ChannelImage& image, int channels, const std::uint8_t* bits,
                std::ptrdiff_t rowPitch, const PixelExchange& how, RowKernel kernel) {
    const auto row = [&](std::uint32_t y) {
        PlaneRows dst{};
        for (int c = 0; c < channels; ++c)
            dst[c] = image.planes[c].samples + std::size_t{y} * image.planes[c].stride;
        kernel(bits + static_cast<std::ptrdiff_t>(y) * rowPitch, dst);
    };
    if (how.progress) {
        for (std::uint32_t y = 0; y < image.height; ++y) {
            ReportProgress(how.progress, static_cast<double>(y) / image.height, how.progressData);
            row(y);
        }
        return;
    }
    ForEachRowInParallel(image.height, how.threads, row);
}

// 8-bit blue, green, red pixels (or red, green, blue with `First` 2) through the colour
// transform.
template <std::size_t First>
VECTOR_CLONES void ImportColourBytesRow(const std::uint8_t* __restrict row,
                                        std::int32_t* __restrict c0, std::int32_t* __restrict c1,
                                        std::int32_t* __restrict c2, std::uint32_t width) {
#pragma omp simd
    for (std::size_t x = 0; x < width; ++x) {
        const std::int32_t p0 = row[3 * x + First];
        const std::int32_t p1 = row[3 * x + 1];
        const std::int32_t p2 = row[3 * x + 2 - First];
        c0[x] = ((p0 + 2 * p1 + p2) >> 2) - 128;
        c1[x] = p2 - p1;
        c2[x] = p0 - p1;
    }
}

// Bit x of a row, first pixel in the most significant bit; bits past the width are never read.
void ImportBitmapRow(const std::uint8_t* row, std::int32_t* __restrict dst, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x)
        dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// One channel straight from its component, centred, without colour transform.
template <typename Unit>
void ImportComponentRow(const std::uint8_t* row, std::int32_t* __restrict dst, std::uint32_t width,
                        std::uint32_t unitsPerPixel, std::uint32_t position,
                        const ComponentRule& rule) {
    const std::uint8_t* unit = row + std::size_t{position} * sizeof(Unit);
    const std::size_t pixelBytes = std::size_t{unitsPerPixel} * sizeof(Unit);
    for (std::uint32_t x = 0; x < width; ++x, unit += pixelBytes)
        dst[x] = rule.Centred(LoadUnit<Unit>(unit));
}

// ImportComponentRow for a channel that fills whole pixels of 8 or 16 bits, which vectorises.
template <typename Unit>
VECTOR_CLONES void ImportWholeUnitRow(const std::uint8_t* __restrict row,
                                      std::int32_t* __restrict dst, std::uint32_t width,
                                      const ComponentRule rule) {
#pragma omp simd
    for (std::size_t x = 0; x < width; ++x)
        dst[x] = rule.Centred(LoadUnit<Unit>(row + x * sizeof(Unit)));
}

template <typename Unit>
void ImportPassThrough(const ChannelImage& image, int channels, const PixelLayout& layout,
                       const ComponentRule& rule, const std::uint8_t* bits, std::ptrdiff_t rowPitch,
                       const PixelExchange& how) {
    // Gray images, the common case, have a kernel of their own.
    const bool wholeUnits = sizeof(Unit) <= 2 && channels == 1 && layout.unitsPerPixel == 1;
    ForEachRow(image, channels, bits, rowPitch, how,
               [&](const std::uint8_t* row, const PlaneRows& dst) {
                   if (wholeUnits) return ImportWholeUnitRow<Unit>(row, dst[0], image.width, rule);
                   for (int c = 0; c < channels; ++c)
                       ImportComponentRow<Unit>(row, dst[c], image.width, layout.unitsPerPixel,
                                                layout.position[c], rule);
               });
}

// Colour transform of the first three components; a fourth channel (alpha, black) is centred.
template <typename Unit>
void ImportColour(const ChannelImage& image, int channels, const PixelLayout& layout,
                  const ComponentRule& rule, const std::uint8_t* bits, std::ptrdiff_t rowPitch,
                  const PixelExchange& how) {
    const std::size_t pixelBytes = std::size_t{layout.unitsPerPixel} * sizeof(Unit);
    const std::size_t at0 = layout.position[0] * sizeof(Unit);
    const std::size_t at1 = layout.position[1] * sizeof(Unit);
    const std::size_t at2 = layout.position[2] * sizeof(Unit);
    // Three-byte pixels in either order, the common case, have a kernel of their own.
    const bool packed =
        sizeof(Unit) == 1 && channels == 3 && pixelBytes == 3 && at1 == 1 && (at0 == 0 || at0 == 2);
    ForEachRow(
        image, channels, bits, rowPitch, how, [&](const std::uint8_t* row, const PlaneRows& dst) {
            if (packed) {
                if (at0 == 0)
                    ImportColourBytesRow<0>(row, dst[0], dst[1], dst[2], image.width);
                else
                    ImportColourBytesRow<2>(row, dst[0], dst[1], dst[2], image.width);
                return;
            }
            std::int32_t* __restrict c0 = dst[0];
            std::int32_t* __restrict c1 = dst[1];
            std::int32_t* __restrict c2 = dst[2];
            const std::uint8_t* pixel = row;
            for (std::uint32_t x = 0; x < image.width; ++x, pixel += pixelBytes) {
                const ColourChannels t =
                    ForwardColourTransform(rule.Value(LoadUnit<Unit>(pixel + at0)),
                                           rule.Value(LoadUnit<Unit>(pixel + at1)),
                                           rule.Value(LoadUnit<Unit>(pixel + at2)), rule.offset);
                c0[x] = t.c0;
                c1[x] = t.c1;
                c2[x] = t.c2;
            }
            if (channels == 4)
                ImportComponentRow<Unit>(row, dst[3], image.width, layout.unitsPerPixel,
                                         layout.position[3], rule);
        });
}

void StoreColour(const PlaneRows& dst, std::uint32_t x, const ColourChannels& t) {
    dst[0][x] = t.c0;
    dst[1][x] = t.c1;
    dst[2][x] = t.c2;
}

// RGB12: a stream of nibbles, low nibble first, blue, green, red per pixel.
void ImportRgb12(const ChannelImage& image, const std::uint8_t* bits, std::ptrdiff_t rowPitch,
                 const PixelExchange& how) {
    ForEachRow(image, 3, bits, rowPitch, how, [&](const std::uint8_t* row, const PlaneRows& dst) {
        const auto nibble = [row](std::uint32_t n) {
            return static_cast<std::int32_t>((row[n >> 1] >> ((n & 1) * 4)) & 15);
        };
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint32_t n = 3 * x;
            StoreColour(dst, x, ForwardColourTransform(nibble(n), nibble(n + 1), nibble(n + 2), 8));
        }
    });
}

// RGB16: 5-6-5 words; red and blue are widened to 6 bits so all three share one scale.
void ImportRgb16(const ChannelImage& image, const std::uint8_t* bits, std::ptrdiff_t rowPitch,
                 const PixelExchange& how) {
    ForEachRow(image, 3, bits, rowPitch, how, [&](const std::uint8_t* row, const PlaneRows& dst) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::int32_t word = LoadUnit<std::uint16_t>(row + 2 * std::size_t{x});
            const std::int32_t red6 = (word >> 10) & 62;
            const std::int32_t green6 = (word >> 5) & 63;
            const std::int32_t blue6 = (word & 31) * 2;
            StoreColour(dst, x, ForwardColourTransform(blue6, green6, red6, 32));
        }
    });
}

} // namespace

void ImportPixelRows(const ChannelImage& image, const std::uint8_t* bits, std::ptrdiff_t rowPitch,
                     std::uint32_t bitsPerPixel, const PixelExchange& how) {
    const int channels = ExchangedChannels(image);
    if (channels == 0) return;
    const PixelLayout layout =
        ResolvePixelLayout(image, image.width, image.height, channels, ImportUnit(image.mode),
                           bitsPerPixel, how.channelMap, bits, rowPitch);
    if (image.width == 0 || image.height == 0) return;
    for (int c = 0; c < channels; ++c)
        CheckPlaneReach(image.planes[c], image.width - 1, image.height - 1);

    switch (image.mode) {
    case ModeBitmap:
        ForEachRow(image, 1, bits, rowPitch, how,
                   [&](const std::uint8_t* row, const PlaneRows& dst) {
                       ImportBitmapRow(row, dst[0], image.width);
                   });
        break;
    case ModeRGB12:
        ImportRgb12(image, bits, rowPitch, how);
        break;
    case ModeRGB16:
        ImportRgb16(image, bits, rowPitch, how);
        break;
    case ModeRGB:
    case ModeCMYK:
    case ModeARGB:
        ImportColour<std::uint8_t>(image, channels, layout, kByteRule, bits, rowPitch, how);
        break;
    case ModeRGB48:
    case ModeCMYK64:
        ImportColour<std::uint16_t>(image, channels, layout, DeepRule(image, how.alignment), bits,
                                    rowPitch, how);
        break;
    case ModeGray16:
    case ModeLab48:
        ImportPassThrough<std::uint16_t>(image, channels, layout, DeepRule(image, how.alignment),
                                         bits, rowPitch, how);
        break;
    case ModeGray32:
        ImportPassThrough<std::uint32_t>(image, channels, layout, DeepRule(image, how.alignment),
                                         bits, rowPitch, how);
        break;
    default: // Gray, Indexed, HSL, HSB, Lab: bytes centred, no colour transform
        ImportPassThrough<std::uint8_t>(image, channels, layout, kByteRule, bits, rowPitch, how);
        break;
    }
}
