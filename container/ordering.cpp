#include "ordering.h"

#include "qvt_error.h"

#include <algorithm>
#include <array>
#include <bit>

namespace {

struct Quadrant {
    std::uint8_t dx;
    std::uint8_t dy;
    std::uint8_t nextOrientation;
};

// Visiting order of the four quadrants of a square for each orientation of the curve: the
// quadrant's offset in units of its side and the orientation the curve takes inside it.
constexpr std::array<std::array<Quadrant, 4>, 4> kQuadrants{{
    {{{0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {0, 1, 3}}},
    {{{0, 0, 0}, {0, 1, 1}, {1, 1, 1}, {1, 0, 2}}},
    {{{1, 1, 3}, {0, 1, 2}, {0, 0, 2}, {1, 0, 1}}},
    {{{1, 1, 2}, {1, 0, 3}, {0, 0, 3}, {0, 1, 0}}},
}};

} // namespace

void CheckTileGrid(std::uint32_t columns, std::uint32_t rows) {
    if (columns == 0 || rows == 0) ThrowCodecError(ErrorWrongFormat);
    if (std::uint64_t{columns} * rows > kNoTile) ThrowCodecError(ErrorWrongFormat);
}

CRowWiseOrdering::CRowWiseOrdering(std::uint32_t columns, std::uint32_t rows) : m_columns(columns) {
    CheckTileGrid(columns, rows);
}

void CRowWiseOrdering::IndexToXY(std::uint32_t index, std::uint32_t& x, std::uint32_t& y) const {
    x = index % m_columns;
    y = index / m_columns;
}

void CRowWiseOrdering::XYToIndex(std::uint32_t x, std::uint32_t y, std::uint32_t& index) const {
    index = y * m_columns + x;
}

CHilbertOrdering::CHilbertOrdering(std::uint32_t columns, std::uint32_t rows)
    : m_columns(columns), m_rows(rows) {
    CheckTileGrid(columns, rows);
    const std::uint32_t longer = std::max(columns, rows);
    m_level = static_cast<std::uint32_t>(std::bit_width(longer)) - 1;
    m_startOrientation = columns >= rows ? 0 : 1;
}

std::uint64_t CHilbertOrdering::CellsInSquare(std::uint64_t x, std::uint64_t y,
                                              std::uint64_t side) const {
    if (x >= m_columns || y >= m_rows) return 0;
    return (std::min<std::uint64_t>(x + side, m_columns) - x) *
           (std::min<std::uint64_t>(y + side, m_rows) - y);
}

// Descends from the whole square to a single cell, passing over quadrants whose grid cells
// all come before the wanted number.
void CHilbertOrdering::IndexToXY(std::uint32_t index, std::uint32_t& x, std::uint32_t& y) const {
    std::uint64_t remaining = index;
    std::uint64_t left = 0;
    std::uint64_t top = 0;
    std::uint8_t orientation = m_startOrientation;
    for (std::uint32_t d = m_level + 1; d-- > 0;) {
        const std::uint64_t side = std::uint64_t{1} << d;
        for (const Quadrant& quadrant : kQuadrants[orientation]) {
            const std::uint64_t qx = left + quadrant.dx * side;
            const std::uint64_t qy = top + quadrant.dy * side;
            const std::uint64_t cells = CellsInSquare(qx, qy, side);
            if (remaining < cells) {
                left = qx;
                top = qy;
                orientation = quadrant.nextOrientation;
                break;
            }
            remaining -= cells;
        }
    }
    x = static_cast<std::uint32_t>(left);
    y = static_cast<std::uint32_t>(top);
}

// Counts the grid cells of every quadrant the curve visits before the one holding (x, y).
void CHilbertOrdering::XYToIndex(std::uint32_t x, std::uint32_t y, std::uint32_t& index) const {
    std::uint64_t before = 0;
    std::uint64_t left = 0;
    std::uint64_t top = 0;
    std::uint8_t orientation = m_startOrientation;
    for (std::uint32_t d = m_level + 1; d-- > 0;) {
        const std::uint64_t side = std::uint64_t{1} << d;
        for (const Quadrant& quadrant : kQuadrants[orientation]) {
            const std::uint64_t qx = left + quadrant.dx * side;
            const std::uint64_t qy = top + quadrant.dy * side;
            if (x >= qx && x < qx + side && y >= qy && y < qy + side) {
                left = qx;
                top = qy;
                orientation = quadrant.nextOrientation;
                break;
            }
            before += CellsInSquare(qx, qy, side);
        }
    }
    index = static_cast<std::uint32_t>(before);
}

std::unique_ptr<COrdering> CreateOrdering(std::uint8_t kind, std::uint32_t columns,
                                          std::uint32_t rows) {
    switch (kind) {
    case 0:
        return std::make_unique<CRowWiseOrdering>(columns, rows);
    case 1:
        return std::make_unique<CHilbertOrdering>(columns, rows);
    default:
        ThrowCodecError(ErrorWrongFormat);
    }
}
