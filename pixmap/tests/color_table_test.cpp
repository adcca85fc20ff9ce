// Proves the nearest-color search order, that sorting a table keeps every pixel's color and
// yields the hue/lightness order, and both ways of the Indexed copy rule, including sources and
// destinations that have no color table yet.
#include "color_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

namespace {

using Color = std::array<int, 3>; // blue, green, red

Color ColorAt(const std::uint8_t* table, int index) {
    return {table[index * 4], table[index * 4 + 1], table[index * 4 + 2]};
}

// Brute force: the entry nearest to `c`, the first met from `start` on ties.
int NearestFrom(const std::uint8_t* table, const Color& c, int start) {
    int best = start;
    long bestDistance = -1;
    for (int step = 0; step < 256; ++step) {
        const int i = (start + step) % 256;
        const Color e = ColorAt(table, i);
        long distance = 0;
        for (int k = 0; k < 3; ++k)
            distance += long(c[k] - e[k]) * (c[k] - e[k]);
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

std::unique_ptr<CPixMap> IndexedWithTable(std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
    return RandomMap(ModeIndexed, w, h, seed);
}

std::vector<std::uint8_t> TableOf(const CPixMap& map) {
    return {map.GetColorTable(), map.GetColorTable() + 1024};
}

} // namespace

TEST(FindNearestColor, SearchesFromTheStartAndKeepsTheFirstOfEqualDistances) {
    const auto map = CreatePixMap(PixRect{0, 0, 1, 1}, ModeIndexed);
    EXPECT_EQ(FindNearestColor(*map, 1, 2, 3, 0).index, 255);
    EXPECT_EQ(FindNearestColor(*map, 1, 2, 3, 0).distance, 0x7FFFFFFFu);
    std::uint8_t* table = map->AllocColorTable();
    std::fill(table, table + 1024, 200);
    const std::uint8_t a[4] = {10, 10, 10, 0}, b[4] = {10, 10, 12, 0}, c[4] = {10, 10, 8, 0};
    std::memcpy(table + 40 * 4, a, 4);
    std::memcpy(table + 50 * 4, b, 4);
    std::memcpy(table + 30 * 4, c, 4);
    // Red 11 is 1 away from entries 40 and 50: the first from the start wins.
    EXPECT_EQ(FindNearestColor(*map, 11, 10, 10, 0).index, 40);
    EXPECT_EQ(FindNearestColor(*map, 11, 10, 10, 45).index, 50);
    EXPECT_EQ(FindNearestColor(*map, 11, 10, 10, 0).distance, 1u);
    // Red 9 ties entries 30 and 40; from 35 the search meets 40 first and 30 only after wrapping.
    EXPECT_EQ(FindNearestColor(*map, 9, 10, 10, 35).index, 40);
    EXPECT_EQ(FindNearestColor(*map, 9, 10, 10, 200).index, 30);
    EXPECT_EQ(FindNearestColor(*map, 10, 10, 10, 200).distance, 0u);
}

TEST(SortColorTable, KeepsEveryPixelsColorAndOrdersByLightnessGroupsAndHue) {
    const auto map = IndexedWithTable(17, 9, 5);
    std::vector<Color> before;
    for (std::uint32_t y = 0; y < 9; ++y)
        for (std::uint32_t x = 0; x < 17; ++x)
            before.push_back(ColorAt(map->GetColorTable(), map->Row(y)[x]));
    SortColorTable(*map);
    for (std::uint32_t y = 0, i = 0; y < 9; ++y)
        for (std::uint32_t x = 0; x < 17; ++x, ++i)
            ASSERT_EQ(ColorAt(map->GetColorTable(), map->Row(y)[x]), before[i]);

    // Hue, saturation, lightness of an entry, from its integer definition.
    const auto hsl = [](const Color& c) {
        const int blue = c[0], green = c[1], red = c[2];
        const int high = std::max({red, green, blue}), low = std::min({red, green, blue});
        const int l = (high + low) / 2;
        if (high == low) return std::array<int, 3>{0, 0, l};
        const int d = high - low;
        const int s =
            std::min(255, l < 128 ? d * 256 / (high + low) : d * 256 / (512 - high - low));
        const int r = ((high - red) * 60 + 180 * d) / d, g = ((high - green) * 60 + 180 * d) / d,
                  b = ((high - blue) * 60 + 180 * d) / d;
        int h = red == high ? b - g : green == high ? r - b + 120 : g - r + 240;
        h = (h + 360) % 360;
        return std::array<int, 3>{h, s, l};
    };
    const auto key = [&hsl](const Color& c) {
        const auto [h, s, l] = hsl(c);
        const int group = l < 51 ? 0 : l <= 199 ? 1 : 2;
        return group == 1 ? std::tuple{group, h, l, s} : std::tuple{group, l, h, s};
    };
    for (int i = 1; i < 256; ++i)
        EXPECT_LE(key(ColorAt(map->GetColorTable(), i - 1)), key(ColorAt(map->GetColorTable(), i)))
            << i;
}

TEST(IndexedCopy, WholeDestinationOrOneWithoutTableTakesTheSourceTable) {
    const auto source = IndexedWithTable(6, 4, 10);
    const auto whole = IndexedWithTable(6, 4, 11);
    source->CopyRect(source->Rect(), *whole, whole->Rect());
    EXPECT_EQ(TableOf(*whole), TableOf(*source));
    EXPECT_TRUE(SamePixels(*whole, *source));

    const auto fresh = CreatePixMap(PixRect{0, 0, 20, 20}, ModeIndexed);
    source->CopyRect(source->Rect(), *fresh, PixRect{3, 3, 9, 7});
    EXPECT_EQ(TableOf(*fresh), TableOf(*source));
    EXPECT_TRUE(source->EqualRect(source->Rect(), *fresh, PixRect{3, 3, 9, 7}));
}

TEST(IndexedCopy, SmallCopyKeepsTheDestinationTable) {
    const auto source = IndexedWithTable(3, 2, 20);
    const auto target = IndexedWithTable(10, 10, 21);
    const auto table = TableOf(*target);
    const auto before = IndexedWithTable(10, 10, 21);
    source->CopyRect(source->Rect(), *target, PixRect{4, 5, 7, 7});
    EXPECT_EQ(TableOf(*target), table);
    for (std::uint32_t y = 0; y < 10; ++y)
        for (std::uint32_t x = 0; x < 10; ++x) {
            const bool inside = x >= 4 && x < 7 && y >= 5 && y < 7;
            if (!inside) {
                ASSERT_EQ(target->Row(y)[x], before->Row(y)[x]);
                continue;
            }
            const int sourceIndex = source->Row(y - 5)[x - 4];
            ASSERT_EQ(target->Row(y)[x],
                      NearestFrom(table.data(), ColorAt(source->GetColorTable(), sourceIndex),
                                  sourceIndex));
        }
}

TEST(IndexedCopy, LargeCopyBringsItsTableAndRemapsTheRest) {
    const auto source = IndexedWithTable(9, 9, 30);
    const auto target = IndexedWithTable(10, 10, 31);
    const auto before = IndexedWithTable(10, 10, 31);
    source->CopyRect(source->Rect(), *target, PixRect{1, 1, 10, 10}); // 81 covered, 19 rest
    EXPECT_EQ(TableOf(*target), TableOf(*source));
    for (std::uint32_t y = 0; y < 10; ++y)
        for (std::uint32_t x = 0; x < 10; ++x) {
            if (x >= 1 && y >= 1) {
                ASSERT_EQ(target->Row(y)[x], source->Row(y - 1)[x - 1]);
                continue;
            }
            const int old = before->Row(y)[x];
            ASSERT_EQ(target->Row(y)[x], NearestFrom(source->GetColorTable(),
                                                     ColorAt(before->GetColorTable(), old), old));
        }
}

TEST(IndexedCopy, MissingTablesAreNeverRead) {
    // A fresh, background-filled source has indices but no colors.
    const auto fresh = CreatePixMap(PixRect{0, 0, 4, 4}, ModeIndexed, nullptr, 0);
    fresh->FillWithBackground();
    const auto target = IndexedWithTable(4, 4, 40);
    const auto table = TableOf(*target);
    const auto before = IndexedWithTable(4, 4, 40);
    fresh->CopyRect(fresh->Rect(), *target, PixRect{0, 0, 2, 2}); // part: nothing to reconcile
    EXPECT_TRUE(SamePixels(*target, *before));
    fresh->CopyRect(fresh->Rect(), *target, target->Rect()); // whole: the indices only
    EXPECT_EQ(TableOf(*target), table);
    EXPECT_EQ(target->Row(3)[3], 255);

    const auto stretched = IndexedWithTable(8, 8, 41);
    const auto stretchedBefore = IndexedWithTable(8, 8, 41);
    fresh->StretchRect(fresh->Rect(), *stretched, stretched->Rect());
    EXPECT_TRUE(SamePixels(*stretched, *stretchedBefore));

    const auto gray = RandomMap(ModeGray, 4, 4, 42), grayBefore = RandomMap(ModeGray, 4, 4, 42);
    fresh->ConvertTo(*gray);
    EXPECT_TRUE(SamePixels(*gray, *grayBefore));
}
