// Exceptions must not leave an OpenMP region: the runtime would end the program. Every iteration
// of the codec's parallel loops runs its whole body through GuardedCode, which turns what the
// body throws into the error code the loop collects and the caller throws after the region.
#pragma once

#include "qvt_error.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>

// `work` returns 0 or an error code. A codec error keeps its code; an allocation that cannot be
// had (std::bad_alloc, or std::length_error for a container past its largest size) is
// ErrorOutOfMemory. The codec throws nothing else.
template <typename Work>
std::uint32_t GuardedCode(Work&& work) noexcept {
    try {
        return work();
    } catch (const IOException& error) {
        return error.error;
    } catch (const std::bad_alloc&) {
        return ErrorOutOfMemory;
    } catch (const std::length_error&) {
        return ErrorOutOfMemory;
    }
}

// Of pieces of work done on several threads, each caught whole, the failure that comes first in
// the work's own order (its index), whichever thread met it first: the outcome a single thread
// working in order would give.
class FirstFailure {
public:
    // On any thread.
    void Keep(std::int64_t index, std::exception_ptr error) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (index >= m_index.load(std::memory_order_relaxed)) return;
        m_index.store(index, std::memory_order_relaxed);
        m_error = std::move(error);
    }
    // Whether a piece before `index` failed, so that work at `index` may as well stop.
    bool KeptBefore(std::int64_t index) const {
        return m_index.load(std::memory_order_relaxed) < index;
    }
    // After the threads are done.
    void Rethrow() const {
        if (m_error) std::rethrow_exception(m_error);
    }

private:
    std::mutex m_mutex;
    std::atomic<std::int64_t> m_index{std::numeric_limits<std::int64_t>::max()};
    std::exception_ptr m_error;
};
