// The tiles that cover a rectangle of the image, visited row by row.
#pragma once

#include "kld_header.h"
#include "ordering.h"
#include "pix_rect.h"

#include <cstdint>

class CTileRange {
public:
    // The rectangle is clamped to the image; an empty or inverted one (after clamping) gives a
    // range without tiles.
    CTileRange(const KLDExtHeader& header, const COrdering& ordering, const PixRect& rect);

    // The first tile's number, or kNoTile for an empty range.
    std::uint32_t First();
    // The next tile's number, or kNoTile after the last.
    std::uint32_t Next();

    std::uint32_t Count() const { return m_count; }
    // The pixels of all covered tiles; the last column and row reach the image's edges.
    const PixRect& Covered() const { return m_covered; }
    // The covered tile cells, end column and row exclusive.
    PixRect Cells() const { return {m_firstColumn, m_firstRow, m_endColumn, m_endRow}; }

private:
    std::uint32_t Current() const;

    const COrdering& m_ordering;
    PixRect m_covered;
    std::uint32_t m_firstColumn = 0;
    std::uint32_t m_firstRow = 0;
    std::uint32_t m_endColumn = 0;
    std::uint32_t m_endRow = 0;
    std::uint32_t m_count = 0;
    std::uint32_t m_column = 0;
    std::uint32_t m_row = 0;
};
