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

// Large blocks (image planes, bands) are written whole soon after they are allocated. Mapping
// all their pages in one request spares a page fault per 4 KiB, which on large images costs
// about as much as the coding itself, and the whole 2 MiB stretches inside a block may come as
// huge pages, which the kernel clears and accounts far faster. Where the kernel cannot do it,
// pages fault in as usual. Blocks past 1 GiB are left to fault in: a header that lies about the
// image size must not make memory it will never fill resident.
void MapPagesAhead(void* block, std::uint64_t bytes);

// malloc(size) with its pages mapped ahead, for a block allocated once and held long, such as an
// image plane. Blocks of a mebibyte and more start at a huge page and take whole huge pages: a
// plane of a little over 2 MiB would otherwise come almost all in small pages, which the kernel
// maps and clears several times slower. Blocks allocated again and again had better come from
// malloc, which hands a freed block out again; an aligned one seldom fits where the last was.
void* AllocateMapped(std::size_t size);

// AllocateMapped, except that the block last released by FreeForReuse on this thread is handed
// out again when it has the same size: coders made for every tile of a container then take the
// pages of the last tile's, already mapped, rather than map new ones. A thread keeps one block.
void* AllocateReused(std::size_t size);
void FreeForReuse(void* block, std::size_t size);

// The bytes of `count` elements of `elementBytes` each, or nothing when they do not fit in
// size_t. A zero count takes one byte, so that "absent" and "empty" stay distinct.
inline std::optional<std::size_t> BlockBytes(std::uint64_t count, std::size_t elementBytes) {
    const auto bytes = CheckedMul(count, elementBytes);
    if (!bytes || *bytes > std::numeric_limits<std::size_t>::max()) return std::nullopt;
    return *bytes == 0 ? 1 : static_cast<std::size_t>(*bytes);
}

// Memory for `count` elements of T, or null when the byte size overflows or malloc fails.
// A zero count still yields a valid (non-null) block so that "absent" and "empty" stay distinct.
// `cleared` asks for zeros: a large block comes from the system cleared already and is not
// written a second time.
template <typename T>
std::unique_ptr<T[], FreeDeleter> TryAllocate(std::uint64_t count, bool cleared = false) {
    const auto size = BlockBytes(count, sizeof(T));
    if (!size) return nullptr;
    void* block = cleared ? std::calloc(*size, 1) : std::malloc(*size);
    MapPagesAhead(block, *size);
    return std::unique_ptr<T[], FreeDeleter>(static_cast<T*>(block));
}

// As TryAllocate (uncleared) through AllocateMapped.
template <typename T>
std::unique_ptr<T[], FreeDeleter> TryAllocateHeld(std::uint64_t count) {
    const auto size = BlockBytes(count, sizeof(T));
    if (!size) return nullptr;
    return std::unique_ptr<T[], FreeDeleter>(static_cast<T*>(AllocateMapped(*size)));
}

// Planes, bands and their scratch rows.
inline SampleBuffer TryAllocateSamples(std::uint64_t count) {
    return TryAllocateHeld<std::int32_t>(count);
}
