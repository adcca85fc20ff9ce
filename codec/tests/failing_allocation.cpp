// Every form of operator new and delete is replaced, so that memory from any of them goes back
// through the matching one (sanitizers check the pairing).
#include "failing_allocation.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <omp.h>

namespace {

std::atomic<int> g_countdown{0};
std::atomic<bool> g_failed{false};

bool ShouldFail() {
    if (g_countdown.load(std::memory_order_relaxed) <= 0 || omp_get_level() == 0) return false;
    if (g_countdown.fetch_sub(1) != 1) return false;
    g_failed = true;
    return true;
}

void* Allocate(std::size_t size) noexcept {
    return ShouldFail() ? nullptr : std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
    void* block = Allocate(size);
    if (!block) throw std::bad_alloc();
    return block;
}

} // namespace

void FailParallelAllocation(int n) {
    g_failed = false;
    g_countdown = n;
}

bool ParallelAllocationFailed() { return g_failed; }

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
