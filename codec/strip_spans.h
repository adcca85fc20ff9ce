// Whole strips of 8 rows of a band window moved between the band and a batch of code blocks by
// several threads: in 8 × 8 order a strip's values are neighbours in the block stream, so every
// strip knows where its values lie without walking the strips before it.
#pragma once

#include "band_order.h"
#include "code_bits.h"

#include <algorithm>
#include <cstdint>

// Calls piece(index, block, offset, count) for the samples of `strips` strips of 8 rows of a
// width-wide window (first sample index startPos, row pitch `pitch`), on `threads` threads: the
// `count` samples from window index `index` on are values offset … offset + count - 1 of block
// `block` of the batch, counting from the batch's value `firstValue`, blocks of kBlockValues.
template <typename Piece>
void ForEachStripPieceInParallel(std::uint32_t width, std::uint32_t strips, std::uint64_t startPos,
                                 std::uint64_t pitch, std::uint64_t firstValue, int threads,
                                 const Piece& piece) {
    const std::uint64_t stripValues = std::uint64_t{width} * 8;
#pragma omp parallel for schedule(static) num_threads(threads)
    for (std::int64_t s = 0; s < std::int64_t{strips}; ++s) {
        std::uint64_t at = firstValue + static_cast<std::uint64_t>(s) * stripValues;
        ForEachSpanIn8x8Order(
            width, 8, startPos + static_cast<std::uint64_t>(s) * 8 * pitch, pitch,
            [&](std::uint64_t index, std::uint32_t count) {
                while (count > 0) {
                    const auto offset = static_cast<std::uint32_t>(at % kBlockValues);
                    const std::uint32_t take = std::min(count, kBlockValues - offset);
                    piece(index, static_cast<std::size_t>(at / kBlockValues), offset, take);
                    index += take;
                    at += take;
                    count -= take;
                }
            });
    }
}
