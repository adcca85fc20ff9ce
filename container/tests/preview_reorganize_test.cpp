// Rebuilding the preview and compacting the file: the preview follows the stored pixels and the
// index keeps its tile order; a compacted copy holds the tiles in tile order without gaps, reads
// back exactly as the original, which stays untouched also when the copy is cancelled, and is
// flushed when complete.
#include "container_fixture.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr std::uint32_t kWidth = 260;
constexpr std::uint32_t kHeight = 190;
const PixRect kWhole{0, 0, kWidth, kHeight};

Bytes NewContainerBytes() { return CreatedBytes(MakeHeader(kWidth, kHeight, 50, 40), 52, 38); }

std::unique_ptr<CPixMap> Filled(const PixRect& rect, std::uint8_t blue, std::uint8_t green,
                                std::uint8_t red) {
    const std::uint8_t color[3] = {blue, green, red};
    return CreatePixMap(rect, ModeRGB, color, 3);
}

// Resampling may round a uniform colour by one step.
void ExpectNearColor(const CPixMap& map, const std::array<int, 3>& color) {
    int worst = 0;
    for (std::uint32_t y = 0; y < map.Height(); ++y)
        for (std::uint32_t x = 0; x < 3 * map.Width(); ++x)
            worst = std::max(worst, std::abs(map.Row(y)[x] - color[x % 3]));
    EXPECT_LE(worst, 1);
}

void WriteFragmented(CKLDExt& container) {
    auto whole = CreatePixMap(kWhole, ModeRGB);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < 3 * kWidth; ++x)
            whole->Row(y)[x] = static_cast<std::uint8_t>(x * 3 + y * y / 7);
    container.WriteRegion(*whole, 255, 0, 2, KLD::KindPng);
    container.WriteRegion(*Filled({20, 20, 140, 100}, 1, 2, 3), 255, 0, 2, KLD::KindPng);
    container.WriteRegion(*Filled({0, 0, 100, 80}, 0x10, 0x20, 0x30), 255, 0, 2, KLD::KindPng);
}

TEST(BuildPreview, FollowsTheStoredPixelsAndKeepsTheIndexInTileOrder) {
    MemoryContainer open(NewContainerBytes());
    CKLDExt& container = open.container;
    container.WriteRegion(*Filled(kWhole, 200, 100, 50), 255, 0, 2, KLD::KindPng);
    // Preview cells of ⌈50 × 52 ÷ 260⌉ = 10 by ⌈40 × 38 ÷ 190⌉ = 8, the last ones wider.
    container.BuildPreview();
    ASSERT_NE(container.Preview(), nullptr);
    EXPECT_EQ(container.Preview()->Width(), 10u * 4 + (260 % 50 + 50) * 10 / 50);
    EXPECT_EQ(container.Preview()->Height(), 8u * 3 + (190 % 40 + 40) * 8 / 40);
    ExpectNearColor(*container.Preview(), {200, 100, 50});
    EXPECT_EQ(container.Index().Order(), IndexOrder::ByTile);
    for (std::uint32_t tile = 0; tile < container.TileColumns() * container.TileRows(); ++tile)
        EXPECT_NE(container.Index().FindEntry(tile), nullptr) << tile;

    Bytes bytes = open.Contents();
    CKLDExt reopened;
    ASSERT_TRUE(OpenBytes(reopened, bytes));
    EXPECT_EQ(reopened.Preview()->Width(), container.Preview()->Width());
    ExpectNearColor(*reopened.Preview(), {200, 100, 50});
}

TEST(Reorganize, CopiesTilesInOrderWithoutGapsAndReadsBackTheSame) {
    MemoryContainer open(NewContainerBytes());
    CKLDExt& container = open.container;
    WriteFragmented(container);
    const Bytes source = open.Contents();
    const KLDExtLayout layout = container.Layout();
    CQVTMemoryStream cancelled(1024);
    const ProgressCallback cancel = [](double fraction, bool, void*) { return fraction > 0.5; };
    EXPECT_EQ(ErrorOf([&] { container.Reorganize(cancelled, cancel, nullptr); }), ErrorUserBreak);
    CQVTMemoryStream memory(1024);
    CFailingStream target(memory, -1);
    std::vector<double> fractions;
    const ProgressCallback record = [](double fraction, bool, void* data) {
        static_cast<std::vector<double>*>(data)->push_back(fraction);
        return false;
    };
    container.Reorganize(target, record, &fractions);
    EXPECT_EQ(open.Contents(), source);
    EXPECT_EQ(container.Layout(), layout);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    ASSERT_FALSE(fractions.empty());
    EXPECT_LE(fractions.back(), 1.0);
    // Complete on disk before it can take the source's place.
    EXPECT_TRUE(target.log.ends_with('F')) << target.log;

    Bytes copy = StreamBytes(memory);
    EXPECT_LT(copy.size(), source.size());
    CKLDExt compact;
    ASSERT_TRUE(OpenBytes(compact, copy));
    std::uint64_t expectedOffset = TileDataStart(kKLDHeaderSize, 0);
    for (const IndexEntry& entry : compact.Index().Entries()) {
        EXPECT_EQ(entry.offset, expectedOffset) << entry.tile;
        expectedOffset += entry.length;
    }
    EXPECT_EQ(compact.Layout().indexOffset, expectedOffset);
    EXPECT_EQ(compact.Index().Count(), container.Index().Count());
    EXPECT_TRUE(Same(*ReadRect(compact, kWhole), *ReadRect(container, kWhole)));
}

} // namespace
