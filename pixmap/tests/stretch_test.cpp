// Proves StretchRect against a per-pixel evaluation of the weights for every sample family,
// including destination rectangles that stick out of their map (the visible part equals the crop
// of a full stretch), sizes of 1, very large rectangles that need wide sums, Indexed and Bitmap
// particulars, and bottom-up caller memory.
#include "color_table.h"
#include "mul_div.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::int64_t ChannelMax(std::uint32_t mode, int channel) {
    switch (mode) {
    case ModeRGB16:
        return channel == 1 ? 63 : 31;
    case ModeRGB12:
        return 15;
    case ModeGray32:
        return 0x3FFFFFFF;
    case ModeGray16:
    case ModeRGB48:
    case ModeLab48:
    case ModeCMYK64:
        return 65535;
    default:
        return 255;
    }
}

// The expected pixel (u, v) of a sw × sh source area at (left, top) stretched to dw × dh.
std::vector<std::int64_t> Expected(const CPixMap& source, const PixRect& area, std::uint64_t dw,
                                   std::uint64_t dh, std::uint64_t u, std::uint64_t v) {
    const std::uint64_t sw = area.Width(), sh = area.Height();
    const std::uint64_t sx = (sw - 1) * u / dw, sy = (sh - 1) * v / dh;
    const auto fx = std::int64_t(dw == 1 ? 0 : u * dw / (dw - 1));
    const auto fy = std::int64_t(dh == 1 ? 0 : v * dh / (dh - 1));
    const auto at = [&](std::uint64_t x, std::uint64_t y) {
        return PixelValues(source, std::uint32_t(area.left + x), std::uint32_t(area.top + y));
    };
    const std::uint64_t sx1 = sw > 1 ? sx + 1 : sx, sy1 = sh > 1 ? sy + 1 : sy;
    const auto a = at(sx, sy), b = at(sx1, sy), c = at(sx, sy1), d = at(sx1, sy1);
    // Sums in 128 bits: dw × dh alone can pass 64 bits for huge rectangles.
    const Int128 w = dw, h = dh;
    const auto rounded = [&](Int128 sum, Int128 weight) {
        return std::int64_t((2 * sum * weight + w * h) / (2 * w * h));
    };
    std::vector<std::int64_t> out;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const std::int64_t value = rounded(fx * Int128{b[k]} + (w - fx) * a[k], h - fy) +
                                   rounded(fx * Int128{d[k]} + (w - fx) * c[k], fy);
        out.push_back(std::clamp<std::int64_t>(value, 0, ChannelMax(source.GetMode(), int(k))));
    }
    return out;
}

void CheckStretch(const CPixMap& source, const PixRect& sourceRect, CPixMap& target,
                  const PixRect& targetRect) {
    source.StretchRect(sourceRect, target, targetRect);
    const PixRect area{sourceRect.left - source.Rect().left, sourceRect.top - source.Rect().top,
                       sourceRect.right - source.Rect().left,
                       sourceRect.bottom - source.Rect().top};
    for (std::uint32_t y = 0; y < target.Height(); ++y)
        for (std::uint32_t x = 0; x < target.Width(); ++x) {
            const std::uint64_t u = std::uint64_t(target.Rect().left) + x - targetRect.left;
            const std::uint64_t v = std::uint64_t(target.Rect().top) + y - targetRect.top;
            if (u >= targetRect.Width() || v >= targetRect.Height()) continue;
            ASSERT_EQ(PixelValues(target, x, y),
                      Expected(source, area, targetRect.Width(), targetRect.Height(), u, v))
                << ImageModeName(source.GetMode()) << " at " << x << "," << y;
        }
}

const std::uint32_t kInterpolatedModes[] = {ModeGray,   ModeRGB,    ModeLab,   ModeARGB,
                                            ModeCMYK,   ModeGray16, ModeRGB48, ModeLab48,
                                            ModeCMYK64, ModeGray32, ModeRGB12, ModeRGB16};

} // namespace

TEST(Stretch, EveryFamilyMatchesThePerPixelWeights) {
    const std::pair<PixRect, PixRect> sizes[] = {
        {{0, 0, 7, 5}, {0, 0, 3, 2}}, {{0, 0, 3, 2}, {0, 0, 8, 7}}, {{0, 0, 5, 4}, {0, 0, 1, 3}},
        {{0, 0, 1, 1}, {0, 0, 4, 4}}, {{0, 0, 4, 1}, {0, 0, 9, 2}}, {{0, 0, 6, 6}, {0, 0, 12, 12}}};
    std::uint32_t seed = 0;
    for (const std::uint32_t mode : kInterpolatedModes)
        for (const auto& [from, to] : sizes) {
            const auto source = RandomMap(mode, from.right, from.bottom, ++seed);
            const auto target = RandomMap(mode, to.right, to.bottom, ++seed);
            CheckStretch(*source, from, *target, to);
        }
}

TEST(Stretch, PartsOfBothMapsAndRectanglesStickingOut) {
    std::uint32_t seed = 100;
    for (const std::uint32_t mode : kInterpolatedModes) {
        const auto source = CreatePixMap(PixRect{10, 10, 30, 25}, mode);
        Randomize(*source, ++seed);
        // Destination rectangle larger than, and offset from, its map.
        const auto target = RandomMap(mode, 9, 7, ++seed);
        CheckStretch(*source, PixRect{12, 11, 27, 20}, *target, PixRect{3, 2, 40, 31});
        BottomUpMap bottomUp(mode, 9, 7);
        CheckStretch(*source, PixRect{12, 11, 27, 20}, *bottomUp.map, PixRect{0, 0, 5, 4});
        EXPECT_TRUE(bottomUp.GuardsIntact());
    }
}

TEST(Stretch, HugeRectanglesUseWideSumsAndGray32DoesNotOverflow) {
    const std::uint8_t top[4] = {0xFF, 0xFF, 0xFF, 0x3F};
    const auto full = CreatePixMap(PixRect{0, 0, 3, 3}, ModeGray32, top, 4);
    const auto target = RandomMap(ModeGray32, 5, 4, 3);
    full->StretchRect(full->Rect(), *target, target->Rect());
    EXPECT_TRUE(target->IsUniform(target->Rect()));

    const auto source = RandomMap(ModeGray32, 4, 3, 4);
    const auto window = RandomMap(ModeGray32, 6, 5, 5);
    CheckStretch(*source, source->Rect(), *window, PixRect{0, 0, 0x7FFFFFF0, 0x7FFFFFF0});
    const auto rgb = RandomMap(ModeRGB48, 4, 3, 6);
    const auto rgbWindow = RandomMap(ModeRGB48, 3, 3, 7);
    CheckStretch(*rgb, rgb->Rect(), *rgbWindow, PixRect{0, 0, 0xFFFFFFF0, 0xFFFFFFF0});
}

TEST(Stretch, IndexedKeepsTheTableAndPicksTheNearestEntry) {
    const auto source = RandomMap(ModeIndexed, 5, 4, 20);
    const auto target = CreatePixMap(PixRect{0, 0, 9, 7}, ModeIndexed);
    source->StretchRect(source->Rect(), *target, target->Rect());
    ASSERT_NE(target->GetColorTable(), nullptr);
    ASSERT_TRUE(std::equal(source->GetColorTable(), source->GetColorTable() + 1024,
                           target->GetColorTable()));
    // The interpolated color of each pixel is that of an RGB map built from the table.
    const auto rgb = CreatePixMap(source->Rect(), ModeRGB);
    source->ConvertTo(*rgb);
    const auto rgbTarget = CreatePixMap(target->Rect(), ModeRGB);
    rgb->StretchRect(rgb->Rect(), *rgbTarget, rgbTarget->Rect());
    for (std::uint32_t y = 0; y < 7; ++y)
        for (std::uint32_t x = 0; x < 9; ++x) {
            const auto c = PixelValues(*rgbTarget, x, y);
            ASSERT_EQ(target->Row(y)[x],
                      FindNearestColor(*target, int(c[2]), int(c[1]), int(c[0]), 0).index);
        }
}

TEST(Stretch, BitmapIsResampledAsGrayAndDitheredBack) {
    const auto source = RandomMap(ModeBitmap, 13, 6, 30);
    const PixRect part{2, 1, 11, 5};
    // Expected: the part as Gray, resampled, dithered into a map of the destination size.
    const auto partGray = CreatePixMap(PixRect{0, 0, 9, 4}, ModeGray);
    const auto partBitmap = CreatePixMap(PixRect{0, 0, 9, 4}, ModeBitmap);
    source->CopyRect(part, *partBitmap, partBitmap->Rect());
    partBitmap->ConvertTo(*partGray);
    const auto stretchedGray = CreatePixMap(PixRect{0, 0, 20, 9}, ModeGray);
    partGray->StretchRect(partGray->Rect(), *stretchedGray, stretchedGray->Rect());
    const auto expected = CreatePixMap(PixRect{0, 0, 20, 9}, ModeBitmap);
    stretchedGray->ConvertTo(*expected);

    const auto whole = CreatePixMap(PixRect{0, 0, 20, 9}, ModeBitmap);
    source->StretchRect(part, *whole, whole->Rect());
    EXPECT_TRUE(SamePixels(*whole, *expected));

    const auto larger = RandomMap(ModeBitmap, 30, 12, 31);
    const auto before = RandomMap(ModeBitmap, 30, 12, 31);
    source->StretchRect(part, *larger, PixRect{5, 2, 25, 11});
    EXPECT_TRUE(expected->EqualRect(expected->Rect(), *larger, PixRect{5, 2, 25, 11}));
    EXPECT_TRUE(before->EqualRect(PixRect{0, 0, 5, 12}, *larger, PixRect{0, 0, 5, 12}));
}

TEST(Stretch, EqualSizesCopyAndInvertedRectanglesDoNothing) {
    const auto source = RandomMap(ModeRGB, 5, 5, 40);
    const auto target = RandomMap(ModeRGB, 5, 5, 41);
    source->StretchRect(PixRect{1, 1, 4, 4}, *target, PixRect{0, 0, 3, 3});
    EXPECT_TRUE(source->EqualRect(PixRect{1, 1, 4, 4}, *target, PixRect{0, 0, 3, 3}));
    const auto untouched = RandomMap(ModeRGB, 5, 5, 42);
    const auto before = RandomMap(ModeRGB, 5, 5, 42);
    source->StretchRect(PixRect{4, 0, 1, 5}, *untouched, untouched->Rect());
    source->StretchRect(source->Rect(), *untouched, PixRect{4, 4, 0, 0});
    source->StretchRect(source->Rect(), *RandomMap(ModeGray, 3, 3, 1), PixRect{0, 0, 3, 3});
    EXPECT_TRUE(SamePixels(*untouched, *before));
}
