// Proves the tile index's bookkeeping against a plain map of stored tiles: merges of random
// updates (additions, replacements, removals, misses), selection over tile ranges, both sort
// orders, lookups in either state and the cached largest record length.
#include "tile_index.h"

#include "container_fixture.h"
#include "qvt_error.h"
#include "tile_placement.h"
#include "tile_range.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

using Model = std::map<std::uint32_t, IndexEntry>;

CIndex FromModel(const Model& model) {
    std::vector<IndexEntry> entries;
    for (const auto& [tile, entry] : model)
        entries.push_back(entry);
    return CIndex(std::move(entries));
}

TEST(TileIndex, MergeFollowsAModelOfStoredTiles) {
    std::mt19937 random(7);
    Model model;
    CIndex index;
    std::uint64_t nextOffset = 64;
    for (int round = 0; round < 200; ++round) {
        // A list of distinct tiles, sorted, each to be written (offset) or dropped (offset 0).
        Model updates;
        const int size = static_cast<int>(random() % 8);
        for (int i = 0; i < size; ++i) {
            const std::uint32_t tile = random() % 40;
            const bool write = random() % 3 != 0;
            const std::uint32_t length = 4 + random() % 100;
            updates[tile] = {tile, write ? length : 0, write ? nextOffset : 0};
            nextOffset += length;
        }
        std::int64_t change = 0;
        for (const auto& [tile, update] : updates) {
            const bool stored = model.contains(tile);
            if (update.offset != 0) {
                change += stored ? 0 : 1;
                model[tile] = update;
            } else if (stored) {
                --change;
                model.erase(tile);
            }
        }
        index.MergeIndex(FromModel(updates), change);
        ASSERT_EQ(index.Entries(), FromModel(model).Entries()) << "round " << round;
        ASSERT_EQ(index.Order(), IndexOrder::ByTile);
    }
}

TEST(TileIndex, MergeWithAWrongChangeIsRefusedAndChangesNothing) {
    CIndex index(std::vector<IndexEntry>{{1, 10, 100}, {3, 10, 200}});
    const CIndex before = index;
    const CIndex list(std::vector<IndexEntry>{{2, 8, 300}});
    EXPECT_THROW(index.MergeIndex(list, 0), IOException);
    EXPECT_EQ(index.Entries(), before.Entries());
    const CIndex twice(std::vector<IndexEntry>{{2, 8, 300}, {2, 9, 400}});
    EXPECT_THROW(index.MergeIndex(twice, 2), IOException);
    EXPECT_EQ(index.Entries(), before.Entries());
    index.MergeIndex(list, 1);
    EXPECT_EQ(index.Count(), 3u);
}

// A range visits its cells row by row with the ordering's numbers; the selection copies the
// stored entries among them and zeros the rest, sorted by tile.
TEST(TileIndex, SelectTilesCopiesStoredEntriesAndZerosTheRest) {
    const KLDExtHeader header = MakeHeader(1000, 1000, 250, 250);
    const CHilbertOrdering ordering(4, 4);
    CTileRange range(header, ordering, {260, 10, 760, 510}); // cells (1..3, 0..2)
    std::vector<std::uint32_t> visited;
    for (std::uint32_t tile = range.First(); tile != kNoTile; tile = range.Next())
        visited.push_back(tile);
    EXPECT_EQ(visited, (std::vector<std::uint32_t>{1, 14, 15, 2, 13, 12, 7, 8, 11}));
    EXPECT_EQ(range.First(), 1u); // First restarts
    CIndex index(std::vector<IndexEntry>{{14, 30, 500}, {2, 10, 100}, {9, 20, 300}});
    const CIndex list = index.SelectTiles(range);
    const std::vector<IndexEntry> expected{{1, 0, 0},  {2, 10, 100},  {7, 0, 0},
                                           {8, 0, 0},  {11, 0, 0},    {12, 0, 0},
                                           {13, 0, 0}, {14, 30, 500}, {15, 0, 0}};
    EXPECT_EQ(list.Entries(), expected);
    EXPECT_EQ(list.Order(), IndexOrder::ByTile);
}

TEST(TileIndex, LookupsFindTilesWhateverTheCurrentOrder) {
    CIndex index(std::vector<IndexEntry>{{5, 10, 300}, {1, 20, 200}, {9, 30, 100}});
    EXPECT_EQ(index.Order(), IndexOrder::Unsorted);
    index.SortByOffset();
    EXPECT_EQ(index.Entry(0)->tile, 9u);
    EXPECT_EQ(index.Entry(2)->tile, 5u);
    EXPECT_EQ(index.Entry(3), nullptr);
    ASSERT_NE(index.FindEntry(5), nullptr);
    EXPECT_EQ(index.FindEntry(5)->offset, 300u);
    EXPECT_EQ(index.Order(), IndexOrder::ByTile);
    EXPECT_EQ(index.FindEntry(4), nullptr);
    EXPECT_EQ(index.FindEntry(10), nullptr);
    EXPECT_EQ(CIndex().Order(), IndexOrder::ByTile);
}

TEST(TileIndex, MaxEntryLengthFollowsChanges) {
    CIndex index(std::vector<IndexEntry>{{1, 20, 200}, {2, 50, 300}});
    EXPECT_EQ(index.MaxEntryLength(), 50u);
    index.Entry(0)->length = 70;
    EXPECT_EQ(index.MaxEntryLength(), 70u);
    index.MergeIndex(CIndex(std::vector<IndexEntry>{{1, 0, 0}}), -1);
    EXPECT_EQ(index.MaxEntryLength(), 50u);
}

TEST(TileIndex, RecordsAreLittleEndianSixteenBytes) {
    const CIndex index(std::vector<IndexEntry>{{0x01020304, 0x0A0B0C0D, 0x1122334455667788}});
    const Bytes expected{0x04, 0x03, 0x02, 0x01, 0x0D, 0x0C, 0x0B, 0x0A,
                         0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(index.StoreEntries(), expected);
    EXPECT_EQ(CIndex::LoadEntries(expected.data(), 16, IndexOrder::ByTile).Entries(),
              index.Entries());
}

// Free space for new records: the gaps between committed records, from where the tile data
// start, in offset order, each used up to its last byte; then the end past the committed file.
TEST(TilePlacement, FillsGapsInOffsetOrderThenAppends) {
    // Records at 60–70 and 90–100; the index at 130; the committed file ends at 400.
    const CIndex index(std::vector<IndexEntry>{{4, 10, 90}, {1, 10, 60}});
    CTilePlacement placement(index, 56, 130, 400);
    EXPECT_EQ(placement.Place(4), 56u);
    EXPECT_EQ(placement.Place(31), 400u); // larger than any gap
    EXPECT_EQ(placement.Place(20), 70u);
    EXPECT_EQ(placement.Place(30), 100u);
    EXPECT_EQ(placement.Place(1), 431u);
    EXPECT_EQ(placement.End(), 432u);
}

} // namespace
