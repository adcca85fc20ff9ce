// Rows of an image shared among threads, for row kernels that write nothing but their own row.
#pragma once

#include <cstdint>
#include <omp.h>

// Calls row(y) for y = 0 … height - 1 on `threads` threads (0: the parallel runtime's default),
// each taking a run of neighbouring rows. Row kernels here never throw.
template <typename Row>
void ForEachRowInParallel(std::uint32_t height, int threads, const Row& row) {
    const int team = threads > 0 ? threads : omp_get_max_threads();
    // A thread's share should be worth waking it for.
    constexpr std::uint32_t kRowsPerThread = 16;
#pragma omp parallel for schedule(static)                                                          \
    num_threads(team) if (team > 1 && height >= 2 * kRowsPerThread)
    for (std::int64_t y = 0; y < std::int64_t{height}; ++y)
        row(static_cast<std::uint32_t>(y));
}
