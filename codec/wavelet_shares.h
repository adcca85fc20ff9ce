// One level of a wavelet transform shared among threads, each taking a run of its rows.
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

// The rows the calling thread of a team takes of a level h rows high. Its run [first, end)
// starts at an even row; its window [from, to) reaches the two rows either side that the lifting
// steps of the run read. The thread steps the whole window in one pass, as a single thread steps
// the level, over its own copies of the window's rows outside the run, taken before any thread
// changes a row: what the window's edges get wrong falls only on the copies.
class RowWindow {
public:
    // Samples of scratch a level width samples wide needs: a row for the row steps, and on a team
    // of several threads the copies of each.
    static std::uint64_t ScratchSamples(std::size_t width, int team) {
        return std::uint64_t{width} *
               (team > 1 ? (kCopies + 1) * static_cast<std::uint64_t>(team) : 1);
    }

    RowWindow(std::size_t h, std::size_t width, std::int32_t* scratch)
        : width_(width), copies_(scratch + static_cast<std::size_t>(omp_get_thread_num()) * width *
                                               (kCopies + 1)) {
        const std::size_t pairs = (h + 1) / 2;
        const auto thread = static_cast<std::size_t>(omp_get_thread_num());
        const auto team = static_cast<std::size_t>(omp_get_num_threads());
        first = 2 * (pairs * thread / team);
        end = std::min(h, 2 * (pairs * (thread + 1) / team));
        from = first >= 2 ? first - 2 : 0;
        to = std::min(h, end + 2);
    }

    bool Copied(std::size_t i) const { return i < first || i >= end; }
    // Row i of the level: the thread's copy outside the run, levelRow(i) inside it.
    template <typename LevelRow>
    std::int32_t* Row(std::size_t i, const LevelRow& levelRow) const {
        if (i < first) return copies_ + (i - from) * width_;
        if (i >= end) return copies_ + (2 + i - end) * width_;
        return levelRow(i);
    }
    // The thread's row for row steps.
    std::int32_t* RowStepScratch() const { return copies_ + kCopies * width_; }

    std::size_t first;
    std::size_t end;
    std::size_t from;
    std::size_t to;

private:
    static constexpr std::size_t kCopies = 4;
    std::size_t width_;
    std::int32_t* copies_;
};
