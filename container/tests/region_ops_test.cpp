// Region reads and writes through a container in memory: what is written reads back (the region
// equals the crop of the whole), tiles never written read as background, cached and kept decoders
// give the same pixels as a fresh read, and a write that fails or is cancelled at any point
// leaves a container that opens with every tile either old or new.
#include "container_fixture.h"
#include "failing_stream.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_codec.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr std::uint32_t kWidth = 300;
constexpr std::uint32_t kHeight = 200;
constexpr std::uint16_t kTile = 64;
const PixRect kWhole{0, 0, kWidth, kHeight};

Bytes NewContainerBytes() {
    auto owned = std::make_unique<CQVTMemoryStream>(1024);
    CQVTMemoryStream* stream = owned.get();
    CKLDExt container;
    container.Create(std::move(owned), MakeHeader(kWidth, kHeight, kTile, kTile), 60, 40, {});
    return StreamBytes(*stream);
}

std::unique_ptr<CQVTMemoryStream> StreamHolding(const Bytes& bytes) {
    auto stream = std::make_unique<CQVTMemoryStream>(bytes.size() + 1);
    WriteBytes(*stream, bytes.data(), bytes.size());
    return stream;
}

// A container open on a growable copy of `bytes`, whose stream the test can still read.
struct OpenContainer {
    explicit OpenContainer(const Bytes& bytes, std::uint64_t cacheBytes = 0x500000) {
        auto owned = StreamHolding(bytes);
        stream = owned.get();
        container.Open(std::move(owned), cacheBytes, cacheBytes);
    }
    Bytes Contents() const { return StreamBytes(*stream); }

    CQVTMemoryStream* stream;
    CKLDExt container;
};

std::unique_ptr<CPixMap> Pattern(const PixRect& rect, int seed) {
    auto map = CreatePixMap(rect, ModeRGB);
    for (std::uint32_t y = 0; y < rect.Height(); ++y)
        for (std::uint32_t x = 0; x < 3 * rect.Width(); ++x)
            map->Row(y)[x] = static_cast<std::uint8_t>((x * 7 + (y + rect.top) * 13 + seed) ^
                                                       (x / 5 + rect.left));
    return map;
}

std::unique_ptr<CPixMap> Background(const PixRect& rect) {
    const std::array<std::uint8_t, 3> background =
        MakeHeader(kWidth, kHeight, kTile, kTile).background;
    return CreatePixMap(rect, ModeRGB, background.data(), 3);
}

std::unique_ptr<CPixMap> Read(CKLDExt& container, const PixRect& rect, int level = 0) {
    auto map = CreatePixMap(rect, ModeRGB);
    container.ReadRegion(*map, level);
    return map;
}

bool Same(const CPixMap& a, const CPixMap& b) { return a.EqualRect(a.Rect(), b, b.Rect()); }

TEST(RegionOps, LosslessWritesReadBackAsTheCropOfTheWhole) {
    OpenContainer open(NewContainerBytes());
    CKLDExt& container = open.container;
    const auto whole = Background(kWhole);
    for (const PixRect rect : {PixRect{10, 20, 150, 90}, PixRect{100, 60, 300, 200},
                               PixRect{0, 0, 64, 64}, PixRect{250, 5, 260, 190}}) {
        const auto patch = Pattern(rect, static_cast<int>(rect.left));
        container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng);
        patch->CopyRect(rect, *whole, rect);
    }
    for (const PixRect rect : {kWhole, PixRect{3, 7, 290, 130}, PixRect{64, 64, 128, 128},
                               PixRect{299, 199, 300, 200}}) {
        const auto expected = CreatePixMap(rect, ModeRGB);
        whole->CopyRect(rect, *expected, rect);
        EXPECT_TRUE(Same(*Read(container, rect), *expected)) << rect.left << "," << rect.top;
    }
    // The file as written opens by itself and holds the same pixels.
    CKLDExt reopened;
    Bytes bytes = open.Contents();
    ASSERT_TRUE(OpenBytes(reopened, bytes));
    EXPECT_TRUE(Same(*Read(reopened, kWhole), *whole));
}

TEST(RegionOps, TilesNeverWrittenReadAsBackground) {
    OpenContainer open(NewContainerBytes());
    const auto patch = Pattern({0, 0, 64, 64}, 1);
    open.container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng);
    EXPECT_EQ(open.container.Index().Count(), 1u);
    const PixRect empty{64, 0, 300, 200};
    EXPECT_TRUE(Same(*Read(open.container, empty), *Background(empty)));
}

TEST(RegionOps, ASmallWriteKeepsThePreviewWhereTheHeaderSaysAndLast) {
    OpenContainer open(NewContainerBytes());
    // One pixel maps to an empty rectangle of the 60 x 40 preview.
    open.container.WriteRegion(*Pattern({101, 101, 102, 102}, 3), 255, 0, 2, KLD::KindPng);
    Bytes bytes = open.Contents();
    CKLDExt reopened;
    ASSERT_TRUE(OpenBytes(reopened, bytes));
    EXPECT_TRUE(Same(*Read(reopened, {101, 101, 102, 102}), *Pattern({101, 101, 102, 102}, 3)));
    // Nothing follows the preview: rewriting it where it is gives the same file.
    CQVTMemoryStream copy(bytes.size());
    WriteBytes(copy, bytes.data(), bytes.size());
    reopened.WritePreview(copy, reopened.Layout().previewOffset);
    EXPECT_EQ(copy.GetPos(), bytes.size());
}

TEST(RegionOps, CoarseReadsOfIndexedTilesKeepTheirColours) {
    KLDExtHeader header = MakeHeader(kWidth, kHeight, kTile, kTile);
    header.mode = ModeIndexed;
    auto owned = std::make_unique<CQVTMemoryStream>(1024);
    CQVTMemoryStream* created = owned.get();
    CKLDExt maker;
    maker.Create(std::move(owned), header, 60, 40, {});
    OpenContainer open(StreamBytes(*created));
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
        OpenContainer reader(open.Contents(), 0);
        auto read = CreatePixMap(tile, ModeIndexed);
        reader.container.ReadRegion(*read, level);
        ASSERT_NE(read->GetColorTable(), nullptr);
        const std::uint8_t* color = read->GetColorTable() + 4 * read->Row(kTile / 2)[kTile / 2];
        EXPECT_EQ(color[0], 9) << "level " << level;
        EXPECT_EQ(color[1], 8);
        EXPECT_EQ(color[2], 7);
    }
}

// How tile 0 is coded after a patch over part of it, written with quality 8 and 3 levels over
// a tile coded with quality 3 and 1 level, by each merge rule.
TileCoding CodingAfterPartialWrite(int rule) {
    OpenContainer open(NewContainerBytes());
    open.container.WriteRegion(*Pattern({0, 0, 64, 64}, 1), 3, 1, 2, KLD::KindWavelet);
    open.container.WriteRegion(*Pattern({10, 10, 30, 30}, 2), 8, 3, rule, KLD::KindWavelet);
    OpenContainer reader(open.Contents(), 0);
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
    OpenContainer open(NewContainerBytes());
    const auto patch = Pattern({30, 30, 200, 150}, 2);
    open.container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng);
    const Bytes before = open.Contents();
    open.container.WriteRegion(*patch, 255, 0, 2, KLD::KindPng);
    open.container.WriteRegion(*Background({0, 0, 20, 20}), 255, 0, 2, KLD::KindPng);
    EXPECT_EQ(open.Contents(), before);
}

TEST(RegionOps, BackgroundWritesDropCoveredTilesAndRecodePartlyCoveredOnes) {
    OpenContainer open(NewContainerBytes());
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
    EXPECT_TRUE(Same(*Read(container, kWhole), *expected));
}

TEST(RegionOps, CachedAndKeptDecodersGiveTheFreshPixelsAtEveryCapacity) {
    OpenContainer writer(NewContainerBytes());
    writer.container.WriteRegion(*Pattern(kWhole, 4), 4, 4, 2, KLD::KindWavelet);
    const Bytes bytes = writer.Contents();
    OpenContainer fresh(bytes, 0);
    ASSERT_EQ(fresh.container.DecodedCacheCapacity(), 0u);
    const PixRect rect{20, 10, 250, 170};
    const auto fine = Read(fresh.container, rect, 0);
    const auto coarse = Read(fresh.container, rect, 2);
    EXPECT_FALSE(Same(*fine, *coarse));
    for (const std::uint64_t cacheBytes : {std::uint64_t{kTile} * kTile, std::uint64_t{0x500000}}) {
        OpenContainer cached(bytes, cacheBytes);
        EXPECT_TRUE(Same(*Read(cached.container, rect, 2), *coarse));
        EXPECT_EQ(cached.container.Caches()->decoders.Count(), 1u * (cacheBytes > 4096 ? 12 : 1));
        EXPECT_TRUE(Same(*Read(cached.container, rect, 0), *fine));
        EXPECT_EQ(cached.container.Caches()->decoders.Count(), 0u);
        // Tiles cached at full detail serve a coarser read; room for one is gone by the time
        // the read, in file order, reaches the tile it holds.
        EXPECT_TRUE(Same(*Read(cached.container, rect, 2), cacheBytes > 4096 ? *fine : *coarse));
    }
}

TEST(RegionOps, ScaledReadsEndAndDegenerateRectanglesDoNothing) {
    OpenContainer open(NewContainerBytes());
    open.container.WriteRegion(*Pattern(kWhole, 5), 255, 0, 2, KLD::KindPng);
    for (const auto& [w, h] : {std::pair{1u, 1u}, std::pair{37u, 20u}, std::pair{600u, 10u}}) {
        std::unique_ptr<CPixMap> map = CreatePixMap(kWhole, ModeRGB);
        open.container.ReadRegionScaled(map, w, h);
        EXPECT_EQ(map->Width(), w);
        EXPECT_EQ(map->Height(), h);
    }
    const Bytes before = open.Contents();
    std::unique_ptr<CPixMap> empty = CreatePixMap({5, 5, 5, 9}, ModeRGB);
    ASSERT_TRUE(empty);
    open.container.ReadRegionScaled(empty, 10, 10);
    EXPECT_EQ(empty->Width(), 0u);
    // Outside the image: nothing is written.
    open.container.WriteRegion(*Pattern({310, 0, 320, 10}, 1), 255, 0, 2, KLD::KindPng);
    open.container.WriteRegion(*Pattern({0, 250, 10, 260}, 1), 255, 0, 2, KLD::KindPng);
    EXPECT_EQ(open.Contents(), before);
}

// Every tile of `container` holds its pixels from `first` or from `second`.
void ExpectEachTileOneOf(CKLDExt& container, const CPixMap& first, const CPixMap& second) {
    const auto read = Read(container, kWhole);
    for (std::uint32_t tile = 0; tile < container.TileColumns() * container.TileRows(); ++tile) {
        const PixRect rect = container.GetTileRect(tile);
        EXPECT_TRUE(read->EqualRect(rect, first, rect) || read->EqualRect(rect, second, rect))
            << "tile " << tile;
    }
}

struct Versions {
    Bytes bytes;
    std::unique_ptr<CPixMap> old;
    std::unique_ptr<CPixMap> updated;
    std::unique_ptr<CPixMap> patch;
};

Versions TwoVersions() {
    OpenContainer open(NewContainerBytes());
    Versions versions;
    versions.old = Pattern(kWhole, 6);
    open.container.WriteRegion(*versions.old, 255, 0, 2, KLD::KindPng);
    versions.bytes = open.Contents();
    const PixRect rect{40, 30, 280, 180};
    versions.patch = Pattern(rect, 7);
    versions.updated = Pattern(kWhole, 6);
    versions.patch->CopyRect(rect, *versions.updated, rect);
    return versions;
}

TEST(RegionOps, AWriteFailingAtAnyWriteLeavesOldOrNewTiles) {
    const Versions versions = TwoVersions();
    bool completed = false;
    for (int k = 0; !completed; ++k) {
        CQVTMemoryStream inner(versions.bytes.size() + 1);
        WriteBytes(inner, versions.bytes.data(), versions.bytes.size());
        CKLDExt container;
        container.Open(std::make_unique<CFailingStream>(inner, k), 0, 0);
        try {
            container.WriteRegion(*versions.patch, 255, 0, 2, KLD::KindPng);
            completed = true;
        } catch (const IOException&) {
        }
        Bytes after = StreamBytes(inner);
        CKLDExt reopened;
        ASSERT_TRUE(OpenBytes(reopened, after)) << "failure at write " << k;
        ExpectEachTileOneOf(reopened, *versions.old, *versions.updated);
        if (completed) {
            EXPECT_TRUE(Same(*Read(reopened, kWhole), *versions.updated));
        }
        ASSERT_LT(k, 1000);
    }
}

TEST(RegionOps, ACancelledWriteLeavesOldOrNewTiles) {
    const Versions versions = TwoVersions();
    struct Stop {
        int calls;
    };
    for (int stopAt = 0; stopAt < 12; ++stopAt) {
        OpenContainer open(versions.bytes);
        Stop stop{stopAt};
        const ProgressCallback cancel = [](double, bool, void* data) {
            return static_cast<Stop*>(data)->calls-- == 0;
        };
        try {
            open.container.WriteRegion(*versions.patch, 255, 0, 2, KLD::KindPng, cancel, &stop);
            ADD_FAILURE() << "not cancelled at " << stopAt;
        } catch (const IOException& error) {
            EXPECT_EQ(error.error, ErrorUserBreak);
        }
        ExpectEachTileOneOf(open.container, *versions.old, *versions.updated);
        Bytes after = open.Contents();
        CKLDExt reopened;
        ASSERT_TRUE(OpenBytes(reopened, after));
        ExpectEachTileOneOf(reopened, *versions.old, *versions.updated);
        // The container stays usable: the write can be done again.
        open.container.WriteRegion(*versions.patch, 255, 0, 2, KLD::KindPng);
        EXPECT_TRUE(Same(*Read(open.container, kWhole), *versions.updated));
    }
}

TEST(RegionOps, RepeatedWritesReuseFreedSpace) {
    OpenContainer open(NewContainerBytes());
    CKLDExt& container = open.container;
    container.WriteRegion(*Pattern(kWhole, 8), 255, 0, 2, KLD::KindPng);
    const PixRect rect{0, 0, 120, 120};
    container.WriteRegion(*Pattern(rect, 9), 255, 0, 2, KLD::KindPng);
    std::uint64_t recordBytes = 0;
    for (const std::uint32_t tile : {0u, 1u, 4u, 5u})
        recordBytes += container.Index().FindEntry(tile)->length;
    const std::uint64_t sizeBefore = open.stream->DataSize();
    constexpr int kRounds = 6;
    for (int round = 0; round < kRounds; ++round)
        container.WriteRegion(*Pattern(rect, 10 + round % 2), 255, 0, 2, KLD::KindPng);
    // Appending every write's records, index and preview would grow the file by more than
    // kRounds x recordBytes.
    EXPECT_LT(open.stream->DataSize() - sizeBefore, 2 * recordBytes);
}

} // namespace
