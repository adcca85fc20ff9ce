#include "stored_bands.h"

#include "code_bits.h"
#include "parallel_guard.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kStripRows = 8;

struct Strip {
    const StoredBand* band;
    std::uint32_t row;
    std::uint32_t rows;
};

} // namespace

std::uint64_t DecodeCost(const CStoredBlocks& blocks, std::uint64_t first, std::uint64_t count) {
    constexpr std::uint64_t kCodeByteWeight = 4;
    return count + kCodeByteWeight * blocks.CodeBytes(first, count);
}

std::vector<std::size_t> SplitByWork(const std::vector<std::uint64_t>& before, std::size_t parts) {
    std::vector<std::size_t> starts{0};
    for (std::size_t part = 1; part < parts; ++part)
        starts.push_back(static_cast<std::size_t>(
            std::lower_bound(before.begin(), before.end(), before.back() / parts * part) -
            before.begin()));
    return starts;
}

void PlaceStoredBands(const std::vector<StoredBand>& bands,
                      const std::vector<std::unique_ptr<CStoredBlocks>>& readers) {
    const auto place = [](CStoredBlocks& reader, const StoredBand& band, std::uint32_t row,
                          std::uint32_t rows) {
        reader.Place(0, band.first + std::uint64_t{band.width} * row, band.width, rows,
                     band.samples + band.pitch * row, band.pitch, band.shift);
    };
    // Each thread takes a few blocks at least: the blocks where two stretches meet are decoded
    // by both.
    std::uint64_t values = 0;
    for (const StoredBand& band : bands)
        values += std::uint64_t{band.width} * band.height;
    const auto threads = static_cast<int>(
        std::clamp<std::uint64_t>(values / (std::uint64_t{4} * kBlockValues), 1, readers.size()));
    if (threads == 1) {
        for (const StoredBand& band : bands)
            place(*readers.front(), band, 0, band.height);
        return;
    }
    std::vector<Strip> strips;
    std::vector<std::uint64_t> before{0}; // the work of the strips before each
    for (const StoredBand& band : bands)
        for (std::uint32_t row = 0; row < band.height; row += kStripRows) {
            const std::uint32_t rows = std::min(kStripRows, band.height - row);
            strips.push_back({&band, row, rows});
            before.push_back(before.back() +
                             DecodeCost(*readers.front(),
                                        band.first + std::uint64_t{band.width} * row,
                                        std::uint64_t{band.width} * rows));
        }
    std::vector<std::size_t> starts = SplitByWork(before, static_cast<std::size_t>(threads));
    starts.push_back(strips.size());
    FirstFailure failure;
#pragma omp parallel for schedule(static, 1) num_threads(threads)
    for (int t = 0; t < threads; ++t) {
        const auto stretch = static_cast<std::size_t>(t);
        try {
            for (std::size_t s = starts[stretch]; s < starts[stretch + 1]; ++s)
                place(*readers[stretch], *strips[s].band, strips[s].row, strips[s].rows);
        } catch (...) {
            failure.Keep(t, std::current_exception());
        }
    }
    failure.Rethrow();
}
