// The order in which band samples enter and leave the block stream. Both walks hand out row
// spans (first sample index, count) so the coder can move several samples per call.
#pragma once

#include "qvt_memory.h"

#include <cstdint>

// True when a width × height window at sample index startPos with row pitch `pitch` lies inside
// a buffer of bufferSize samples.
inline bool WindowFits(std::uint64_t bufferSize, std::uint32_t width, std::uint32_t height,
                       std::uint64_t startPos, std::uint64_t pitch) {
    if (width == 0 || height == 0) return true;
    const auto rowsBefore = CheckedMul(height - 1, pitch);
    return width <= pitch && rowsBefore && startPos <= bufferSize &&
           *rowsBefore <= bufferSize - startPos && width <= bufferSize - startPos - *rowsBefore;
}

// Samples of a width × height window with row pitch `pitch`, starting at sample index
// `startPos`: 8 × 8 blocks row by row, each block row followed by its leftover columns, then the
// leftover rows block by block, then the leftover corner; inside each piece row by row. Every
// whole 8 × 8 block goes first to visitSquare(index of its first sample), which moves its 64
// samples, rows `pitch` apart, and returns true, or returns false to have them visited like the
// other pieces: visit(index, count) a row at a time.
template <typename VisitSquare, typename VisitSpan>
void ForEachPieceIn8x8Order(std::uint32_t width, std::uint32_t height, std::uint64_t startPos,
                            std::uint64_t pitch, VisitSquare&& visitSquare, VisitSpan&& visit) {
    const std::uint32_t fullColumns = width / 8 * 8;
    const std::uint32_t fullRows = height / 8 * 8;
    const auto piece = [&](std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) {
        if (w == 0) return;
        for (std::uint32_t row = y; row < y + h; ++row)
            visit(startPos + row * pitch + x, w);
    };
    for (std::uint32_t y = 0; y < fullRows; y += 8) {
        for (std::uint32_t x = 0; x < fullColumns; x += 8)
            if (!visitSquare(startPos + y * pitch + x)) piece(x, y, 8, 8);
        piece(fullColumns, y, width - fullColumns, 8);
    }
    for (std::uint32_t x = 0; x < fullColumns; x += 8)
        piece(x, fullRows, 8, height - fullRows);
    piece(fullColumns, fullRows, width - fullColumns, height - fullRows);
}

// The same walk in row spans only.
template <typename VisitSpan>
void ForEachSpanIn8x8Order(std::uint32_t width, std::uint32_t height, std::uint64_t startPos,
                           std::uint64_t pitch, VisitSpan&& visit) {
    ForEachPieceIn8x8Order(
        width, height, startPos, pitch, [](std::uint64_t) { return false; }, visit);
}

// The interleaved order of old files, which coded the HL band (wH × hH) and the LH band
// (wL × hL) of a level together, each buffer with its own width as pitch. visitPair(hl, lh)
// takes an HL sample and the LH sample at the same row and column; visitLH and visitHL take the
// samples that have no partner (the extra LH column of odd widths, the extra HL row of odd
// heights).
template <typename VisitPair, typename VisitLH, typename VisitHL>
void ForEachInterleavedPair(std::uint32_t wH, std::uint32_t hH, std::uint32_t wL, std::uint32_t hL,
                            VisitPair&& visitPair, VisitLH&& visitLH, VisitHL&& visitHL) {
    const std::uint32_t fullColumns = wH / 4 * 4;
    const std::uint32_t fullRows = hL / 4 * 4;
    const auto pairs = [&](std::uint32_t y, std::uint32_t x, std::uint32_t count) {
        for (std::uint32_t i = x; i < x + count; ++i)
            visitPair(std::uint64_t{y} * wH + i, std::uint64_t{y} * wL + i);
    };
    const auto rowEnd = [&](std::uint32_t y) {
        pairs(y, fullColumns, wH - fullColumns);
        if (wL > wH) visitLH(std::uint64_t{y} * wL + wH);
    };
    const auto rowGroup = [&](std::uint32_t y, std::uint32_t rows) {
        for (std::uint32_t x = 0; x < fullColumns; x += 4)
            for (std::uint32_t row = y; row < y + rows; ++row)
                pairs(row, x, 4);
        for (std::uint32_t row = y; row < y + rows; ++row)
            rowEnd(row);
    };
    for (std::uint32_t y = 0; y < fullRows; y += 4)
        rowGroup(y, 4);
    rowGroup(fullRows, hL - fullRows);
    if (hH > hL)
        for (std::uint32_t x = 0; x < wH; ++x)
            visitHL(std::uint64_t{hH - 1} * wH + x);
}
