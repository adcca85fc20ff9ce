#include "tile_range.h"

#include <algorithm>

CTileRange::CTileRange(const KLDExtHeader& header, const COrdering& ordering, const PixRect& rect)
    : m_ordering(ordering) {
    const TileGrid grid(header);
    const std::uint32_t right = std::min(rect.right, header.width);
    const std::uint32_t bottom = std::min(rect.bottom, header.height);
    // Without this the end cell (right − 1) would wrap for an empty rectangle.
    if (right <= rect.left || bottom <= rect.top || grid.TileCount() == 0) return;

    m_firstColumn = std::min(rect.left / header.tileWidth, grid.columns - 1);
    m_firstRow = std::min(rect.top / header.tileHeight, grid.rows - 1);
    m_endColumn = std::min((right - 1) / header.tileWidth + 1, grid.columns);
    m_endRow = std::min((bottom - 1) / header.tileHeight + 1, grid.rows);
    m_count = (m_endColumn - m_firstColumn) * (m_endRow - m_firstRow);

    const PixRect first = TileCellRect(header, m_firstColumn, m_firstRow);
    const PixRect last = TileCellRect(header, m_endColumn - 1, m_endRow - 1);
    m_covered = {first.left, first.top, last.right, last.bottom};
    m_row = m_endRow; // Next before First finds nothing
}

std::uint32_t CTileRange::Current() const {
    std::uint32_t index = 0;
    m_ordering.XYToIndex(m_column, m_row, index);
    return index;
}

std::uint32_t CTileRange::First() {
    if (m_count == 0) return kNoTile;
    m_column = m_firstColumn;
    m_row = m_firstRow;
    return Current();
}

std::uint32_t CTileRange::Next() {
    if (m_count == 0 || m_row >= m_endRow) return kNoTile;
    if (++m_column == m_endColumn) {
        m_column = m_firstColumn;
        ++m_row;
    }
    return m_row < m_endRow ? Current() : kNoTile;
}
