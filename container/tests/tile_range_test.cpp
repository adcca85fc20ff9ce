// Proves that a tile range selects exactly the tiles a rectangle touches (clamped to the image,
// with the wide last column and tall last row), and none for empty or outside rectangles.
#include "tile_range.h"

#include "container_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RangeCase {
    PixRect rect;
    PixRect cells;   // first column, first row, end column, end row
    PixRect covered; // pixels
};

// 1000 × 700 in 300 × 200 tiles: columns 0–299, 300–599, 600–999; rows 0–199, 200–399, 400–699.
TEST(TileRange, SelectsTheTouchedTiles) {
    const KLDExtHeader header = MakeHeader(1000, 700, 300, 200);
    const CRowWiseOrdering ordering(3, 3);
    const std::vector<RangeCase> cases{
        {{0, 0, 1000, 700}, {0, 0, 3, 3}, {0, 0, 1000, 700}},
        {{0, 0, 300, 200}, {0, 0, 1, 1}, {0, 0, 300, 200}}, // ends on a boundary
        {{0, 0, 301, 201}, {0, 0, 2, 2}, {0, 0, 600, 400}},
        {{299, 199, 300, 200}, {0, 0, 1, 1}, {0, 0, 300, 200}},
        {{950, 650, 1000, 700}, {2, 2, 3, 3}, {600, 400, 1000, 700}}, // remainder strip
        {{650, 0, 5000, 9000}, {2, 0, 3, 3}, {600, 0, 1000, 700}},    // clamped
        {{310, 210, 320, 220}, {1, 1, 2, 2}, {300, 200, 600, 400}},
    };
    for (const RangeCase& c : cases) {
        CTileRange range(header, ordering, c.rect);
        EXPECT_EQ(range.Cells(), c.cells) << c.rect.left << "," << c.rect.top;
        EXPECT_EQ(range.Covered(), c.covered) << c.rect.left << "," << c.rect.top;
        EXPECT_EQ(range.Count(), c.cells.Width() * c.cells.Height());
    }
    // Empty, inverted and outside rectangles have no tiles.
    for (const PixRect& rect :
         std::vector<PixRect>{{0, 0, 0, 0},
                              {10, 10, 10, 50},
                              {50, 50, 10, 60},
                              {1000, 0, 1200, 100},
                              {0, 700, 10, 900},
                              {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}}) {
        CTileRange range(header, ordering, rect);
        EXPECT_EQ(range.Count(), 0u);
        EXPECT_EQ(range.First(), kNoTile);
        EXPECT_EQ(range.Next(), kNoTile);
    }
}

} // namespace
