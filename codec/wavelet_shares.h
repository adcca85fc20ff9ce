// One level of a wavelet transform shared among threads: its rows for the row steps, then its
// columns for the vertical steps, which touch each column on its own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <omp.h>

// Threads worth using on a width × height level out of `threads` (0: the runtime's default):
// each should get enough samples to pay for waking it.
inline int LevelTeam(std::size_t width, std::size_t height, int threads) {
    constexpr std::size_t kSamplesPerThread = std::size_t{1} << 18;
    const int team = threads > 0 ? threads : omp_get_max_threads();
    const std::size_t worth = width * height / kSamplesPerThread;
    return static_cast<int>(std::clamp<std::size_t>(worth, 1, static_cast<std::size_t>(team)));
}

// Calls row(i, thread) for i = 0 … height - 1 on `team` threads, each taking a run of
// neighbouring rows; `thread` (0 … team - 1) tells which thread runs it. Rows never throw.
template <typename Row>
void ForEachRowShare(std::size_t height, int team, const Row& row) {
#pragma omp parallel for schedule(static) num_threads(team)
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(height); ++i)
        row(static_cast<std::size_t>(i), static_cast<std::size_t>(omp_get_thread_num()));
}

// Calls columns(begin, count) on `team` threads for neighbouring runs of columns that together
// cover 0 … width - 1. Runs are whole cache lines of samples long (but the last), so threads
// seldom write the same line.
template <typename Columns>
void ForEachColumnShare(std::size_t width, int team, const Columns& columns) {
    constexpr std::size_t kLine = 16; // samples per cache line
    const std::size_t lines = (width + kLine - 1) / kLine;
#pragma omp parallel num_threads(team)
    {
        const auto t = static_cast<std::size_t>(omp_get_thread_num());
        const auto n = static_cast<std::size_t>(omp_get_num_threads());
        const std::size_t begin = std::min(width, lines * t / n * kLine);
        const std::size_t end = std::min(width, lines * (t + 1) / n * kLine);
        if (end > begin) columns(begin, end - begin);
    }
}
