// Conversions into Indexed maps. Every pixel of one source color maps to the same index, so the
// nearest-color search runs once per distinct color (memoised), with the same result as a search
// per pixel.
#include "color_formulas.h"
#include "color_table.h"
#include "mode_conversion.h"
#include "pixel_access.h"
#include "pixmap_factory.h"

#include <algorithm>
#include <array>
#include <random>
#include <vector>

namespace {

// Index of a color key, searched on first use from index 0.
class NearestIndexCache {
public:
    NearestIndexCache(const std::uint8_t* table, std::size_t keys)
        : table_(table), indices_(keys, kUnknown) {}

    std::uint8_t Find(std::size_t key, int red, int green, int blue) {
        if (indices_[key] == kUnknown)
            indices_[key] = FindNearestInTable(table_, red, green, blue, 0).index;
        return static_cast<std::uint8_t>(indices_[key]);
    }

private:
    static constexpr std::int16_t kUnknown = -1;
    const std::uint8_t* table_;
    std::vector<std::int16_t> indices_;
};

} // namespace

void ConvertRgb16ToIndexed(const CPixMap& source, CPixMap& indexed) {
    const std::uint32_t width = source.Width(), height = source.Height();
    if (width == 0 || height == 0) return;
    std::uint8_t* table = indexed.AllocColorTable();
    std::mt19937 random(width * height);
    for (int entry = 0; entry < 256; ++entry) {
        const std::uint32_t x = random() % width;
        const std::uint32_t y = random() % height;
        const auto bgr = Rgb16ToBgr(LoadSample<std::uint16_t>(source.Row(y) + x * 2));
        std::copy(bgr.begin(), bgr.end(), table + entry * 4);
    }
    NearestIndexCache cache(table, 65536);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* from = source.Row(y);
        std::uint8_t* to = indexed.Row(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint16_t word = LoadSample<std::uint16_t>(from + x * 2);
            const auto bgr = Rgb16ToBgr(word);
            to[x] = cache.Find(word, bgr[2], bgr[1], bgr[0]);
        }
    }
}

void ConvertRgb12ToIndexed(const CPixMap& source, CPixMap& indexed) {
    const std::uint32_t width = source.Width(), height = source.Height();
    const auto colorAt = [&source](std::uint32_t x, std::uint32_t y) {
        const std::uint8_t* row = source.Row(y);
        const std::uint64_t i = std::uint64_t{x} * 3;
        return GetNibble(row, i) | GetNibble(row, i + 1) << 4 | GetNibble(row, i + 2) << 8;
    };
    // Bins sorted by count, largest first; equal counts keep the lower color first.
    std::vector<std::uint64_t> counts(4096, 0);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            ++counts[colorAt(x, y)];
    std::vector<unsigned> bins(4096);
    for (unsigned color = 0; color < 4096; ++color)
        bins[color] = color;
    std::stable_sort(bins.begin(), bins.end(),
                     [&counts](unsigned a, unsigned b) { return counts[a] > counts[b]; });

    std::uint8_t* table = indexed.AllocColorTable();
    for (std::size_t entry = 0; entry < 256; ++entry) {
        const unsigned color = bins[entry];
        const std::uint8_t bgr0[4] = {static_cast<std::uint8_t>((color & 0xF) * 16),
                                      static_cast<std::uint8_t>((color >> 4 & 0xF) * 16),
                                      static_cast<std::uint8_t>((color >> 8) * 16), 0};
        std::copy(bgr0, bgr0 + 4, table + entry * 4);
    }
    NearestIndexCache cache(table, 4096);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* to = indexed.Row(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned color = colorAt(x, y);
            to[x] = cache.Find(color, static_cast<int>(color >> 8) * 16,
                               static_cast<int>(color >> 4 & 0xF) * 16,
                               static_cast<int>(color & 0xF) * 16);
        }
    }
}

void ConvertRgbToIndexed(const CPixMap& source, CPixMap& indexed) {
    const auto rgb16 = CreatePixMap(source.Rect(), ModeRGB16);
    source.ConvertTo(*rgb16);
    ConvertRgb16ToIndexed(*rgb16, indexed);
}
