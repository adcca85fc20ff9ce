// The reversible 5/3 lifting steps on 32-bit samples, all sums wrapping.
//
// A row is kept in split form between its row step and its inverse row step: the low-pass samples
// (even positions) first, then the high-pass samples (odd positions). The element-wise kernels
// below serve both directions: between rows they run over whole rows, inside a split row over
// its low or high half, so every hot loop is a plain vectorisable loop.
#pragma once

#include <cstddef>
#include <cstdint>

enum class LiftSign { Add, Subtract };

// dst[i] ±= (a[i] + b[i] + 1) >> 1 — the predict step and its inverse.
template <LiftSign sign>
void LiftPairHalf(std::int32_t* __restrict dst, const std::int32_t* __restrict a,
                  const std::int32_t* __restrict b, std::size_t count);

// dst[i] ±= (a[i] + b[i] + 2) >> 2 — the update step and its inverse.
template <LiftSign sign>
void LiftPairQuarter(std::int32_t* __restrict dst, const std::int32_t* __restrict a,
                     const std::int32_t* __restrict b, std::size_t count);

// dst[i] ±= (a[i] + 1) >> 1 — an edge step with one neighbour.
template <LiftSign sign>
void LiftSingleHalf(std::int32_t* __restrict dst, const std::int32_t* __restrict a,
                    std::size_t count);

// dst[i] ±= a[i] — the predict step at an even-length end.
template <LiftSign sign>
void LiftSingle(std::int32_t* __restrict dst, const std::int32_t* __restrict a, std::size_t count);

// Forward row step of `width` samples: turns an interleaved row into split form (lows, then
// highs), lifting when width >= 5. `scratch` holds at least `width` samples.
void ForwardRowStep(std::int32_t* row, std::size_t width, std::int32_t* scratch);

// Inverse row step: turns a split row back into interleaved samples, undoing ForwardRowStep.
void InverseRowStep(std::int32_t* row, std::size_t width, std::int32_t* scratch);

// Lows of a split row of `width` samples: the even positions.
inline std::size_t LowCount(std::size_t width) { return (width + 1) / 2; }
