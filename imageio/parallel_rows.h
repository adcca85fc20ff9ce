// Row loops shared out among threads, for conversions whose rows are independent.
#pragma once

#include "thread_placement.h"

#include <algorithm>
#include <thread>
#include <vector>

// Calls convertRow(y) for every row 0 ... height − 1, in bands of rows on up to `threads`
// threads (the calling one among them).
template <typename ConvertRow>
void ForEachRowInParallel(int height, int threads, ConvertRow convertRow) {
    threads = std::clamp(threads, 1, std::max(1, height));
    const auto band = [&](int part) {
        for (int y = height * part / threads; y < height * (part + 1) / threads; ++y)
            convertRow(y);
    };
    std::vector<std::thread> helpers;
    for (int part = 1; part < threads; ++part)
        helpers.emplace_back([&band, part] {
            FreeCallingThread();
            band(part);
        });
    band(0);
    for (std::thread& helper : helpers)
        helper.join();
}

// The processors' count, at least 1.
inline int ProcessorCount() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}
