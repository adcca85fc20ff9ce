// Tile orderings: the mapping between a tile's column and row and the tile number that the
// tile index stores. Both mappings are part of the file format.
#pragma once

#include <cstdint>
#include <memory>

// The value a tile number never takes; iterators return it after the last tile.
inline constexpr std::uint32_t kNoTile = 0xFFFFFFFF;

class COrdering {
public:
    virtual ~COrdering() = default;
    // Callers pass only tile numbers below columns × rows and cells inside the grid.
    virtual void IndexToXY(std::uint32_t index, std::uint32_t& x, std::uint32_t& y) const = 0;
    virtual void XYToIndex(std::uint32_t x, std::uint32_t y, std::uint32_t& index) const = 0;
};

// Refuses grids without cells and grids whose tile numbers would not fit below kNoTile
// (ErrorWrongFormat); every ordering constructor checks its grid this way.
void CheckTileGrid(std::uint32_t columns, std::uint32_t rows);

// Tiles numbered row by row from the top left.
class CRowWiseOrdering final : public COrdering {
public:
    CRowWiseOrdering(std::uint32_t columns, std::uint32_t rows);
    void IndexToXY(std::uint32_t index, std::uint32_t& x, std::uint32_t& y) const override;
    void XYToIndex(std::uint32_t x, std::uint32_t y, std::uint32_t& index) const override;

private:
    std::uint32_t m_columns;
};

// Tiles numbered along a Hilbert curve over the smallest square of side 2^(n+1), n = floor(log2
// max(columns, rows)), that the grid fits in; curve positions outside the grid are skipped, so
// the numbers run 0 … columns × rows − 1 without gaps.
//
// The skipped positions are counted per quadrant (the grid cells inside a quadrant are a
// rectangle intersection), so both directions cost O(n) and need no memory in proportion to
// the curve, which for a grid of one column and many rows would be far larger than the grid.
class CHilbertOrdering final : public COrdering {
public:
    CHilbertOrdering(std::uint32_t columns, std::uint32_t rows);
    void IndexToXY(std::uint32_t index, std::uint32_t& x, std::uint32_t& y) const override;
    void XYToIndex(std::uint32_t x, std::uint32_t y, std::uint32_t& index) const override;

    std::uint32_t Level() const { return m_level; }
    std::uint8_t StartOrientation() const { return m_startOrientation; }

private:
    // Grid cells inside the square of side `side` whose top-left corner is (x, y).
    std::uint64_t CellsInSquare(std::uint64_t x, std::uint64_t y, std::uint64_t side) const;

    std::uint32_t m_columns;
    std::uint32_t m_rows;
    std::uint32_t m_level;
    std::uint8_t m_startOrientation;
};

// The ordering that header byte 19 names: 0 row-wise, 1 Hilbert; other values ErrorWrongFormat.
std::unique_ptr<COrdering> CreateOrdering(std::uint8_t kind, std::uint32_t columns,
                                          std::uint32_t rows);
