// Refusing images that do not fit in memory before allocating them: Linux overcommits, so a
// huge allocation rarely fails at once; the kernel ends the program later instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Allocations up to this size are made without asking.
inline constexpr std::uint64_t kUncheckedAllocationBytes = std::uint64_t{256} << 20;

// "MemAvailable" of /proc/meminfo in bytes, from the file's text.
std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo);
// The same from the running system; nothing where the file cannot be read.
std::optional<std::uint64_t> MemAvailable();

// True when `bytes` may be allocated: small amounts always, larger ones when the memory available
// holds them (or when it is unknown).
bool AllocationFits(std::uint64_t bytes, std::optional<std::uint64_t> available);

// Bytes an image of this size and mode holds in a document: the display image plus the pixel map
// for modes a display image cannot hold.
std::uint64_t DocumentImageBytes(std::uint32_t width, std::uint32_t height, std::uint32_t mode);

// Throws ImageFileError("Image creation failed.") when `bytes` do not fit.
void EnsureMemoryFor(std::uint64_t bytes);
