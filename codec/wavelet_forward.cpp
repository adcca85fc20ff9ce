// The forward transform of one level, streaming through the source rows: each row gets its row
// step just before first use and every vertical step touches two or three neighbouring rows.
#include "lifting.h"
#include "quantize.h"
#include "qvt_error.h"
#include "wavelet_pyramid.h"

#include <cstring>

namespace {

constexpr auto kAdd = LiftSign::Add;
constexpr auto kSubtract = LiftSign::Subtract;

// Appends split rows to the four bands of the next level, row by row in natural order.
class BandAppender {
public:
    BandAppender(CWaveletPyramid& pyramid, int level, std::size_t width)
        : ll_(pyramid.Band(level, BandOrientation::LL)),
          hl_(pyramid.Band(level, BandOrientation::HL)),
          lh_(pyramid.Band(level, BandOrientation::LH)),
          hh_(pyramid.Band(level, BandOrientation::HH)), lows_(LowCount(width)), highs_(width / 2) {
        for (CWaveletBand* band : {&ll_, &hl_, &lh_, &hh_})
            band->pos = 0;
    }

    void Pair(const std::int32_t* even, const std::int32_t* odd) {
        Append(ll_, hl_, even);
        Append(lh_, hh_, odd);
    }
    void Single(const std::int32_t* even) { Append(ll_, hl_, even); }

private:
    void Append(CWaveletBand& low, CWaveletBand& high, const std::int32_t* row) {
        std::memcpy(low.data.get() + low.pos, row, lows_ * sizeof *row);
        low.pos += lows_;
        std::memcpy(high.data.get() + high.pos, row + lows_, highs_ * sizeof *row);
        high.pos += highs_;
    }

    CWaveletBand& ll_;
    CWaveletBand& hl_;
    CWaveletBand& lh_;
    CWaveletBand& hh_;
    std::size_t lows_;
    std::size_t highs_;
};

} // namespace

std::uint32_t CWaveletPyramid::ForwardLevel(int level, int q) {
    CWaveletBand& source = Band(level, BandOrientation::LL);
    const int next = level + 1;
    for (auto orientation : kAllBands)
        if (!Band(next, orientation).SizeForRegion()) return ErrorOutOfMemory;

    const std::size_t w = source.width;
    const std::size_t h = source.height;
    const SampleBuffer scratch = TryAllocateSamples(w);
    if (!scratch) return ErrorOutOfMemory;

    std::int32_t* const base = source.data.get();
    auto row = [base, w](std::size_t i) { return base + i * w; };
    auto rowStep = [&](std::size_t i) { ForwardRowStep(row(i), w, scratch.get()); };
    BandAppender emit(*this, next, w);

    if (h >= 5) {
        rowStep(0);
        rowStep(1);
        rowStep(2);
        // First pair: the missing row above mirrors to the row below.
        LiftPairHalf<kSubtract>(row(1), row(0), row(2), w);
        LiftSingleHalf<kAdd>(row(0), row(1), w);
        emit.Pair(row(0), row(1));
        std::size_t k = 1;
        for (; 2 * k + 2 <= h - 1; ++k) {
            rowStep(2 * k + 1);
            rowStep(2 * k + 2);
            LiftPairHalf<kSubtract>(row(2 * k + 1), row(2 * k), row(2 * k + 2), w);
            LiftPairQuarter<kAdd>(row(2 * k), row(2 * k - 1), row(2 * k + 1), w);
            emit.Pair(row(2 * k), row(2 * k + 1));
        }
        if (h % 2 == 0) {
            // Even height ends on an odd row whose predict sees one even neighbour.
            rowStep(h - 1);
            LiftSingle<kSubtract>(row(h - 1), row(h - 2), w);
            LiftPairQuarter<kAdd>(row(h - 2), row(h - 3), row(h - 1), w);
            emit.Pair(row(h - 2), row(h - 1));
        } else {
            LiftSingleHalf<kAdd>(row(h - 1), row(h - 2), w);
            emit.Single(row(h - 1));
        }
    } else {
        // Too few rows to lift vertically: rows are only split.
        for (std::size_t k = 0; k < h / 2; ++k) {
            rowStep(2 * k);
            rowStep(2 * k + 1);
            emit.Pair(row(2 * k), row(2 * k + 1));
        }
        if (h % 2 == 1) {
            rowStep(h - 1);
            emit.Single(row(h - 1));
        }
    }

    if (q > 0) {
        QuantizeBand(Band(next, BandOrientation::HL), q);
        QuantizeBand(Band(next, BandOrientation::LH), q);
        QuantizeBand(Band(next, BandOrientation::HH), q);
        // Only the top LL band is coded; lower ones are transformed further first.
        if (next == DecompositionLevels()) QuantizeBand(Band(next, BandOrientation::LL), q);
    }
    source.Release();
    return 0;
}
