#include "color_table.h"

#include "pixmap_copy.h"
#include "qvt_error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <tuple>

namespace {

constexpr std::size_t kTableBytes = 256 * 4;

// Entries whose lightness lies in 51 ... 199 sort by hue, lightness, saturation; the others by
// lightness first. Since lightness alone separates the dark ones (below every middle entry) from
// the light ones (above), this is a strict weak order: dark, middle, light.
bool SortsBefore(const Hsl& a, const Hsl& b) {
    const auto middle = [](const Hsl& c) { return c.lightness >= 51 && c.lightness <= 199; };
    if (middle(a) && middle(b))
        return std::tie(a.hue, a.lightness, a.saturation) <
               std::tie(b.hue, b.lightness, b.saturation);
    return std::tie(a.lightness, a.hue, a.saturation) < std::tie(b.lightness, b.hue, b.saturation);
}

// For every index of `from`, the entry of `to` nearest to its color, searched from that index.
std::array<std::uint8_t, 256> NearestIndices(const std::uint8_t* from, const std::uint8_t* to) {
    std::array<std::uint8_t, 256> nearest{};
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t* entry = from + i * 4;
        nearest[static_cast<std::size_t>(i)] =
            FindNearestInTable(to, entry[2], entry[1], entry[0], static_cast<std::uint8_t>(i))
                .index;
    }
    return nearest;
}

} // namespace

Hsl HslOf(int red, int green, int blue) {
    const int high = std::max({red, green, blue}), low = std::min({red, green, blue});
    const int lightness = (high + low) / 2;
    if (high == low) return {0, 0, std::min(lightness, 255)};
    const int d = high - low;
    const int saturation = lightness < 128 ? d * 256 / (high + low) : d * 256 / (512 - high - low);
    const int r = ((high - red) * 60 + 180 * d) / d;
    const int g = ((high - green) * 60 + 180 * d) / d;
    const int b = ((high - blue) * 60 + 180 * d) / d;
    int hue = red == high ? b - g : green == high ? r - b + 120 : g - r + 240;
    if (hue < 0) hue += 360;
    if (hue > 359) hue -= 360;
    return {hue, std::min(saturation, 255), std::min(lightness, 255)};
}

NearestColor FindNearestInTable(const std::uint8_t* table, int red, int green, int blue,
                                std::uint8_t start) {
    if (!table) return {255, 0x7FFFFFFF};
    NearestColor best{start, 0xFFFFFFFF};
    for (int step = 0; step < 256; ++step) {
        const auto index = static_cast<std::uint8_t>(start + step);
        const std::uint8_t* entry = table + index * 4;
        const int db = blue - entry[0], dg = green - entry[1], dr = red - entry[2];
        const auto distance = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
        if (distance < best.distance) {
            best = {index, distance};
            if (distance == 0) break;
        }
    }
    return best;
}

NearestColor FindNearestColor(const CPixMap& indexed, int red, int green, int blue,
                              std::uint8_t start) {
    return FindNearestInTable(indexed.GetColorTable(), red, green, blue, start);
}

void SortColorTable(CPixMap& indexed) {
    std::uint8_t* table = indexed.GetColorTable();
    if (!table) return;
    std::array<Hsl, 256> keys{};
    std::array<int, 256> order{};
    for (std::size_t i = 0; i < 256; ++i)
        keys[i] = HslOf(table[i * 4 + 2], table[i * 4 + 1], table[i * 4]);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&keys](int a, int b) {
        return SortsBefore(keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
    });

    std::array<std::uint8_t, kTableBytes> sorted{};
    std::array<std::uint8_t, 256> newPosition{};
    for (std::size_t position = 0; position < 256; ++position) {
        const auto old = static_cast<std::size_t>(order[position]);
        std::memcpy(sorted.data() + position * 4, table + old * 4, 4);
        newPosition[old] = static_cast<std::uint8_t>(position);
    }
    std::memcpy(table, sorted.data(), kTableBytes);
    for (std::uint32_t y = 0; y < indexed.Height(); ++y) {
        std::uint8_t* row = indexed.Row(y);
        for (std::uint32_t x = 0; x < indexed.Width(); ++x)
            row[x] = newPosition[row[x]];
    }
}

std::uint8_t* CPMIndexed::AllocColorTable() {
    if (!colorTable_) {
        colorTable_ = TryAllocate<std::uint8_t>(kTableBytes);
        if (!colorTable_) ThrowCodecError(ErrorOutOfMemory);
        std::memset(colorTable_.get(), 0, kTableBytes);
    }
    return colorTable_.get();
}

void CPMIndexed::CopyRect(const PixRect& sourceRect, CPixMap& destination,
                          const PixRect& destinationRect) const {
    if (destination.GetMode() != ModeIndexed || destination.GetBits() == GetBits()) return;
    const auto clip = ClipRects(*this, sourceRect, destination, destinationRect);
    if (!clip) return;
    const std::uint8_t* sourceTable = GetColorTable();

    // The whole destination, or one without colors yet: it takes the source table as it is. A
    // source without a table (a fresh, background-filled map) gives its indices only.
    if (destinationRect == destination.Rect() || !destination.GetColorTable()) {
        if (sourceTable) std::memcpy(destination.AllocColorTable(), sourceTable, kTableBytes);
        CopyPixels(*this, clip->source, destination, clip->destination);
        return;
    }
    if (!sourceTable) return;

    std::uint8_t* destinationTable = destination.GetColorTable();
    const PixRect& area = clip->destination;
    const std::uint64_t covered = area.Area();
    const std::uint64_t rest = destination.Rect().Area() - covered;
    if (rest <= covered) {
        // The copy covers most of the map: its table wins and the rest is re-mapped into it.
        const auto remap = NearestIndices(destinationTable, sourceTable);
        std::memcpy(destinationTable, sourceTable, kTableBytes);
        for (std::uint32_t y = 0; y < destination.Height(); ++y) {
            std::uint8_t* row = destination.Row(y);
            const bool rowInside = y >= area.top && y < area.bottom;
            for (std::uint32_t x = 0; x < destination.Width(); ++x)
                if (!rowInside || x < area.left || x >= area.right) row[x] = remap[row[x]];
        }
        CopyPixels(*this, clip->source, destination, area);
        return;
    }
    // A small copy: the destination keeps its table and the copied pixels are matched to it.
    const auto remap = NearestIndices(sourceTable, destinationTable);
    for (std::uint32_t y = 0; y < area.Height(); ++y) {
        const std::uint8_t* from = Row(clip->source.top + y) + clip->source.left;
        std::uint8_t* to = destination.Row(area.top + y) + area.left;
        for (std::uint32_t x = 0; x < area.Width(); ++x)
            to[x] = remap[from[x]];
    }
}
