// The forward transform of one level, streaming through the source rows in place: each row gets
// its row step just before first use and every vertical step touches two or three neighbouring
// rows.
#include "lifting.h"
#include "quantize.h"
#include "qvt_error.h"
#include "wavelet_pyramid.h"
#include "wavelet_shares.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr auto kAdd = LiftSign::Add;
constexpr auto kSubtract = LiftSign::Subtract;

// The steps of one level over columns begin … begin + count of every row. row(i) is row i, and
// rowStep(i) gives it its row step; each row gets it just before the vertical steps first read
// it, so a caller that has stepped every row already passes a step that does nothing.
template <typename Row, typename RowStep>
void ForwardSteps(const Row& row, std::size_t h, std::size_t begin, std::size_t count,
                  const RowStep& rowStep) {
    const auto at = [&](std::size_t i) { return row(i) + begin; };
    if (h < 5) {
        // Too few rows to lift vertically: rows are only split.
        for (std::size_t i = 0; i < h; ++i)
            rowStep(i);
        return;
    }
    rowStep(0);
    rowStep(1);
    rowStep(2);
    // First pair: the missing row above mirrors to the row below.
    LiftPairHalf<kSubtract>(at(1), at(0), at(2), count);
    LiftSingleHalf<kAdd>(at(0), at(1), count);
    std::size_t k = 1;
    for (; 2 * k + 2 <= h - 1; ++k) {
        rowStep(2 * k + 1);
        rowStep(2 * k + 2);
        LiftPairHalf<kSubtract>(at(2 * k + 1), at(2 * k), at(2 * k + 2), count);
        LiftPairQuarter<kAdd>(at(2 * k), at(2 * k - 1), at(2 * k + 1), count);
    }
    if (h % 2 == 0) {
        // Even height ends on an odd row whose predict sees one even neighbour.
        rowStep(h - 1);
        LiftSingle<kSubtract>(at(h - 1), at(h - 2), count);
        LiftPairQuarter<kAdd>(at(h - 2), at(h - 3), at(h - 1), count);
    } else {
        LiftSingleHalf<kAdd>(at(h - 1), at(h - 2), count);
    }
}

} // namespace

std::uint32_t CWaveletPyramid::ForwardLevel(int level, int q, int threads) {
    CWaveletBand& source = Band(level, BandOrientation::LL);
    const int next = level + 1;
    const std::size_t w = source.width;
    const std::size_t h = source.height;
    std::int32_t* const base = source.Samples();
    const std::uint64_t pitch = source.Pitch();
    if (!base) return ErrorWrongFormat;
    // After its row step a row holds its lows, then its highs, and after the vertical steps the
    // even rows are the low rows and the odd rows the high ones: the four bands lie in the
    // source as they are, its rows twice as far apart, and stay there.
    const std::size_t lows = LowCount(w);
    Band(next, BandOrientation::LL).PlaceAt(base, 2 * pitch);
    Band(next, BandOrientation::HL).PlaceAt(base + lows, 2 * pitch);
    Band(next, BandOrientation::LH).PlaceAt(base + pitch, 2 * pitch);
    Band(next, BandOrientation::HH).PlaceAt(base + pitch + lows, 2 * pitch);
    const auto row = [base, pitch](std::size_t i) { return base + i * pitch; };
    // Every thread's window must be high enough to be lifted as the level is.
    const int team =
        std::min(LevelTeam(w, h, threads), static_cast<int>(std::max<std::size_t>(1, h / 8)));
    const SampleBuffer scratch = TryAllocateSamples(RowWindow::ScratchSamples(w, team));
    if (!scratch) return ErrorOutOfMemory;

    if (team > 1) {
        // Each thread transforms a run of rows in one pass over its window.
#pragma omp parallel num_threads(team)
        {
            const RowWindow window(h, w, scratch.get());
            const auto at = [&](std::size_t i) { return window.Row(i, row); };
            for (std::size_t i = window.from; i < window.to; ++i)
                if (window.Copied(i)) std::memcpy(at(i), row(i), w * sizeof *base);
#pragma omp barrier
            const std::size_t from = window.from;
            ForwardSteps(
                [&](std::size_t i) { return at(from + i); }, window.to - from, 0, w,
                [&](std::size_t i) { ForwardRowStep(at(from + i), w, window.RowStepScratch()); });
        }
    } else {
        ForwardSteps(row, h, 0, w,
                     [&](std::size_t i) { ForwardRowStep(row(i), w, scratch.get()); });
    }

    if (q > 0) {
        QuantizeBand(Band(next, BandOrientation::HL), q);
        QuantizeBand(Band(next, BandOrientation::LH), q);
        QuantizeBand(Band(next, BandOrientation::HH), q);
        // Only the top LL band is coded; lower ones are transformed further first.
        if (next == DecompositionLevels()) QuantizeBand(Band(next, BandOrientation::LL), q);
    }
    return 0;
}
