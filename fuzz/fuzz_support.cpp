#include "fuzz_support.h"

#include "mode_layout.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

std::string ScratchPath(const std::string& suffix) {
    return "/tmp/pictor-fuzz-" + std::to_string(getpid()) + suffix;
}

std::string WriteInputFile(const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchPath(".input");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Require(file.good(), "the input could not be written to a file");
    return path;
}

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "Invariant failed: %s\n", what);
    std::abort();
}

std::vector<PixRect> ProbeRegions(std::uint32_t width, std::uint32_t height, std::uint32_t side) {
    if (width == 0 || height == 0) return {};
    const std::uint32_t w = std::min(width, side);
    const std::uint32_t h = std::min(height, side);
    const std::uint32_t centreLeft = (width - w) / 2;
    const std::uint32_t centreTop = (height - h) / 2;
    return {PixRect{0, 0, w, h}, PixRect{centreLeft, centreTop, centreLeft + w, centreTop + h},
            PixRect{width - w, height - h, width, height}};
}

namespace {

void FillPattern(CPixMap& map, std::uint64_t rowBytes, int seed) {
    for (std::uint32_t y = 0; y < map.Height(); ++y)
        for (std::uint64_t x = 0; x < rowBytes; ++x)
            map.Row(y)[x] = static_cast<std::uint8_t>((x * 7 + y * 13 + seed) ^ (x / 5));
}

} // namespace

std::unique_ptr<CPixMap> PatternPixMap(const PixRect& rect, std::uint32_t mode, int seed) {
    const ModeLayout* layout = FindModeLayout(mode);
    if (!layout) return nullptr;
    std::unique_ptr<CPixMap> rgb = CreatePixMap(rect, ModeRGB);
    FillPattern(*rgb, RowBytes(24, rect.Width()), seed);
    if (mode == ModeRGB) return rgb;
    auto map = CreatePixMap(rect, mode);
    if (rgb->CanConvertTo(static_cast<ImageMode>(mode))) {
        rgb->ConvertTo(*map);
        return map;
    }
    // Modes without a conversion from RGB take the pattern as raw samples; 30-bit gray words
    // keep their two top bits clear.
    FillPattern(*map, RowBytes(layout->bitsPerPixel, rect.Width()), seed);
    if (mode == ModeGray32)
        for (std::uint32_t y = 0; y < map->Height(); ++y)
            for (std::uint32_t x = 0; x < map->Width(); ++x)
                map->Row(y)[4 * x + 3] &= 0x3F;
    return map;
}

bool SamePixels(const CPixMap& a, const CPixMap& b) {
    if (a.GetMode() != b.GetMode() || a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    if (a.Width() == 0 || a.Height() == 0) return true;
    return a.EqualRect(a.Rect(), b, b.Rect());
}
