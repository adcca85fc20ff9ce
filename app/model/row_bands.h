// Work over an image's rows in bands of a few dozen rows, shared among the threads a job may
// use. The job's own thread takes bands too and reports progress between them, so the progress
// callback (and a stop with Esc) keeps running on the thread it belongs to; an error or a stop
// ends the other threads after their current band and is rethrown on the job's thread.
#pragma once

#include "job_runner.h"

#include <cstdint>
#include <functional>

// The part of the job's progress a stage fills: fractions from `first` to `last`.
struct ProgressSpan {
    double first = 0;
    double last = 1;
};

using RowBandWork = std::function<void(std::uint32_t firstRow, std::uint32_t endRow)>;

// Calls `work` for consecutive bands covering rows 0 ... height - 1, each band exactly once,
// on up to context.Threads() threads.
void ForEachRowBand(std::uint32_t height, JobContext& context, ProgressSpan span,
                    const RowBandWork& work);
