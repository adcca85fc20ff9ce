// The bands of a level placed from blocks read ahead whole. The level's values are cut, at
// strips of 8 rows, into one stretch per thread of about equal work, and each thread places its
// stretch through a reader of its own: the threads meet once per level. Decoded in batches, they
// met at every batch of blocks and left the placing and the reading to one of them.
#pragma once

#include "stored_blocks.h"

#include <cstdint>
#include <memory>
#include <vector>

// A band's values in the stream and where they go.
struct StoredBand {
    std::uint64_t first = 0; // its first value, counted as CStoredBlocks counts them
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t* samples = nullptr;
    std::uint64_t pitch = 0;
    int shift = 0;
};

// The work of decoding values: their count, and their code bytes weighed as the time a byte
// takes to decode against the time a value takes to rebuild and write.
std::uint64_t DecodeCost(const CStoredBlocks& blocks, std::uint64_t first, std::uint64_t count);

// Where each of `parts` stretches of pieces begins, so that they share the work about equally.
// `before` holds, for every piece, the work of the pieces before it, and the total last.
std::vector<std::size_t> SplitByWork(const std::vector<std::uint64_t>& before, std::size_t parts);

// Places every value of `bands`, which follow one another in the stream, on as many threads as
// there are readers (readers of the same blocks). Throws the error of the first block in the
// stream that fails.
void PlaceStoredBands(const std::vector<StoredBand>& bands,
                      const std::vector<std::unique_ptr<CStoredBlocks>>& readers);
