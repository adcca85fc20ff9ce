// Whole strips of 8 rows of a band window moved between the band and a batch of code blocks by
// several threads: in 8 × 8 order a strip's values are neighbours in the block stream, so every
// strip knows where its values lie without walking the strips before it.
#pragma once

#include "band_order.h"
#include "code_bits.h"

#include <algorithm>
#include <cstdint>

// Calls square(index, block, offset) and piece(index, block, offset, count) for the samples of
// `strips` strips of 8 rows of a width-wide window (first sample index startPos, row pitch
// `pitch`), on `threads` threads. Values count from the batch's value `firstValue`, in blocks of
// kBlockValues: a whole 8 × 8 square from window index `index` on (rows `pitch` apart) is values
// offset … offset + 63 of block `block` of the batch when those lie in one block; every other
// run of `count` samples from `index` on is values offset … offset + count - 1 of block `block`.
template <typename Square, typename Piece>
void ForEachStripPieceInParallel(std::uint32_t width, std::uint32_t strips, std::uint64_t startPos,
                                 std::uint64_t pitch, std::uint64_t firstValue, int threads,
                                 const Square& square, const Piece& piece) {
    const std::uint64_t stripValues = std::uint64_t{width} * 8;
#pragma omp parallel for schedule(static) num_threads(threads)
    for (std::int64_t s = 0; s < std::int64_t{strips}; ++s) {
        std::uint64_t at = firstValue + static_cast<std::uint64_t>(s) * stripValues;
        const auto span = [&](std::uint64_t index, std::uint32_t count) {
            while (count > 0) {
                const auto offset = static_cast<std::uint32_t>(at % kBlockValues);
                const std::uint32_t take = std::min(count, kBlockValues - offset);
                piece(index, static_cast<std::size_t>(at / kBlockValues), offset, take);
                index += take;
                at += take;
                count -= take;
            }
        };
        ForEachPieceIn8x8Order(
            width, 8, startPos + static_cast<std::uint64_t>(s) * 8 * pitch, pitch,
            [&](std::uint64_t index) {
                const auto offset = static_cast<std::uint32_t>(at % kBlockValues);
                if (offset + 64 > kBlockValues) return false;
                square(index, static_cast<std::size_t>(at / kBlockValues), offset);
                at += 64;
                return true;
            },
            span);
    }
}

// Moves a width × height window (first sample index startPos, row pitch `pitch`) in 8 × 8
// order. With `parallel`, runs of whole strips of 8 rows that room() values can take (two or
// more, and at least a block's worth) go through strips(count, start) on all threads; every
// other strip, and the rows below the last whole strip, through spans(height, start) one span
// at a time. `start` is the sample index where the piece begins.
template <typename Room, typename Strips, typename Spans>
void MoveWindowByStrips(std::uint32_t width, std::uint32_t height, std::uint64_t startPos,
                        std::uint64_t pitch, bool parallel, const Room& room, const Strips& strips,
                        const Spans& spans) {
    const std::uint32_t fullRows = height / 8 * 8;
    const std::uint64_t stripValues = std::uint64_t{width} * 8;
    std::uint32_t moved = 0;
    // A window no sample wide has nothing to share out.
    while (parallel && width > 0 && moved < fullRows) {
        const auto count = static_cast<std::uint32_t>(
            std::min<std::uint64_t>((fullRows - moved) / 8, room() / stripValues));
        const std::uint64_t start = startPos + moved * pitch;
        if (count < 2 || count * stripValues < kBlockValues) {
            spans(8u, start);
            moved += 8;
        } else {
            strips(count, start);
            moved += count * 8;
        }
    }
    spans(height - moved, startPos + moved * pitch);
}
