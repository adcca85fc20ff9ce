// Mapping the pages of large blocks ahead of their first writes.
#include "qvt_memory.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <omp.h>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void MapPagesAhead(void* block, std::uint64_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr std::uint64_t kLargeBlock = std::uint64_t{256} << 10;
    constexpr std::uint64_t kHugeBlock = std::uint64_t{1} << 30;
    if (block == nullptr || bytes < kLargeBlock || bytes > kHugeBlock) return;
    static const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t start = (first + pageSize - 1) / pageSize * pageSize;
    const std::uintptr_t end = (first + bytes) / pageSize * pageSize;
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const std::uintptr_t hugeStart = (first + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t hugeEnd = (first + bytes) / kHugePage * kHugePage;
    if (hugeEnd > hugeStart)
        madvise(reinterpret_cast<void*>(hugeStart), hugeEnd - hugeStart, MADV_HUGEPAGE);
    if (end <= start) return;
    // Clearing the pages is most of the cost, so the threads clear equal shares. The shares
    // meet at huge page boundaries, so that no huge page is split between two of them.
    const auto hugePages = static_cast<std::int64_t>((end - start) / kHugePage);
    const std::int64_t shares = std::clamp<std::int64_t>(hugePages, 1, omp_get_max_threads());
    const auto shareStart = [&](std::int64_t i) {
        if (i == 0) return start;
        if (i == shares) return end;
        const std::uintptr_t at = start + (end - start) / static_cast<std::uintptr_t>(shares) *
                                              static_cast<std::uintptr_t>(i);
        return at / kHugePage * kHugePage;
    };
#pragma omp parallel for schedule(static) num_threads(shares) if (shares > 1)
    for (std::int64_t i = 0; i < shares; ++i)
        madvise(reinterpret_cast<void*>(shareStart(i)), shareStart(i + 1) - shareStart(i),
                MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)bytes;
#endif
}

void* AllocateMapped(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (size < kHugePage / 2 || size > std::numeric_limits<std::size_t>::max() - kHugePage) {
        void* block = std::malloc(size);
        MapPagesAhead(block, size);
        return block;
    }
    const std::size_t whole = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, whole);
    MapPagesAhead(block, whole);
    return block;
}

namespace {

struct KeptBlock {
    KeptBlock() = default;
    KeptBlock(const KeptBlock&) = delete;
    KeptBlock& operator=(const KeptBlock&) = delete;
    ~KeptBlock() { std::free(block); }
    void* block = nullptr;
    std::size_t size = 0;
};

thread_local KeptBlock t_kept;

} // namespace

void* AllocateReused(std::size_t size) {
    if (t_kept.block != nullptr && t_kept.size == size) return std::exchange(t_kept.block, nullptr);
    return AllocateMapped(size);
}

void FreeForReuse(void* block, std::size_t size) {
    if (block == nullptr) return;
    std::free(t_kept.block);
    t_kept.block = block;
    t_kept.size = size;
}
