#include "memory_budget.h"

#include "display_image.h"
#include "mode_layout.h"
#include "raster_image.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo) {
    constexpr std::string_view key = "MemAvailable:";
    const auto at = meminfo.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = meminfo.substr(at + key.size());
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    std::uint64_t kibibytes = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), kibibytes);
    if (error != std::errc() || end == rest.data()) return std::nullopt;
    return kibibytes * 1024;
}

std::optional<std::uint64_t> MemAvailable() {
    std::ifstream file("/proc/meminfo");
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return ParseMemAvailable(text.str());
}

bool AllocationFits(std::uint64_t bytes, std::optional<std::uint64_t> available) {
    return bytes <= kUncheckedAllocationBytes || !available || bytes <= *available;
}

std::uint64_t DocumentImageBytes(std::uint32_t width, std::uint32_t height, std::uint32_t mode) {
    const auto rowBytes = [width](std::uint32_t bitsPerPixel) {
        return (std::uint64_t{width} * bitsPerPixel + 31) / 32 * 4;
    };
    const ImageMode displayMode = DisplayModeOf(mode);
    const std::uint32_t displayBits = displayMode == ModeBitmap                               ? 1
                                      : displayMode == ModeGray || displayMode == ModeIndexed ? 8
                                      : displayMode == ModeARGB                               ? 32
                                                                                              : 24;
    std::uint64_t bytes = rowBytes(displayBits) * height;
    if (!IsDisplayHeldMode(mode))
        if (const ModeLayout* layout = FindModeLayout(mode))
            bytes += rowBytes(layout->bitsPerPixel) * height;
    return bytes;
}

void EnsureMemoryFor(std::uint64_t bytes) {
    if (!AllocationFits(bytes, MemAvailable())) throw ImageFileError(kImageCreationFailed);
}
