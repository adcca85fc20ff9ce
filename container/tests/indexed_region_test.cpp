// Indexed containers: every tile carries a colour table of its own, so pixels written or read
// across tiles whose tables differ must keep their colours (not their indices) while the colours
// fit one table: a lossless write reads back in the colours written, beside the old colours of
// the tiles it touches, and a read across tiles of different tables shows each tile's colours.
#include "container_fixture.h"
#include "tile_codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr std::uint16_t kTile = 64;
constexpr std::uint32_t kColors = 60;

KLDExtHeader IndexedHeader(std::uint32_t width, std::uint32_t height) {
    KLDExtHeader header = MakeHeader(width, height, kTile, kTile);
    header.mode = ModeIndexed;
    return header;
}

// An indexed map over `rect` whose table holds `kColors` colours of its own (`blue` sets them
// apart from other maps') in entries 0 … kColors − 1, all shown.
std::unique_ptr<CPixMap> IndexedPattern(const PixRect& rect, std::uint8_t blue) {
    auto map = CreatePixMap(rect, ModeIndexed);
    std::uint8_t* table = map->AllocColorTable();
    for (std::uint32_t i = 0; i < kColors; ++i) {
        table[4 * i] = blue;
        table[4 * i + 1] = static_cast<std::uint8_t>(2 * i);
        table[4 * i + 2] = static_cast<std::uint8_t>(i);
    }
    for (std::uint32_t y = 0; y < rect.Height(); ++y)
        for (std::uint32_t x = 0; x < rect.Width(); ++x)
            map->Row(y)[x] =
                static_cast<std::uint8_t>(((rect.left + x) * 7 + (rect.top + y) * 3) % kColors);
    return map;
}

// Writes losslessly and draws the written colours into `expected`, an RGB map of the image.
void Write(CKLDExt& container, const CPixMap& map, CPixMap& expected) {
    container.WriteRegion(map, 0, 0, 2, KLD::KindPng);
    InRgb(map)->CopyRect(map.Rect(), expected, map.Rect());
}

void ExpectColors(CKLDExt& container, const CPixMap& expected, const PixRect& rect) {
    auto crop = CreatePixMap(rect, ModeRGB);
    expected.CopyRect(rect, *crop, rect);
    EXPECT_TRUE(Same(*InRgb(*ReadRect(container, rect)), *crop))
        << rect.left << "," << rect.top << "-" << rect.right << "," << rect.bottom;
}

TEST(IndexedRegion, ColorsOfEveryTableSurviveWritesAndReadsAcrossTiles) {
    const KLDExtHeader header = IndexedHeader(192, 64);
    MemoryContainer open(CreatedBytes(header, 48, 16));
    CKLDExt& container = open.container;
    const PixRect whole{0, 0, 192, 64};
    auto expected = CreatePixMap(whole, ModeRGB);
    // Three tiles sharing one table, then a patch of another table over less than half of the
    // two tiles it touches, where the pixel maps' copy rule would match its colours to the
    // nearest of the tiles' table.
    Write(container, *IndexedPattern(whole, 10), *expected);
    Write(container, *IndexedPattern({40, 10, 90, 40}, 20), *expected);
    ExpectColors(container, *expected, whole);
    // The last tile gets a table of its own; reads across it and its neighbour, and a patch
    // touching both, keep all the colours.
    Write(container, *IndexedPattern({128, 0, 192, 64}, 30), *expected);
    ExpectColors(container, *expected, {100, 0, 160, 64});
    Write(container, *IndexedPattern({110, 20, 150, 40}, 40), *expected);
    ExpectColors(container, *expected, whole);

    CKLDExt reopened;
    Bytes bytes = open.Contents();
    ASSERT_TRUE(OpenBytes(reopened, bytes));
    ExpectColors(reopened, *expected, whole);
}

// A patch colour may land on an entry that the pixels it replaces used with another colour; the
// tile's indices then stay the same, but its pixels changed and it must be coded again.
TEST(IndexedRegion, ATileWhoseEntryTookANewColourIsRecodedThoughItsIndicesStay) {
    MemoryContainer open(CreatedBytes(IndexedHeader(128, 64), 32, 16));
    const PixRect tile{0, 0, kTile, kTile};
    auto old = CreatePixMap(tile, ModeIndexed);
    std::uint8_t* table = old->AllocColorTable();
    std::memcpy(table + 4, "\x10\x20\x30", 3);
    std::memcpy(table + 8, "\x40\x50\x60", 3);
    for (std::uint32_t y = 0; y < kTile; ++y)
        for (std::uint32_t x = 0; x < kTile; ++x)
            old->Row(y)[x] = x < kTile / 2 ? 1 : 2;
    auto expected = CreatePixMap(tile, ModeRGB);
    Write(open.container, *old, *expected);

    const PixRect left{0, 0, kTile / 2, kTile};
    auto patch = CreatePixMap(left, ModeIndexed);
    std::memcpy(patch->AllocColorTable() + 4, "\x70\x80\x90", 3);
    for (std::uint32_t y = 0; y < kTile; ++y)
        std::memset(patch->Row(y), 1, kTile / 2);
    Write(open.container, *patch, *expected);
    ExpectColors(open.container, *expected, tile);
    MemoryContainer reopened(open.Contents());
    ExpectColors(reopened.container, *expected, tile);
}

} // namespace
