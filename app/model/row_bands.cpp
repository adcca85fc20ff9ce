#include "row_bands.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kBandRows = 32;

class BandQueue {
public:
    BandQueue(std::uint32_t height, const RowBandWork& work)
        : height_(height), bands_((height + kBandRows - 1) / kBandRows), work_(work) {}

    std::uint32_t Bands() const { return bands_; }
    std::uint32_t Done() const { return done_.load(); }

    // Runs the next band; false when none is left or the work is to end.
    bool RunNext() {
        if (stop_.load()) return false;
        const std::uint32_t band = next_.fetch_add(1);
        if (band >= bands_) return false;
        try {
            const std::uint32_t first = band * kBandRows;
            work_(first, std::min(height_, first + kBandRows));
        } catch (...) {
            Fail(std::current_exception());
            return false;
        }
        done_.fetch_add(1);
        return true;
    }
    void Stop() { stop_.store(true); }
    void Fail(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        if (!failure_) failure_ = std::move(error);
        stop_.store(true);
    }
    void RethrowFailure() {
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    std::uint32_t height_;
    std::uint32_t bands_;
    const RowBandWork& work_;
    std::atomic<std::uint32_t> next_{0};
    std::atomic<std::uint32_t> done_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::exception_ptr failure_;
};

} // namespace

void ForEachRowBand(std::uint32_t height, JobContext& context, ProgressSpan span,
                    const RowBandWork& work) {
    BandQueue queue(height, work);
    const auto report = [&] {
        context.Report(span.first + (span.last - span.first) * queue.Done() /
                                        std::max<std::uint32_t>(1, queue.Bands()));
    };
    std::vector<std::thread> helpers;
    const auto joinHelpers = [&] {
        queue.Stop();
        for (std::thread& helper : helpers)
            helper.join();
    };
    try {
        report();
        const auto count = std::min<std::uint32_t>(
            static_cast<std::uint32_t>(std::max(1, context.Threads())), queue.Bands());
        for (std::uint32_t i = 1; i < count; ++i)
            helpers.emplace_back([&queue] {
                while (queue.RunNext()) {
                }
            });
        while (queue.RunNext())
            report();
    } catch (...) {
        // A stop from the progress callback, or a thread that could not start.
        joinHelpers();
        throw;
    }
    for (std::thread& helper : helpers)
        helper.join();
    queue.RethrowFailure();
    report();
}
