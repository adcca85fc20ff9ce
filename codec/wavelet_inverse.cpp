// The inverse transform of one level, restricted to the region of the destination LL band.
#include "inverse_row_steps.h"
#include "lifting.h"
#include "qvt_error.h"
#include "wavelet_pyramid.h"
#include "wavelet_shares.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads a band's region row by row from a fixed column. Samples outside the band's buffer read as
// 0, so regions that do not fit together can never reach past a buffer. A band placed where its
// rows go is left as it is.
class BandRowReader {
public:
    BandRowReader(const CWaveletBand& band, std::uint64_t firstRow, std::uint64_t column)
        : samples_(band.Samples()), pitch_(band.Pitch()), width_(band.region.Width()),
          row_(firstRow), column_(column) {
        if (!samples_ || width_ == 0)
            rows_ = 0;
        else if (band.placed)
            rows_ = band.region.Height();
        else
            rows_ = std::min<std::uint64_t>(band.region.Height(), band.size / width_);
    }

    // Puts `count` samples of the current row at `out` and moves one band row down.
    void ReadRow(std::int32_t* out, std::size_t count) {
        std::size_t copied = 0;
        if (row_ < rows_ && column_ < width_) {
            copied = static_cast<std::size_t>(std::min<std::uint64_t>(count, width_ - column_));
            const std::int32_t* from = samples_ + row_ * pitch_ + column_;
            if (from != out) std::memcpy(out, from, copied * sizeof *out);
        }
        std::fill(out + copied, out + count, 0);
        ++row_;
    }

private:
    const std::int32_t* samples_;
    std::uint64_t pitch_;
    std::uint64_t width_;
    std::uint64_t rows_;
    std::uint64_t row_;
    std::uint64_t column_;
};

// Where output starts along one axis and where the low and high bands are read from.
struct AxisAlignment {
    std::int64_t first = 0;  // first written sample of the region along this axis
    std::int64_t extent = 0; // samples written from there on (may end up <= 0)
    std::uint64_t lowOffset = 0;
    std::uint64_t highOffset = 0;
};

// Samples are rebuilt in pairs starting at even coordinates, and each band must be read inside
// its own region, so the start moves right (down) until both bands can supply it.
AxisAlignment AlignAxis(std::uint32_t regionStart, std::uint32_t regionExtent,
                        std::uint32_t lowStart, std::uint32_t highStart) {
    AxisAlignment axis;
    std::int64_t start = regionStart;
    axis.extent = regionExtent;
    if (regionStart % 2 == 1) {
        ++start;
        --axis.extent;
        axis.first = 1;
    }
    const std::int64_t band = start / 2;
    const std::int64_t low = lowStart;
    const std::int64_t high = highStart;
    if (band >= std::max(low, high)) {
        axis.lowOffset = static_cast<std::uint64_t>(band - low);
        axis.highOffset = static_cast<std::uint64_t>(band - high);
        return axis;
    }
    const std::int64_t behind = std::max(low, high) - band;
    axis.extent -= 2 * behind;
    axis.first += 2 * behind;
    if (low > high)
        axis.highOffset = static_cast<std::uint64_t>(low - high);
    else
        axis.lowOffset = static_cast<std::uint64_t>(high - low);
    return axis;
}

// Zeroes what the alignment leaves unwritten so the region never carries stale samples.
void ClearLeadingSamples(std::int32_t* region, std::size_t width, std::size_t height,
                         std::size_t pitch, const AxisAlignment& columns,
                         const AxisAlignment& rows) {
    const bool nothingWritten = columns.extent <= 0 || rows.extent <= 0;
    const std::size_t clearedRows = nothingWritten ? height : static_cast<std::size_t>(rows.first);
    const std::size_t clearedColumns =
        nothingWritten ? 0 : std::min(width, static_cast<std::size_t>(columns.first));
    const std::size_t touchedRows = clearedColumns > 0 ? height : clearedRows;
    for (std::size_t y = 0; y < touchedRows; ++y)
        std::fill_n(region + y * pitch, y < clearedRows ? width : clearedColumns, 0);
}

// All the steps of a level at once.
template <typename Rows, typename Merge, typename MergeSingle, typename RowStep>
void InverseSteps(const Rows& at, std::size_t h, bool lift, std::size_t count,
                  const Merge& mergePair, const MergeSingle& mergeSingle, const RowStep& rowStep) {
    InverseRowSteps(at, h, lift, count, mergePair, mergeSingle, rowStep).Advance(h);
}

} // namespace

std::uint32_t CWaveletPyramid::InverseLevel(int level, std::uint32_t& outWidth,
                                            std::uint32_t& outHeight, std::int32_t*& outBuffer,
                                            int threads) {
    CWaveletBand& target = Band(level - 1, BandOrientation::LL);
    if (!SizeInverseTarget(level)) return ErrorOutOfMemory;
    const std::size_t regionHeight = target.region.Height();
    const std::size_t pitch = target.Pitch();

    const CWaveletBand& ll = Band(level, BandOrientation::LL);
    const CWaveletBand& hl = Band(level, BandOrientation::HL);
    const CWaveletBand& lh = Band(level, BandOrientation::LH);
    const CWaveletBand& hh = Band(level, BandOrientation::HH);
    const AxisAlignment columns =
        AlignAxis(target.region.left, target.region.Width(), ll.region.left, hl.region.left);
    const AxisAlignment rows =
        AlignAxis(target.region.top, target.region.Height(), ll.region.top, lh.region.top);
    ClearLeadingSamples(target.Samples(), target.region.Width(), regionHeight, pitch, columns,
                        rows);

    if (columns.extent > 0 && rows.extent > 0) {
        const auto w = static_cast<std::size_t>(columns.extent);
        const auto h = static_cast<std::size_t>(rows.extent);
        // Bands in place make each merge a read of its own rows only, so threads can share
        // them; others may lie in buffers the rows are written over.
        const int team = BandsInPlace(level) ? LevelTeam(w, h, threads) : 1;
        const SampleBuffer scratch = TryAllocateSamples(RowWindow::ScratchSamples(w, team));
        if (!scratch) return ErrorOutOfMemory;

        std::int32_t* const base = target.Samples() + static_cast<std::size_t>(rows.first) * pitch +
                                   static_cast<std::size_t>(columns.first);
        const auto y = [base, pitch](std::size_t i) { return base + i * pitch; };
        const std::size_t lows = LowCount(w);
        const std::size_t highs = w / 2;
        // Rows are merged in split form (lows, then highs), into the rows `at` gives; the row
        // step interleaves them.
        const auto mergeSingleAt = [&](const auto& at, std::size_t i) {
            BandRowReader(ll, rows.lowOffset + i / 2, columns.lowOffset).ReadRow(at(i), lows);
            BandRowReader(hl, rows.lowOffset + i / 2, columns.highOffset)
                .ReadRow(at(i) + lows, highs);
        };
        const auto mergePairAt = [&](const auto& at, std::size_t i) {
            mergeSingleAt(at, i);
            BandRowReader(lh, rows.highOffset + i / 2, columns.lowOffset).ReadRow(at(i + 1), lows);
            BandRowReader(hh, rows.highOffset + i / 2, columns.highOffset)
                .ReadRow(at(i + 1) + lows, highs);
        };
        // The lifting decision follows the region's height; an aligned remainder of a single
        // row has no partner to lift against.
        const bool lift = regionHeight >= 5 && h >= 2;

        if (team > 1) {
            // Each thread rebuilds a run of rows in one pass over its window.
#pragma omp parallel num_threads(team)
            {
                const RowWindow window(h, w, scratch.get());
                const auto row = [&](std::size_t i) { return window.Row(i, y); };
                for (std::size_t i = window.from; i < window.to; i += 2) {
                    if (!window.Copied(i)) continue;
                    if (i + 1 < window.to)
                        mergePairAt(row, i);
                    else
                        mergeSingleAt(row, i);
                }
#pragma omp barrier
                // The steps number the window's rows from 0.
                const std::size_t from = window.from;
                if (window.end > window.first)
                    InverseSteps([&](std::size_t i) { return row(from + i); }, window.to - from,
                                 lift, w,
                                 [&](std::size_t i) {
                                     if (!window.Copied(from + i)) mergePairAt(row, from + i);
                                 },
                                 [&](std::size_t i) {
                                     if (!window.Copied(from + i)) mergeSingleAt(row, from + i);
                                 },
                                 [&](std::size_t i) {
                                     if (!window.Copied(from + i))
                                         InverseRowStep(row(from + i), w, window.RowStepScratch());
                                 });
            }
        } else {
            InverseSteps(
                y, h, lift, w, [&](std::size_t i) { mergePairAt(y, i); },
                [&](std::size_t i) { mergeSingleAt(y, i); },
                [&](std::size_t i) { InverseRowStep(y(i), w, scratch.get()); });
        }
    }

    for (auto orientation : kAllBands)
        Band(level, orientation).Release();
    target.pos = 0;
    outWidth = target.region.Width();
    outHeight = target.region.Height();
    outBuffer = target.Samples();
    return 0;
}
