// Proves ConvertTo for every supported pair against an independent per-pixel computation on
// random images (owned and bottom-up), the exact round trips, the target table of CanConvertTo,
// the error diffusion against a full working array, and the three ways into Indexed.
#include "color_formulas.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

using Values = std::vector<std::int64_t>;

const std::map<std::uint32_t, std::set<std::uint32_t>> kTargets = {
    {ModeBitmap, {0, 1, 3, 17}},
    {ModeGray, {0, 1, 3, 10, 17, 18}},
    {ModeIndexed, {1, 2, 3, 17}},
    {ModeRGB, {1, 2, 3, 4, 9, 11, 17, 19, 20}},
    {ModeCMYK, {3, 4, 13, 17}},
    {ModeLab, {1, 3, 9, 12, 17}},
    {ModeGray16, {1, 3, 10, 17, 18}},
    {ModeRGB48, {3, 10, 11, 12, 13, 17}},
    {ModeLab48, {3, 9, 10, 11, 12, 17}},
    {ModeCMYK64, {3, 4, 11, 13, 17}},
    {ModeARGB, {1, 3, 17}},
    {ModeGray32, {1, 3, 10, 17, 18}},
    {ModeRGB12, {2, 3, 17, 19, 20}},
    {ModeRGB16, {2, 3, 17, 20}},
};

template <typename Array>
Values ToValues(const Array& array) {
    return Values(array.begin(), array.end());
}

// Blue, green, red that the RGB target receives; the ARGB target adds alpha 255.
Values ExpectedBgr(std::uint32_t from, const Values& v, const std::uint8_t* table) {
    switch (from) {
    case ModeBitmap:
        return Values(3, v[0] ? 0 : 255);
    case ModeGray:
        return {v[0], v[0], v[0]};
    case ModeIndexed:
        return {table[v[0] * 4], table[v[0] * 4 + 1], table[v[0] * 4 + 2]};
    case ModeRGB:
    case ModeARGB:
        return {v[0], v[1], v[2]};
    case ModeCMYK:
        return ToValues(CmykToBgr(int(v[0]), int(v[1]), int(v[2]), int(v[3])));
    case ModeLab:
        return ToValues(LabToBgr(int(v[0]), int(v[1]), int(v[2]), 255, 255));
    case ModeGray16:
        return Values(3, v[0] / 256);
    case ModeRGB48:
        return {v[0] / 256, v[1] / 256, v[2] / 256};
    case ModeLab48:
        return ToValues(LabToBgr(int(v[0]), int(v[1]), int(v[2]), 65535, 255));
    case ModeCMYK64: {
        const auto wide = Cmyk64ToBgr48(std::uint32_t(v[0]), std::uint32_t(v[1]),
                                        std::uint32_t(v[2]), std::uint32_t(v[3]));
        return {wide[0] / 256, wide[1] / 256, wide[2] / 256};
    }
    case ModeGray32:
        return Values(3, v[0] / (1 << 22));
    case ModeRGB12:
        return {v[0] * 16, v[1] * 16, v[2] * 16};
    case ModeRGB16:
        return {v[0] * 8, v[1] * 4, v[2] * 8};
    default:
        return {};
    }
}

// The target pixel of every row-by-row pair, computed from the source pixel's channel values.
Values Expected(std::uint32_t from, std::uint32_t to, const Values& v, const std::uint8_t* table) {
    if (to == ModeRGB) return ExpectedBgr(from, v, table);
    if (to == ModeARGB) {
        Values bgra = ExpectedBgr(from, v, table);
        bgra.push_back(255);
        return bgra;
    }
    const auto gray = [](const Values& bgr) {
        return Values{GrayOf(int(bgr[0]), int(bgr[1]), int(bgr[2]))};
    };
    const auto widen = [](Values values) {
        for (auto& value : values)
            value *= 256;
        return values;
    };
    const auto narrow = [](Values values) {
        for (auto& value : values)
            value /= 256;
        return values;
    };
    switch (from * 100 + to) {
    case ModeBitmap * 100 + ModeGray:
        return {v[0] ? 0 : 255};
    case ModeGray * 100 + ModeGray16:
        return {v[0] * 256};
    case ModeGray * 100 + ModeGray32:
        return {v[0] << 22};
    case ModeIndexed * 100 + ModeGray:
        return gray(ExpectedBgr(from, v, table));
    case ModeRGB * 100 + ModeGray:
    case ModeARGB * 100 + ModeGray:
        return gray(v);
    case ModeRGB * 100 + ModeCMYK:
        return ToValues(BgrToCmyk(int(v[0]), int(v[1]), int(v[2])));
    case ModeRGB * 100 + ModeLab:
        return ToValues(BgrToLab(int(v[0]), int(v[1]), int(v[2]), 255));
    case ModeRGB * 100 + ModeRGB48:
    case ModeCMYK * 100 + ModeCMYK64:
    case ModeLab * 100 + ModeLab48:
        return widen(v);
    case ModeRGB * 100 + ModeRGB12:
        return {v[0] / 16, v[1] / 16, v[2] / 16};
    case ModeRGB * 100 + ModeRGB16:
        return {v[0] / 8, v[1] / 4, v[2] / 8};
    case ModeLab * 100 + ModeGray:
    case ModeLab48 * 100 + ModeGray16:
        return {v[0]};
    case ModeGray16 * 100 + ModeGray:
        return {v[0] / 256};
    case ModeGray16 * 100 + ModeGray32:
        return {v[0] << 14};
    case ModeRGB48 * 100 + ModeGray16:
        return gray(v);
    case ModeRGB48 * 100 + ModeLab48:
        return ToValues(BgrToLab(int(v[0]), int(v[1]), int(v[2]), 65535));
    case ModeRGB48 * 100 + ModeCMYK64:
        return ToValues(Bgr48ToCmyk64(int(v[0]), int(v[1]), int(v[2])));
    case ModeLab48 * 100 + ModeRGB48:
        return ToValues(LabToBgr(int(v[0]), int(v[1]), int(v[2]), 65535, 65535));
    case ModeLab48 * 100 + ModeLab:
    case ModeCMYK64 * 100 + ModeCMYK:
        return narrow(v);
    case ModeCMYK64 * 100 + ModeRGB48:
        return ToValues(Cmyk64ToBgr48(std::uint32_t(v[0]), std::uint32_t(v[1]), std::uint32_t(v[2]),
                                      std::uint32_t(v[3])));
    case ModeGray32 * 100 + ModeGray:
        return {v[0] >> 22};
    case ModeGray32 * 100 + ModeGray16:
        return {v[0] >> 14};
    case ModeRGB12 * 100 + ModeRGB16:
        return {v[0] * 2, v[1] * 4, v[2] * 2};
    default:
        return {};
    }
}

bool IsRowByRow(std::uint32_t from, std::uint32_t to) {
    return from != to && to != ModeIndexed && !(from == ModeGray && to == ModeBitmap);
}

void CheckPair(const CPixMap& source, CPixMap& target) {
    source.ConvertTo(target);
    for (std::uint32_t y = 0; y < source.Height(); ++y)
        for (std::uint32_t x = 0; x < source.Width(); ++x) {
            const Values expected = Expected(source.GetMode(), target.GetMode(),
                                             PixelValues(source, x, y), source.GetColorTable());
            ASSERT_FALSE(expected.empty());
            ASSERT_EQ(PixelValues(target, x, y), expected)
                << ImageModeName(source.GetMode()) << " -> " << ImageModeName(target.GetMode())
                << " at " << x << "," << y;
        }
}

// The literal error diffusion over a full-height working array.
std::vector<std::uint8_t> ReferenceDither(const CPixMap& gray, std::uint64_t workingWidth) {
    const std::uint64_t w = gray.Width(), h = gray.Height();
    std::vector<std::vector<float>> work(h, std::vector<float>(workingWidth, 128.0f));
    for (std::uint64_t y = 0; y < h; ++y)
        for (std::uint64_t x = 0; x < w; ++x)
            work[y][x] = gray.Row(std::uint32_t(y))[x];
    std::vector<std::uint8_t> bits(h * workingWidth);
    const int kernel[3][5] = {{0, 0, 0, 8, 4}, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}};
    for (std::uint64_t y = 0; y < h; ++y)
        for (std::uint64_t x = 0; x < workingWidth; ++x) {
            const float v = work[y][x];
            const bool black = v < 128;
            const float e = (v - (black ? 0.0f : 255.0f)) * 8 / 42;
            bits[y * workingWidth + x] = black;
            for (int dy = 0; dy < 3; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int k = kernel[dy][dx + 2];
                    const std::int64_t nx = std::int64_t(x) + dx;
                    if (k == 0 || y + dy >= h || nx < 0 || nx >= std::int64_t(workingWidth))
                        continue;
                    work[y + dy][std::uint64_t(nx)] += e / (8.0f / float(k));
                }
        }
    return bits;
}

// Brute-force nearest table entry, the first from index 0 on ties.
int Nearest(const std::uint8_t* table, int blue, int green, int red) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 256; ++i) {
        const long db = blue - table[i * 4], dg = green - table[i * 4 + 1],
                   dr = red - table[i * 4 + 2];
        const long distance = db * db + dg * dg + dr * dr;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void ExpectIndicesNearest(const CPixMap& indexed, const std::vector<Values>& colors) {
    const std::uint8_t* table = indexed.GetColorTable();
    ASSERT_NE(table, nullptr);
    for (std::uint32_t y = 0, i = 0; y < indexed.Height(); ++y)
        for (std::uint32_t x = 0; x < indexed.Width(); ++x, ++i) {
            const Values& c = colors[i];
            ASSERT_EQ(indexed.Row(y)[x], Nearest(table, int(c[0]), int(c[1]), int(c[2])));
        }
}

} // namespace

TEST(Conversion, CanConvertToListsExactlyTheSupportedTargets) {
    for (const std::uint32_t mode : kPixMapModes) {
        const auto map = CreatePixMap(PixRect{0, 0, 1, 1}, mode);
        for (std::uint32_t target = 0; target < kImageModeCount; ++target)
            EXPECT_EQ(map->CanConvertTo(ImageMode(target)), kTargets.at(mode).count(target) == 1)
                << ImageModeName(mode) << " -> " << ImageModeName(target);
    }
}

TEST(Conversion, EveryRowByRowPairMatchesThePerPixelFormula) {
    std::uint32_t seed = 0;
    for (const auto& [from, targets] : kTargets)
        for (const std::uint32_t to : targets) {
            if (!IsRowByRow(from, to)) continue;
            for (const auto& [w, h] : {std::pair{1u, 1u}, std::pair{7u, 3u}, std::pair{5u, 2u}}) {
                const auto source = RandomMap(from, w, h, ++seed);
                const auto target = CreatePixMap(PixRect{0, 0, w, h}, to);
                CheckPair(*source, *target);
            }
            BottomUpMap source(from, 6, 3), target(to, 6, 3);
            Randomize(*source.map, ++seed);
            CheckPair(*source.map, *target.map);
            EXPECT_TRUE(target.GuardsIntact());
        }
}

TEST(Conversion, SameModeCopiesAndUnsupportedTargetsOrSizesChangeNothing) {
    for (const std::uint32_t mode : kPixMapModes) {
        const auto source = RandomMap(mode, 5, 3, 11);
        const auto copy = RandomMap(mode, 5, 3, 12);
        source->ConvertTo(*copy);
        EXPECT_TRUE(SamePixels(*source, *copy)) << ImageModeName(mode);
    }
    const auto indexed = RandomMap(ModeIndexed, 4, 2, 13);
    const auto indexedCopy = CreatePixMap(PixRect{0, 0, 4, 2}, ModeIndexed);
    indexed->ConvertTo(*indexedCopy);
    ASSERT_NE(indexedCopy->GetColorTable(), nullptr);
    EXPECT_TRUE(std::equal(indexed->GetColorTable(), indexed->GetColorTable() + 1024,
                           indexedCopy->GetColorTable()));

    const auto cmyk = RandomMap(ModeCMYK, 4, 2, 14);
    const auto gray = RandomMap(ModeGray, 4, 2, 15), grayBefore = RandomMap(ModeGray, 4, 2, 15);
    cmyk->ConvertTo(*gray); // CMYK -> Gray is not supported
    EXPECT_TRUE(SamePixels(*gray, *grayBefore));
    const auto rgb = RandomMap(ModeRGB, 5, 2, 16);
    rgb->ConvertTo(*gray); // another size
    EXPECT_TRUE(SamePixels(*gray, *grayBefore));
}

TEST(Conversion, RoundTripsThatMustBeExact) {
    const std::pair<std::uint32_t, std::uint32_t> trips[] = {
        {ModeGray, ModeGray16},   {ModeGray, ModeGray32}, {ModeRGB, ModeRGB48},
        {ModeRGB, ModeARGB},      {ModeCMYK, ModeCMYK64}, {ModeLab, ModeLab48},
        {ModeGray16, ModeGray32}, {ModeRGB12, ModeRGB},   {ModeRGB16, ModeRGB},
        {ModeBitmap, ModeRGB}};
    std::uint32_t seed = 50;
    for (const auto& [mode, via] : trips) {
        const auto source = RandomMap(mode, 9, 4, ++seed);
        const auto middle = CreatePixMap(source->Rect(), via);
        const auto back = CreatePixMap(source->Rect(), mode);
        source->ConvertTo(*middle);
        if (mode == ModeBitmap) {
            // Only black and white reach RGB, and error diffusion returns them unchanged.
            const auto gray = CreatePixMap(source->Rect(), ModeGray);
            source->ConvertTo(*gray);
            gray->ConvertTo(*back);
        } else {
            middle->ConvertTo(*back);
        }
        EXPECT_TRUE(SamePixels(*source, *back))
            << ImageModeName(mode) << " via " << ImageModeName(via);
    }
}

TEST(ErrorDiffusion, MatchesTheFullWorkingArrayForManyWidths) {
    std::uint32_t seed = 200;
    for (std::uint32_t w = 1; w <= 40; w += 3)
        for (const std::uint32_t h : {1u, 2u, 5u}) {
            const auto gray = RandomMap(ModeGray, w, h, ++seed);
            for (const bool bottomUp : {false, true}) {
                BottomUpMap attached(ModeBitmap, w, h);
                auto owned = CreatePixMap(gray->Rect(), ModeBitmap);
                CPixMap& bitmap = bottomUp ? *attached.map : *owned;
                gray->ConvertTo(bitmap);
                const std::uint64_t working = std::uint64_t(std::abs(bitmap.Stride())) * 8;
                const auto expected = ReferenceDither(*gray, working);
                for (std::uint32_t y = 0; y < h; ++y)
                    for (std::uint32_t x = 0; x < w; ++x)
                        ASSERT_EQ(PixelValues(bitmap, x, y)[0], expected[y * working + x])
                            << "width " << w << " at " << x << "," << y;
                EXPECT_TRUE(attached.GuardsIntact());
            }
        }
}

TEST(IndexedTargets, Rgb16SamplesItsTableWithTheSeededGenerator) {
    const auto source = RandomMap(ModeRGB16, 13, 7, 300);
    const auto indexed = CreatePixMap(source->Rect(), ModeIndexed);
    source->ConvertTo(*indexed);
    std::mt19937 random(13 * 7);
    std::vector<Values> colors;
    for (std::uint32_t y = 0; y < 7; ++y)
        for (std::uint32_t x = 0; x < 13; ++x)
            colors.push_back(ExpectedBgr(ModeRGB16, PixelValues(*source, x, y), nullptr));
    const std::uint8_t* table = indexed->GetColorTable();
    for (int entry = 0; entry < 256; ++entry) {
        const std::uint32_t x = random() % 13, y = random() % 7;
        const Values& c = colors[y * 13 + x];
        ASSERT_EQ(Values(table + entry * 4, table + entry * 4 + 3), c) << entry;
    }
    ExpectIndicesNearest(*indexed, colors);
}

TEST(IndexedTargets, OnePixelGivesATableOfItsColorAndRgbGoesThroughRgb16) {
    const std::uint8_t word[2] = {0x34, 0x12};
    const auto one = CreatePixMap(PixRect{0, 0, 1, 1}, ModeRGB16, word, 2);
    const auto indexed = CreatePixMap(PixRect{0, 0, 1, 1}, ModeIndexed);
    one->ConvertTo(*indexed);
    const auto bgr = Rgb16ToBgr(0x1234);
    for (int entry = 0; entry < 256; ++entry)
        EXPECT_EQ(
            Values(indexed->GetColorTable() + entry * 4, indexed->GetColorTable() + entry * 4 + 3),
            ToValues(bgr));

    BottomUpMap rgb(ModeRGB, 11, 6);
    Randomize(*rgb.map, 301);
    const auto rgb16 = CreatePixMap(PixRect{0, 0, 11, 6}, ModeRGB16);
    const auto direct = CreatePixMap(PixRect{0, 0, 11, 6}, ModeIndexed);
    const auto viaRgb16 = CreatePixMap(PixRect{0, 0, 11, 6}, ModeIndexed);
    rgb.map->ConvertTo(*direct);
    rgb.map->ConvertTo(*rgb16);
    rgb16->ConvertTo(*viaRgb16);
    EXPECT_TRUE(SamePixels(*direct, *viaRgb16));
    EXPECT_TRUE(std::equal(direct->GetColorTable(), direct->GetColorTable() + 1024,
                           viaRgb16->GetColorTable()));
}

TEST(IndexedTargets, Rgb12TakesTheMostFrequentColors) {
    // 300 pixels of distinct colors, then color 0x123 five times and 0xABC three times.
    std::vector<unsigned> colors;
    for (unsigned c = 0; c < 300; ++c)
        colors.push_back((c * 13 + 1000) % 4096);
    for (int i = 0; i < 5; ++i)
        colors.push_back(0x123);
    for (int i = 0; i < 3; ++i)
        colors.push_back(0xABC);
    const auto width = static_cast<std::uint32_t>(colors.size());
    const auto source = CreatePixMap(PixRect{0, 0, width, 1}, ModeRGB12);
    for (std::uint32_t x = 0; x < width; ++x)
        for (unsigned n = 0; n < 3; ++n) {
            const unsigned nibble = colors[x] >> (4 * n) & 0xF, i = 3 * x + n;
            std::uint8_t& byte = source->Row(0)[i / 2];
            byte = static_cast<std::uint8_t>(i % 2 ? (byte & 0x0F) | nibble << 4
                                                   : (byte & 0xF0) | nibble);
        }
    const auto indexed = CreatePixMap(source->Rect(), ModeIndexed);
    source->ConvertTo(*indexed);
    const std::uint8_t* table = indexed->GetColorTable();
    EXPECT_EQ(Values(table, table + 4), (Values{0x3 * 16, 0x2 * 16, 0x1 * 16, 0}));
    EXPECT_EQ(Values(table + 4, table + 8), (Values{0xC * 16, 0xB * 16, 0xA * 16, 0}));
    std::vector<Values> expanded;
    for (const unsigned c : colors)
        expanded.push_back({(c & 0xF) * 16, (c >> 4 & 0xF) * 16, (c >> 8) * 16});
    ExpectIndicesNearest(*indexed, expanded);
    EXPECT_EQ(indexed->Row(0)[300], 0);
}
