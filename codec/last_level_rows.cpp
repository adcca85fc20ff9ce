#include "last_level_rows.h"

#include "export_area.h"
#include "lifting.h"
#include "parallel_guard.h"
#include "pixel_export.h"
#include "qvt_error.h"
#include "stored_bands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Band rows rebuilt at a time: a multiple of 8, so that every strip starts a strip of the 8 × 8
// order. The rows of 16 take a few hundred kilobytes for a 2000-pixel-wide image, which the
// processor's caches keep between the steps.
constexpr std::uint32_t kStripRows = 16;
// The window holds the rows a strip rebuilds and the few the steps still work on before it.
constexpr std::size_t kWindowRows = 2 * kStripRows + 8;
// Runs of rows start on a strip of the 8 × 8 order, 8 band rows.
constexpr std::uint32_t kRunStep = 8;
// Where each detail band's rows go in the rows of the level, in split form (lows, then highs):
// HL to the highs of even rows, LH to the lows and HH to the highs of odd rows.
constexpr std::array<std::size_t, 3> kBandRowOffset{0, 1, 1};
constexpr std::array<bool, 3> kBandInHighs{true, false, true};

SampleBuffer Samples(std::uint64_t count) {
    SampleBuffer buffer = TryAllocateSamples(count);
    if (!buffer) ThrowCodecError(ErrorOutOfMemory);
    return buffer;
}

// HL, LH and HH; the LL band has the rows of HL and the columns of LH.
std::array<std::uint32_t, 3> BandWidths(std::uint32_t width) {
    return {width / 2, static_cast<std::uint32_t>(LowCount(width)), width / 2};
}
std::array<std::uint32_t, 3> BandHeights(std::uint32_t height) {
    return {(height + 1) / 2, height / 2, height / 2};
}

} // namespace

std::vector<std::uint64_t> CLastLevelRows::BandStarts(std::uint32_t width, std::uint32_t height,
                                                      int channels, std::uint64_t first) {
    const std::array<std::uint32_t, 3> widths = BandWidths(width);
    const std::array<std::uint32_t, 3> heights = BandHeights(height);
    std::vector<std::uint64_t> starts{first};
    for (int c = 0; c < channels; ++c)
        for (std::size_t b = 0; b < 3; ++b)
            starts.push_back(starts.back() + std::uint64_t{widths[b]} * heights[b]);
    return starts;
}

CLastLevelRows::CLastLevelRows(const ChannelImage& lowPlanes, const std::array<int, 3>& shifts,
                               std::unique_ptr<CStoredBlocks> blocks, std::uint64_t first)
    : m_image(lowPlanes), m_shifts(shifts), m_bandWidths(BandWidths(lowPlanes.width)),
      m_bandHeights(BandHeights(lowPlanes.height)) {
    const std::vector<std::uint64_t> starts =
        BandStarts(m_image.width, m_image.height, m_image.channels, first);
    for (int c = 0; c < m_image.channels; ++c) {
        std::array<std::uint64_t, 3>& bandStarts = m_bandStarts.emplace_back();
        for (std::size_t b = 0; b < 3; ++b)
            bandStarts[b] = starts[3 * static_cast<std::size_t>(c) + b];
    }
    m_runs.push_back(MakeRun(0, m_image.height, std::move(blocks)));
}

std::unique_ptr<CLastLevelRows::Run>
CLastLevelRows::MakeRun(std::uint32_t first, std::uint32_t end,
                        std::unique_ptr<CStoredBlocks> blocks) {
    auto run = std::make_unique<Run>();
    run->first = first;
    run->end = end;
    run->blocks = std::move(blocks);
    run->bandRowsPlaced = first / 2;
    run->windowFirst = first;
    run->stepped = first;
    run->nextRow = first;
    return run;
}

// A run's memory is taken on the thread that decodes it, when it starts: each thread maps its
// own pages.
void CLastLevelRows::PrepareRun(Run& run) {
    const std::uint32_t width = m_image.width;
    const std::uint32_t height = m_image.height;
    if (!run.blocks) run.blocks = m_runs.front()->blocks->Share();
    run.stripScratch = Samples(std::uint64_t{8} * LowCount(width));
    const bool lift = height >= 5;
    run.channels.resize(static_cast<std::size_t>(m_image.channels));
    for (int c = 0; c < m_image.channels; ++c) {
        Channel& channel = run.channels[static_cast<std::size_t>(c)];
        channel.window = Samples(std::uint64_t{kWindowRows} * width);
        channel.rowScratch = Samples(width);
        const auto at = [this, &run, &channel](std::size_t row) {
            return WindowRow(run, channel, row);
        };
        // A pair's odd row lies in the window as placed, so pairs merge as single rows do.
        const auto merge = [this, &run, c](std::size_t row) { MergeRow(run, c, row); };
        channel.steps = std::make_unique<RowSteps>(
            at, height, lift, width, merge, merge,
            [at, &channel, width](std::size_t row) {
                InverseRowStep(at(row), width, channel.rowScratch.get());
            },
            run.first, run.end);
    }
}

std::vector<std::uint32_t> CLastLevelRows::SplitIntoRuns(int runs) {
    for (const auto& run : m_runs)
        if (!run->channels.empty()) ThrowCodecError(EINVAL);
    // Each run holds one strip of the 8 × 8 order at least.
    const std::uint32_t strips = m_image.height >= 5 ? m_bandHeights[0] / kRunStep : 0;
    const auto count = std::clamp<std::uint32_t>(static_cast<std::uint32_t>(std::max(runs, 1)), 1,
                                                 std::max(strips, 1u));
    std::unique_ptr<CStoredBlocks> blocks = std::move(m_runs.front()->blocks);
    // Runs share the work rather than the rows.
    std::vector<std::uint64_t> before{0}; // the cost of the strips above each
    for (std::uint32_t strip = 0; strip < strips; ++strip) {
        std::uint64_t cost = 0;
        for (int c = 0; c < m_image.channels; ++c)
            for (std::size_t b = 0; b < 3; ++b) {
                // The last strip takes the rows below the strips.
                const std::uint32_t from = std::min(strip * kRunStep, m_bandHeights[b]);
                const std::uint32_t to = strip + 1 == strips
                                             ? m_bandHeights[b]
                                             : std::min(from + kRunStep, m_bandHeights[b]);
                cost += DecodeCost(*blocks,
                                   m_bandStarts[static_cast<std::size_t>(c)][b] +
                                       std::uint64_t{from} * m_bandWidths[b],
                                   std::uint64_t{to - from} * m_bandWidths[b]);
            }
        before.push_back(before.back() + cost);
    }
    const std::vector<std::size_t> shares = SplitByWork(before, count);
    std::vector<std::uint32_t> firsts{0};
    for (std::uint32_t r = 1; r < count; ++r)
        firsts.push_back(2 * kRunStep *
                         std::clamp(static_cast<std::uint32_t>(shares[r]),
                                    firsts.back() / (2 * kRunStep) + 1, strips - (count - r)));
    m_runs.clear();
    for (std::uint32_t r = 0; r < count; ++r)
        m_runs.push_back(MakeRun(firsts[r], r + 1 < count ? firsts[r + 1] : m_image.height,
                                 r == 0 ? std::move(blocks) : nullptr));
    return firsts;
}

std::int32_t* CLastLevelRows::WindowRow(const Run& run, const Channel& channel,
                                        std::size_t row) const {
    return channel.window.get() + (row - run.windowFirst) * m_image.width;
}

std::int32_t* CLastLevelRows::BandRowInWindow(const Run& run, int c, std::size_t b,
                                              std::uint32_t row) const {
    return WindowRow(run, run.channels[static_cast<std::size_t>(c)],
                     2 * std::size_t{row} + kBandRowOffset[b]) +
           (kBandInHighs[b] ? LowCount(m_image.width) : 0);
}

// The detail bands' rows lie in the window already; the low samples of an even row come from
// the LL band. Odd rows are complete as placed.
void CLastLevelRows::MergeRow(const Run& run, int c, std::size_t row) {
    const SamplePlane& low = m_image.planes[static_cast<std::size_t>(c)];
    std::memcpy(WindowRow(run, run.channels[static_cast<std::size_t>(c)], row),
                low.samples + row / 2 * low.stride, LowCount(m_image.width) * sizeof(std::int32_t));
}

// Band rows from … to - 1 of band b of channel c into the window. Values come in 8-row strips:
// rows that do not fill one are taken from their whole strip.
void CLastLevelRows::PlaceBandRows(Run& run, int c, std::size_t b, std::uint32_t from,
                                   std::uint32_t to) {
    const std::uint32_t head = std::min(to, (from + 7) / 8 * 8);
    if (from < head) PlaceFromStrip(run, c, b, from, head);
    const std::uint32_t tail = to == m_bandHeights[b] ? to : std::max(head, to / 8 * 8);
    if (tail > head)
        run.blocks->Place(3 * c + static_cast<int>(b),
                          m_bandStarts[static_cast<std::size_t>(c)][b] +
                              std::uint64_t{head} * m_bandWidths[b],
                          m_bandWidths[b], tail - head, BandRowInWindow(run, c, b, head),
                          2 * std::uint64_t{m_image.width}, m_shifts[b]);
    if (tail < to) PlaceFromStrip(run, c, b, tail, to);
}

void CLastLevelRows::PlaceFromStrip(Run& run, int c, std::size_t b, std::uint32_t from,
                                    std::uint32_t to) {
    const std::uint32_t strip = from / 8 * 8;
    const std::uint32_t width = m_bandWidths[b];
    run.blocks->Place(3 * c + static_cast<int>(b),
                      m_bandStarts[static_cast<std::size_t>(c)][b] + std::uint64_t{strip} * width,
                      width, std::min(8u, m_bandHeights[b] - strip), run.stripScratch.get(), width,
                      m_shifts[b]);
    for (std::uint32_t row = from; row < to; ++row)
        std::memcpy(BandRowInWindow(run, c, b, row),
                    run.stripScratch.get() + std::size_t{row - strip} * width,
                    width * sizeof(std::int32_t));
}

void CLastLevelRows::DecodeStrip(Run& run) {
    if (run.channels.empty()) PrepareRun(run);
    const std::uint32_t width = m_image.width;
    const std::uint32_t lowRows = m_bandHeights[0];
    const bool firstStrip = run.nextRow == run.first;
    // The rows merged but not yet stepped move to the front of the window. A run below the top
    // starts with the odd row above it.
    const bool below = firstStrip && run.first > 0;
    const std::size_t merged =
        std::min<std::size_t>(2 * std::size_t{run.bandRowsPlaced}, m_image.height);
    if (!firstStrip)
        for (Channel& channel : run.channels)
            std::memmove(channel.window.get(), WindowRow(run, channel, run.nextRow),
                         (merged - run.nextRow) * width * sizeof(std::int32_t));
    run.windowFirst = run.nextRow - (below ? 1 : 0);
    // A run above the last needs the band rows of the pair of rows below it.
    const std::uint32_t bandEnd = run.end == m_image.height ? lowRows : run.end / 2 + 1;
    const std::uint32_t stripFirst = run.bandRowsPlaced;
    run.bandRowsPlaced = std::min(stripFirst + kStripRows, bandEnd);
    for (int c = 0; c < m_image.channels; ++c)
        for (std::size_t b = 0; b < 3; ++b) {
            // The odd row above a run comes from LH and HH.
            const std::uint32_t from = stripFirst - (below && b > 0 ? 1 : 0);
            const std::uint32_t to = std::min(run.bandRowsPlaced, m_bandHeights[b]);
            if (to > from) PlaceBandRows(run, c, b, std::min(from, m_bandHeights[b]), to);
        }
    const std::size_t mergeable =
        run.bandRowsPlaced == lowRows ? m_image.height : 2 * std::size_t{run.bandRowsPlaced};
    const std::size_t stepped = run.stepped;
    for (Channel& channel : run.channels)
        run.stepped = channel.steps->Advance(mergeable);
    if (run.stepped == stepped) ThrowCodecError(ErrorWrongFormat);
}

void CLastLevelRows::ExportRows(std::uint32_t first, std::uint32_t count, std::uint8_t* bits,
                                std::ptrdiff_t pitch, std::uint32_t bitsPerPixel,
                                const PixelExchange& how) {
    const auto after = std::upper_bound(
        m_runs.begin(), m_runs.end(), first,
        [](std::uint32_t row, const std::unique_ptr<Run>& run) { return row < run->first; });
    if (after == m_runs.begin()) ThrowCodecError(EINVAL);
    Run& run = **(after - 1);
    if (run.error != 0) ThrowCodecError(run.error);
    if (first != run.nextRow || count > run.end - first) ThrowCodecError(EINVAL);
    try {
        const std::uint32_t end = first + count;
        while (run.nextRow < end) {
            if (run.stepped == run.nextRow) DecodeStrip(run);
            const auto rows =
                static_cast<std::uint32_t>(std::min<std::size_t>(run.stepped, end) - run.nextRow);
            ChannelImage part = m_image;
            part.height = rows;
            for (int c = 0; c < m_image.channels; ++c)
                part.planes[static_cast<std::size_t>(c)] = {
                    WindowRow(run, run.channels[static_cast<std::size_t>(c)], run.nextRow),
                    m_image.width, rows, m_image.width};
            const ExportArea area = WholeImageArea(part);
            ::ExportPixelRows(part, bits + pitch * static_cast<std::ptrdiff_t>(run.nextRow - first),
                              pitch, bitsPerPixel, how, &area);
            run.nextRow += rows;
        }
    } catch (const IOException& error) {
        run.error = error.error;
        throw;
    }
}

void CLastLevelRows::ExportAll(std::uint8_t* bits, std::ptrdiff_t pitch, std::uint32_t bitsPerPixel,
                               const PixelExchange& how, int threads) {
    if (threads > 1 && m_runs.size() == 1) SplitIntoRuns(threads);
    const auto runs = static_cast<int>(m_runs.size());
    FirstFailure failure;
#pragma omp parallel for schedule(static, 1) num_threads(runs) if (runs > 1)
    for (int r = 0; r < runs; ++r) {
        const Run& run = *m_runs[static_cast<std::size_t>(r)];
        try {
            ExportRows(run.first, run.end - run.first,
                       bits + pitch * static_cast<std::ptrdiff_t>(run.first), pitch, bitsPerPixel,
                       how);
        } catch (...) {
            failure.Keep(r, std::current_exception());
        }
    }
    failure.Rethrow();
}
