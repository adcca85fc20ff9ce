// Sample and byte buffers whose allocation reports failure instead of throwing, with every size
// computed in 64 bits and checked, so a hostile header can never wrap into a small buffer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

using SampleBuffer = std::unique_ptr<std::int32_t[], FreeDeleter>;
using ByteBuffer = std::unique_ptr<std::uint8_t[], FreeDeleter>;

// a × b, or nothing when the product does not fit in 64 bits.
inline std::optional<std::uint64_t> CheckedMul(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) return std::nullopt;
    return a * b;
}

// Memory for `count` elements of T, or null when the byte size overflows or malloc fails.
// A zero count still yields a valid (non-null) block so that "absent" and "empty" stay distinct.
template <typename T>
std::unique_ptr<T[], FreeDeleter> TryAllocate(std::uint64_t count) {
    const auto bytes = CheckedMul(count, sizeof(T));
    if (!bytes || *bytes > std::numeric_limits<std::size_t>::max()) return nullptr;
    return std::unique_ptr<T[], FreeDeleter>(
        static_cast<T*>(std::malloc(*bytes == 0 ? 1 : static_cast<std::size_t>(*bytes))));
}

inline SampleBuffer TryAllocateSamples(std::uint64_t count) {
    return TryAllocate<std::int32_t>(count);
}
