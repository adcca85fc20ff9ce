#include "lifting.h"

#include "vector_clones.h"
#include "wrap_arith.h"

#include <cstring>

namespace {

template <LiftSign sign>
inline std::int32_t Apply(std::int32_t value, std::int32_t delta) {
    if constexpr (sign == LiftSign::Add)
        return WrapAdd(value, delta);
    else
        return WrapSub(value, delta);
}

// Even samples to `lo`, odd samples to `hi`; `pairs` pairs (an odd last sample is the caller's).
VECTOR_CLONES void Deinterleave(std::int32_t* __restrict lo, std::int32_t* __restrict hi,
                                const std::int32_t* __restrict row, std::size_t pairs) {
#pragma omp simd
    for (std::size_t i = 0; i < pairs; ++i) {
        lo[i] = row[2 * i];
        hi[i] = row[2 * i + 1];
    }
}

VECTOR_CLONES void Interleave(std::int32_t* __restrict row, const std::int32_t* __restrict lo,
                              const std::int32_t* __restrict hi, std::size_t pairs) {
#pragma omp simd
    for (std::size_t i = 0; i < pairs; ++i) {
        row[2 * i] = lo[i];
        row[2 * i + 1] = hi[i];
    }
}

// out[i] = in[i] ± (a[i] + b[i] + rounding) >> shift: a row step's lift written to another buffer,
// so the split row is rearranged by the lift itself instead of by a separate copy.
template <LiftSign sign, int rounding, int shift>
VECTOR_CLONES void LiftPairInto(std::int32_t* __restrict out, const std::int32_t* __restrict in,
                                const std::int32_t* __restrict a, const std::int32_t* __restrict b,
                                std::size_t count) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        out[i] = Apply<sign>(in[i], WrapAdd3(a[i], b[i], rounding) >> shift);
}

// The 5/3 update (lows from highs) of a split row, from `in` into `out`: the first low sees one
// high only, and so does the last one at an odd end.
template <LiftSign sign>
void UpdateLows(std::int32_t* out, const std::int32_t* in, const std::int32_t* hi,
                std::size_t width) {
    const std::size_t highs = width / 2;
    out[0] = Apply<sign>(in[0], WrapAdd(hi[0], 1) >> 1);
    LiftPairInto<sign, 2, 2>(out + 1, in + 1, hi, hi + 1, highs - 1);
    if (width % 2 == 1) out[highs] = Apply<sign>(in[highs], WrapAdd(hi[highs - 1], 1) >> 1);
}

// The 5/3 predict (highs from lows) of a split row, from `in` into `out`; at an even end the
// mirrored neighbour makes it a plain difference.
template <LiftSign sign>
void PredictHighs(std::int32_t* out, const std::int32_t* in, const std::int32_t* lo,
                  std::size_t width) {
    const std::size_t lows = LowCount(width);
    const std::size_t highs = width / 2;
    LiftPairInto<sign, 1, 1>(out, in, lo, lo + 1, lows - 1);
    if (width % 2 == 0) out[highs - 1] = Apply<sign>(in[highs - 1], lo[highs - 1]);
}

} // namespace

// The kernels force vectorisation with `omp simd`: at -O2 the cheap cost model would otherwise
// keep them scalar whenever the count is not a known multiple of the vector width.

template <LiftSign sign>
VECTOR_CLONES void LiftPairHalf(std::int32_t* __restrict dst, const std::int32_t* __restrict a,
                                const std::int32_t* __restrict b, std::size_t count) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = Apply<sign>(dst[i], WrapAdd3(a[i], b[i], 1) >> 1);
}

template <LiftSign sign>
VECTOR_CLONES void LiftPairQuarter(std::int32_t* __restrict dst, const std::int32_t* __restrict a,
                                   const std::int32_t* __restrict b, std::size_t count) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = Apply<sign>(dst[i], WrapAdd3(a[i], b[i], 2) >> 2);
}

template <LiftSign sign>
VECTOR_CLONES void LiftSingleHalf(std::int32_t* __restrict dst, const std::int32_t* __restrict a,
                                  std::size_t count) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = Apply<sign>(dst[i], WrapAdd(a[i], 1) >> 1);
}

template <LiftSign sign>
VECTOR_CLONES void LiftSingle(std::int32_t* __restrict dst, const std::int32_t* __restrict a,
                              std::size_t count) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = Apply<sign>(dst[i], a[i]);
}

template void LiftPairHalf<LiftSign::Add>(std::int32_t*, const std::int32_t*, const std::int32_t*,
                                          std::size_t);
template void LiftPairHalf<LiftSign::Subtract>(std::int32_t*, const std::int32_t*,
                                               const std::int32_t*, std::size_t);
template void LiftPairQuarter<LiftSign::Add>(std::int32_t*, const std::int32_t*,
                                             const std::int32_t*, std::size_t);
template void LiftPairQuarter<LiftSign::Subtract>(std::int32_t*, const std::int32_t*,
                                                  const std::int32_t*, std::size_t);
template void LiftSingleHalf<LiftSign::Add>(std::int32_t*, const std::int32_t*, std::size_t);
template void LiftSingleHalf<LiftSign::Subtract>(std::int32_t*, const std::int32_t*, std::size_t);
template void LiftSingle<LiftSign::Add>(std::int32_t*, const std::int32_t*, std::size_t);
template void LiftSingle<LiftSign::Subtract>(std::int32_t*, const std::int32_t*, std::size_t);

// Within a row every predict step reads only original lows and every update step only predicted
// highs, so predicting all highs and then updating all lows gives exactly the interleaved order.

void ForwardRowStep(std::int32_t* row, std::size_t width, std::int32_t* scratch) {
    // A single sample is already its own split form.
    if (width < 2) return;
    const std::size_t lows = LowCount(width);
    const std::size_t highs = width / 2;
    std::int32_t* const evens = scratch;
    std::int32_t* const odds = scratch + lows;
    Deinterleave(evens, odds, row, highs);
    if (lows > highs) evens[highs] = row[width - 1];
    if (width <= 4) {
        std::memcpy(row, scratch, width * sizeof *row);
        return;
    }
    // The lifts read the split copy and write the row, so no copy back is needed.
    PredictHighs<LiftSign::Subtract>(row + lows, odds, evens, width);
    UpdateLows<LiftSign::Add>(row, evens, row + lows, width);
}

void InverseRowStep(std::int32_t* row, std::size_t width, std::int32_t* scratch) {
    // A single sample is already its own split form.
    if (width < 2) return;
    const std::size_t lows = LowCount(width);
    const std::size_t highs = width / 2;
    std::int32_t* const evens = scratch;
    std::int32_t* const odds = scratch + lows;
    if (width > 4) {
        // Undo the update first (it read predicted highs), then the predict; both write into
        // scratch, which the row is then interleaved from.
        UpdateLows<LiftSign::Subtract>(evens, row, row + lows, width);
        PredictHighs<LiftSign::Add>(odds, row + lows, evens, width);
    } else {
        std::memcpy(scratch, row, width * sizeof *row);
    }
    Interleave(row, evens, odds, highs);
    if (lows > highs) row[width - 1] = evens[highs];
}
