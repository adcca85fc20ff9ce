// Mapping the pages of large blocks ahead of their first writes.
#include "qvt_memory.h"

#include <algorithm>

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
    // Clearing the pages is most of the cost, so threads clear stretches of their own. The
    // stretches start at multiples of their size, so that no huge page is split between them.
    constexpr std::uintptr_t kStretch = 8 * kHugePage;
    const std::uintptr_t base = start / kStretch * kStretch;
    const auto stretches = static_cast<std::int64_t>((end - base + kStretch - 1) / kStretch);
#pragma omp parallel for schedule(static) if (stretches > 1)
    for (std::int64_t i = 0; i < stretches; ++i) {
        const std::uintptr_t from =
            std::max(start, base + static_cast<std::uintptr_t>(i) * kStretch);
        const std::uintptr_t to = std::min(end, from / kStretch * kStretch + kStretch);
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
    }
#else
    (void)block;
    (void)bytes;
#endif
}
