// Region reads and writes through a container in memory: what is written reads back (the region
// equals the crop of the whole), tiles never written read as background, a read gives the same
// pixels from the caches, from kept decoders and from the file, writes place their records in
// free space from the start of the tile data, a container that is not open refuses them, and
// reduced reads place every tile on its cell of the reduced grid.
#include "container_fixture.h"
#include "qvt_tile_codec.h"
#include "tile_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <omp.h>
#include <optional>

namespace {

constexpr std::uint32_t kWidth = 300;
constexpr std::uint32_t kHeight = 200;
constexpr std::uint16_t kTile = 64;
const PixRect kWhole{0, 0, kWidth, kHeight};

Bytes NewContainerBytes() {
    return CreatedBytes(MakeHeader(kWidth, kHeight, kTile, kTile), 60, 40);
}

// Stretching down rounds some rows of even a uniform map up by one.
bool Near(const std::uint8_t* pixel, const std::uint8_t* color) {
    return std::equal(pixel, pixel + 3, color, [](int a, int b) { return a >= b && a - b <= 1; });
}

std::unique_ptr<CPixMap> Background(const PixRect& rect) {
    const std::array<std::uint8_t, 3> background =
        MakeHeader(kWidth, kHeight, kTile, kTile).background;
    return CreatePixMap(rect, ModeRGB, background.data(), 3);
}

std::unique_ptr<CPixMap> Crop(const CPixMap& map, const PixRect& rect) {
    auto crop = CreatePixMap(rect, map.GetMode());
    map.CopyRect(rect, *crop, rect);
    return crop;
}

TEST(RegionOps, LosslessWritesReadBackAsTheCropOfTheWhole) {
    MemoryContainer open(NewContainerBytes());
    CKLDExt& container = open.container;
    const auto whole = Background(kWhole);
    for (const PixRect rect : {PixRect{10, 20, 150, 90}, PixRect{100, 60, 300, 200},
                               PixRect{0, 0, 64, 64}, PixRect{250, 5, 260, 190}}) {
        const auto patch = Pattern(rect, static_cast<int>(rect.left));
        container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng);
        patch->CopyRect(rect, *whole, rect);
    }
    // The tile at column 0, row 2 was never touched: it stays out of the index.
    EXPECT_EQ(container.Index().Count(), 11u);
    for (const PixRect rect :
         {kWhole, PixRect{3, 7, 290, 130}, PixRect{0, 128, 64, 200}, PixRect{299, 199, 300, 200}})
        EXPECT_TRUE(Same(*ReadRect(container, rect), *Crop(*whole, rect)))
            << rect.left << "," << rect.top;
    // The file as written opens by itself and holds the same pixels.
    CKLDExt reopened;
    Bytes bytes = open.Contents();
    ASSERT_TRUE(OpenBytes(reopened, bytes));
    EXPECT_TRUE(Same(*ReadRect(reopened, kWhole), *whole));
}

// Tiles are coded in parallel and placed in tile order: the file does not depend on the number
// of threads, whichever codec the automatic choice takes for each tile.
TEST(RegionOps, WritesGiveTheSameFileOnAnyNumberOfThreads) {
    std::optional<Bytes> first;
    for (const int threads : {1, 3}) {
        omp_set_num_threads(threads);
        MemoryContainer open(NewContainerBytes());
        open.container.WriteRegion(*Pattern(PixRect{5, 3, 290, 190}, 7), 255, 0, 2,
                                   KLD::KindAutomatic);
        open.container.WriteRegion(*Background(PixRect{0, 0, 140, 70}), 255, 0, 2,
                                   KLD::KindWavelet);
        if (!first)
            first = open.Contents();
        else
            EXPECT_TRUE(open.Contents() == *first);
    }
    omp_set_num_threads(omp_get_num_procs());
}

TEST(RegionOps, CoarseReadsOfIndexedTilesKeepTheirColours) {
    KLDExtHeader header = MakeHeader(kWidth, kHeight, kTile, kTile);
    header.mode = ModeIndexed;
    MemoryContainer open(CreatedBytes(header, 60, 40));
    const PixRect tile{0, 0, kTile, kTile};
    auto patch = CreatePixMap(tile, ModeIndexed);
    std::uint8_t* table = patch->AllocColorTable();
    table[5 * 4] = 9;
    table[5 * 4 + 1] = 8;
    table[5 * 4 + 2] = 7;
    for (std::uint32_t y = 0; y < kTile; ++y)
        std::fill_n(patch->Row(y), kTile, std::uint8_t{5});
    open.container.WriteRegion(*patch, 255, 3, 2, KLD::KindWavelet);
    for (const int level : {0, 1, 2}) {
        MemoryContainer reader(open.Contents(), 0);
        const auto read = ReadRect(reader.container, tile, level);
        ASSERT_NE(read->GetColorTable(), nullptr);
        const std::uint8_t* color = read->GetColorTable() + 4 * read->Row(kTile / 2)[kTile / 2];
        EXPECT_EQ(color[0], 9) << "level " << level;
        EXPECT_EQ(color[1], 8);
        EXPECT_EQ(color[2], 7);
        // Reduced reads draw the tiles' colours, in RGB.
        const auto reduced = reader.container.ReadRegionReduced(tile, level);
        ASSERT_EQ(reduced->GetMode(), ModeRGB);
        const std::uint8_t* pixel = reduced->Row(reduced->Height() / 2);
        const std::uint8_t tableColor[] = {9, 8, 7};
        EXPECT_TRUE(Near(pixel, tableColor)) << "level " << level;
    }
}

// A reduced read puts every stored tile, at its coarse level, exactly on its cell of the reduced
// grid (both edges rounded up, so cells meet without gap or overlap) and shows the background
// where no tile was written.
TEST(RegionOps, ReducedReadsPutEveryTileOnItsReducedCell) {
    // Tiles whose edges no power of two divides, so every level rounds them.
    constexpr std::uint32_t kTileWidth = 37, kTileHeight = 29;
    constexpr std::uint32_t kColumns = kWidth / kTileWidth, kRows = kHeight / kTileHeight;
    MemoryContainer open(
        CreatedBytes(MakeHeader(kWidth, kHeight, kTileWidth, kTileHeight), 60, 40));
    const auto edge = [](std::uint32_t cell, std::uint32_t cells, std::uint32_t tile,
                         std::uint32_t size) {
        return cell == cells ? size : cell * tile; // the last cell absorbs the remainder
    };
    const auto cellColor = [](std::uint32_t column, std::uint32_t row) {
        return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(30 * column + 20),
                                           static_cast<std::uint8_t>(40 * row + 5), 99};
    };
    const std::array<std::uint8_t, 3> background =
        MakeHeader(kWidth, kHeight, kTile, kTile).background;
    const auto written = [](std::uint32_t column, std::uint32_t row) {
        return (column + row) % 2 == 0;
    };
    for (std::uint32_t row = 0; row < kRows; ++row)
        for (std::uint32_t column = 0; column < kColumns; ++column) {
            if (!written(column, row)) continue;
            const PixRect cell{column * kTileWidth, row * kTileHeight,
                               edge(column + 1, kColumns, kTileWidth, kWidth),
                               edge(row + 1, kRows, kTileHeight, kHeight)};
            const auto color = cellColor(column, row);
            open.container.WriteRegion(*CreatePixMap(cell, ModeRGB, color.data(), 3), 0, 0, 2,
                                       KLD::KindWavelet);
        }
    const PixRect region{10, 20, 290, 190};
    for (const int level : {0, 1, 2, 3}) {
        const auto reduce = [level](std::uint32_t v) { return (v + (1u << level) - 1) >> level; };
        // The cell whose reduced span holds the reduced coordinate.
        const auto cellAt = [&](std::uint32_t at, std::uint32_t cells, std::uint32_t tile,
                                std::uint32_t size) {
            std::uint32_t cell = 0;
            while (cell + 1 < cells && reduce(edge(cell + 1, cells, tile, size)) <= at)
                ++cell;
            return cell;
        };
        const auto map = open.container.ReadRegionReduced(region, level);
        ASSERT_EQ(map->Rect(), (PixRect{reduce(10), reduce(20), reduce(290), reduce(190)}));
        for (std::uint32_t y = map->Rect().top; y < map->Rect().bottom; ++y)
            for (std::uint32_t x = map->Rect().left; x < map->Rect().right; ++x) {
                const std::uint32_t column = cellAt(x, kColumns, kTileWidth, kWidth);
                const std::uint32_t row = cellAt(y, kRows, kTileHeight, kHeight);
                const auto expected = written(column, row) ? cellColor(column, row) : background;
                const std::uint8_t* pixel =
                    map->Row(y - map->Rect().top) + 3 * (x - map->Rect().left);
                ASSERT_TRUE(Near(pixel, expected.data()))
                    << "level " << level << " at " << x << "," << y;
            }
    }
}

// How tile 0 is coded after a patch over part of it, written with quality 8 and 3 levels over
// a tile coded with quality 3 and 1 level, by each merge rule.
TileCoding CodingAfterPartialWrite(int rule) {
    MemoryContainer open(NewContainerBytes());
    open.container.WriteRegion(*Pattern({0, 0, 64, 64}, 1), 3, 1, 2, KLD::KindWavelet);
    open.container.WriteRegion(*Pattern({10, 10, 30, 30}, 2), 8, 3, rule, KLD::KindWavelet);
    MemoryContainer reader(open.Contents(), 0);
    CIndex list(std::vector<IndexEntry>{*reader.container.Index().FindEntry(0)});
    auto map = CreatePixMap({0, 0, 64, 64}, ModeRGB);
    TileCodings codings;
    reader.container.ReadTiles(list, *map, 0, false, &codings);
    return codings.at(0);
}

TEST(RegionOps, PartlyOverwrittenTilesMergeTheirCodingByRule) {
    const struct {
        int rule;
        std::uint8_t levels;
        std::uint8_t quality;
    } cases[] = {{0, 3, 3}, {1, 1, 8}, {2, 3, 8}, {7, 1, 3}};
    for (const auto& expected : cases) {
        const TileCoding coding = CodingAfterPartialWrite(expected.rule);
        EXPECT_EQ(coding.levels, expected.levels) << "rule " << expected.rule;
        EXPECT_EQ(coding.quality, expected.quality) << "rule " << expected.rule;
    }
}

TEST(RegionOps, WritesThatChangeNothingRecodeNothing) {
    MemoryContainer open(NewContainerBytes());
    const auto patch = Pattern({30, 30, 200, 150}, 2);
    open.container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng);
    const Bytes before = open.Contents();
    open.container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng);
    open.container.WriteRegion(*Background({0, 0, 20, 20}), 255, 0, 2, KLD::KindPng);
    // Outside the image, or empty: nothing to write.
    open.container.WriteRegion(*Pattern({310, 0, 320, 10}, 1), 255, 0, 2, KLD::KindPng);
    open.container.WriteRegion(*Pattern({0, 250, 10, 260}, 1), 255, 0, 2, KLD::KindPng);
    open.container.WriteRegion(*Pattern({5, 5, 5, 9}, 1), 255, 0, 2, KLD::KindPng);
    EXPECT_EQ(open.Contents(), before);
}

TEST(RegionOps, BackgroundWritesDropCoveredTilesAndRecodePartlyCoveredOnes) {
    MemoryContainer open(NewContainerBytes());
    CKLDExt& container = open.container;
    container.WriteRegion(*Pattern(kWhole, 3), 255, 0, 2, KLD::KindPng);
    const std::uint32_t stored = container.Index().Count();
    EXPECT_EQ(stored, container.TileColumns() * container.TileRows());
    // Covers tile (0, 0) wholly and tile (1, 0) in part.
    container.WriteRegion(*Background({0, 0, 100, 64}), 255, 0, 2, KLD::KindPng);
    EXPECT_EQ(container.Index().Count(), stored - 1);
    EXPECT_EQ(container.Index().FindEntry(0), nullptr);
    const auto expected = Pattern(kWhole, 3);
    Background({0, 0, 100, 64})->CopyRect({0, 0, 100, 64}, *expected, {0, 0, 100, 64});
    EXPECT_TRUE(Same(*ReadRect(container, kWhole), *expected));
}

TEST(RegionOps, CachedAndKeptDecodersGiveTheFreshPixelsAtEveryCapacity) {
    MemoryContainer writer(NewContainerBytes());
    writer.container.WriteRegion(*Pattern(kWhole, 4), 4, 4, 2, KLD::KindWavelet);
    const Bytes bytes = writer.Contents();
    MemoryContainer fresh(bytes, 0);
    ASSERT_EQ(fresh.container.DecodedCacheCapacity(), 0u);
    const PixRect rect{20, 10, 250, 170};
    const auto fine = ReadRect(fresh.container, rect, 0);
    const auto coarse = ReadRect(fresh.container, rect, 2);
    EXPECT_FALSE(Same(*fine, *coarse));
    // The writer holds no pixels of its own for lossy tiles: it reads what the file holds.
    EXPECT_TRUE(Same(*ReadRect(writer.container, rect), *fine));
    const std::uint64_t oneDecoder = KLD::CQVT::KeptDecoderBytes(kTile, kTile, 3);
    for (const std::uint64_t cacheBytes : {std::uint64_t{kTile} * kTile, std::uint64_t{0x500000}}) {
        MemoryContainer cached(bytes, cacheBytes, -1, cacheBytes > 4096 ? cacheBytes : oneDecoder);
        EXPECT_TRUE(Same(*ReadRect(cached.container, rect, 2), *coarse));
        EXPECT_EQ(cached.container.Caches()->decoders.Count(), 1u * (cacheBytes > 4096 ? 12 : 1));
        EXPECT_TRUE(Same(*ReadRect(cached.container, rect, 0), *fine));
        EXPECT_EQ(cached.container.Caches()->decoders.Count(), 0u);
        // Tiles cached at full detail serve a coarser read; room for one is gone by the time
        // the read, in file order, reaches the tile it holds.
        EXPECT_TRUE(
            Same(*ReadRect(cached.container, rect, 2), cacheBytes > 4096 ? *fine : *coarse));
    }
    // Lossless tiles are kept as written.
    writer.container.WriteRegion(*Pattern(kWhole, 5), 0, 0, 2, KLD::KindWavelet);
    EXPECT_EQ(writer.container.Caches()->decoded.Count(), 12u);
}

TEST(RegionOps, ScaledReadsEndAtTheAskedSize) {
    MemoryContainer open(NewContainerBytes());
    open.container.WriteRegion(*Pattern(kWhole, 5), 255, 0, 2, KLD::KindPng);
    for (const auto& [w, h] : {std::pair{1u, 1u}, std::pair{37u, 20u}, std::pair{600u, 10u}}) {
        std::unique_ptr<CPixMap> map = CreatePixMap(kWhole, ModeRGB);
        open.container.ReadRegionScaled(map, w, h);
        EXPECT_EQ(map->Width(), w);
        EXPECT_EQ(map->Height(), h);
    }
    std::unique_ptr<CPixMap> empty = CreatePixMap({5, 5, 5, 9}, ModeRGB);
    ASSERT_TRUE(empty);
    open.container.ReadRegionScaled(empty, 10, 10);
    EXPECT_EQ(empty->Width(), 0u);
}

// Created and not reopened, failed to open, or closed: writes, and reads where there is nothing
// to read from, are refused instead of quietly skipped.
TEST(RegionOps, AContainerThatIsNotOpenRefusesReadsAndWrites) {
    const auto patch = Pattern({0, 0, 10, 10}, 1);
    const auto writeError = [&](CKLDExt& container) {
        return ErrorOf([&] { container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng); });
    };
    const auto readError = [](CKLDExt& container) {
        return ErrorOf([&] { ReadRect(container, {0, 0, 10, 10}); });
    };
    CKLDExt created;
    created.Create(std::make_unique<CQVTMemoryStream>(64), MakeHeader(kWidth, kHeight, 64, 64), 60,
                   40, {});
    EXPECT_EQ(writeError(created), ErrorWrongFormat);
    EXPECT_EQ(readError(created), ErrorWrongFormat);

    Bytes badMagic = NewContainerBytes();
    badMagic[0] = 'X';
    Bytes cutPreview = NewContainerBytes(); // fails last, with everything else built
    cutPreview.pop_back();
    for (Bytes* bytes : {&badMagic, &cutPreview}) {
        CKLDExt failed;
        EXPECT_THROW(OpenBytes(failed, *bytes), IOException);
        EXPECT_EQ(writeError(failed), ErrorWrongFormat);
    }

    MemoryContainer open(NewContainerBytes());
    const KLDExtLayout layout = open.container.Layout();
    open.container.Close();
    EXPECT_EQ(writeError(open.container), ErrorWrongFormat);
    EXPECT_EQ(readError(open.container), ErrorWrongFormat);
    // Closing keeps what describes the file.
    EXPECT_EQ(open.container.Layout(), layout);
    EXPECT_EQ(open.container.Width(), kWidth);
    EXPECT_EQ(open.container.TileColumns(), 4u);
}

TEST(RegionOps, RepeatedWritesReuseFreedSpace) {
    MemoryContainer open(NewContainerBytes());
    CKLDExt& container = open.container;
    container.WriteRegion(*Pattern(kWhole, 8), 255, 0, 2, KLD::KindPng);
    const PixRect rect{0, 0, 120, 120};
    container.WriteRegion(*Pattern(rect, 9), 255, 0, 2, KLD::KindPng);
    std::uint64_t recordBytes = 0;
    for (const std::uint32_t tile : {0u, 1u, 4u, 5u})
        recordBytes += container.Index().FindEntry(tile)->length;
    const std::uint64_t sizeBefore = open.memory.DataSize();
    constexpr int kRounds = 6;
    for (int round = 0; round < kRounds; ++round)
        container.WriteRegion(*Pattern(rect, 10 + round % 2), 255, 0, 2, KLD::KindPng);
    // Appending every write's records, index and preview would grow the file by more than
    // kRounds x recordBytes.
    EXPECT_LT(open.memory.DataSize() - sizeBefore, 2 * recordBytes);
}

// A write too small to show in the preview still commits one, last in the file; space freed
// before the first tile (the fresh file's preview) is reused from the first 4-aligned offset
// on, never in the padding before it.
TEST(RegionOps, SmallWritesKeepThePreviewLastAndRecordsFromTheAlignedStart) {
    KLDExtHeader header = MakeHeader(64, 64, 16, 16);
    header.ordering = OrderingHilbert;
    MemoryContainer open(CreatedBytes(header, 16, 16));
    const PixRect pixel{49, 49, 50, 50}; // an empty rectangle of the preview
    open.container.WriteRegion(*Pattern({0, 0, 16, 16}, 1), 255, 0, 2, KLD::KindPng);
    open.container.WriteRegion(*Pattern(pixel, 2), 255, 0, 2, KLD::KindPng);
    const auto lowest = std::min_element(
        open.container.Index().Entries().begin(), open.container.Index().Entries().end(),
        [](const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; });
    EXPECT_EQ(lowest->offset, 56u);
    Bytes bytes = open.Contents();
    CKLDExt reopened;
    ASSERT_TRUE(OpenBytes(reopened, bytes));
    EXPECT_TRUE(Same(*ReadRect(reopened, pixel), *Pattern(pixel, 2)));
    EXPECT_EQ(reopened.CommittedEnd(), bytes.size());
}

} // namespace
