#include "pixmap_copy.h"

#include "pixel_access.h"

#include <cstring>

std::optional<ClippedRects> ClipRects(const CPixMap& source, const PixRect& sourceRect,
                                      const CPixMap& destination, const PixRect& destinationRect) {
    const auto a = Intersect(sourceRect, source.Rect());
    const auto b = Intersect(destinationRect, destination.Rect());
    if (!a || !b) return std::nullopt;
    const PixRect aRelative{a->left - sourceRect.left, a->top - sourceRect.top,
                            a->right - sourceRect.left, a->bottom - sourceRect.top};
    const PixRect bRelative{b->left - destinationRect.left, b->top - destinationRect.top,
                            b->right - destinationRect.left, b->bottom - destinationRect.top};
    const auto c = Intersect(aRelative, bRelative);
    if (!c) return std::nullopt;
    // The sums wrap modulo 2^32 on the way, but every result lies inside its map.
    const auto move = [&c](std::uint32_t dx, std::uint32_t dy) {
        return PixRect{c->left + dx, c->top + dy, c->right + dx, c->bottom + dy};
    };
    return ClippedRects{
        move(sourceRect.left - source.Rect().left, sourceRect.top - source.Rect().top),
        move(destinationRect.left - destination.Rect().left,
             destinationRect.top - destination.Rect().top)};
}

namespace {

struct UnitSpan {
    std::uint64_t first; // unit index of the first pixel
    std::uint64_t count; // units of the whole span
};

UnitSpan UnitsOf(const ModeLayout& layout, std::uint32_t left, std::uint32_t width) {
    const std::uint64_t perPixel = layout.bitsPerPixel / layout.unitBits;
    return {std::uint64_t{left} * perPixel, std::uint64_t{width} * perPixel};
}

} // namespace

void CopyPixels(const CPixMap& source, const PixRect& sourceArea, CPixMap& destination,
                const PixRect& destinationArea) {
    const ModeLayout& layout = source.Layout();
    const UnitSpan from = UnitsOf(layout, sourceArea.left, sourceArea.Width());
    const UnitSpan to = UnitsOf(layout, destinationArea.left, destinationArea.Width());
    for (std::uint32_t y = 0; y < sourceArea.Height(); ++y) {
        const std::uint8_t* sourceRow = source.Row(sourceArea.top + y);
        std::uint8_t* destinationRow = destination.Row(destinationArea.top + y);
        if (layout.unitBits == 8) {
            std::memmove(destinationRow + to.first, sourceRow + from.first, from.count);
            continue;
        }
        for (std::uint64_t i = 0; i < from.count; ++i)
            SetUnit(destinationRow, to.first + i, layout.unitBits,
                    GetUnit(sourceRow, from.first + i, layout.unitBits));
    }
}

void CPixMap::CopyRect(const PixRect& sourceRect, CPixMap& destination,
                       const PixRect& destinationRect) const {
    if (destination.GetMode() != GetMode() || destination.GetBits() == GetBits()) return;
    if (const auto clip = ClipRects(*this, sourceRect, destination, destinationRect))
        CopyPixels(*this, clip->source, destination, clip->destination);
}

bool CPixMap::EqualRect(const PixRect& sourceRect, const CPixMap& other,
                        const PixRect& otherRect) const {
    if (other.GetMode() != GetMode()) return false;
    const auto clip = ClipRects(*this, sourceRect, other, otherRect);
    if (!clip) return false;
    const UnitSpan mine = UnitsOf(Layout(), clip->source.left, clip->source.Width());
    const UnitSpan theirs = UnitsOf(Layout(), clip->destination.left, 0);
    const unsigned unitBits = Layout().unitBits;
    for (std::uint32_t y = 0; y < clip->source.Height(); ++y) {
        const std::uint8_t* row = Row(clip->source.top + y);
        const std::uint8_t* otherRow = other.Row(clip->destination.top + y);
        if (unitBits == 8) {
            if (std::memcmp(row + mine.first, otherRow + theirs.first, mine.count) != 0)
                return false;
            continue;
        }
        for (std::uint64_t i = 0; i < mine.count; ++i)
            if (GetUnit(row, mine.first + i, unitBits) !=
                GetUnit(otherRow, theirs.first + i, unitBits))
                return false;
    }
    return true;
}

namespace {

// The rectangle in buffer coordinates, or nothing when it misses the map.
std::optional<PixRect> AreaInMap(const CPixMap& map, const PixRect& rect) {
    const auto inside = Intersect(rect, map.Rect());
    if (!inside) return std::nullopt;
    const PixRect& origin = map.Rect();
    return PixRect{inside->left - origin.left, inside->top - origin.top,
                   inside->right - origin.left, inside->bottom - origin.top};
}

} // namespace

bool CPixMap::IsUniform(const PixRect& rect) const {
    const auto area = AreaInMap(*this, rect);
    if (!area) return false;
    const std::size_t pixelBytes = BitsPerPixel() / 8;
    for (std::uint32_t y = area->top; y < area->bottom; ++y) {
        const std::uint8_t* row = Row(y);
        for (std::uint64_t x = area->left; x < area->right; ++x)
            if (std::memcmp(row + x * pixelBytes, GetBackground(), pixelBytes) != 0) return false;
    }
    return true;
}

bool CPMBitmap::IsUniform(const PixRect& rect) const {
    const auto area = AreaInMap(*this, rect);
    if (!area) return false;
    const unsigned background = *GetBackground();
    for (std::uint32_t y = area->top; y < area->bottom; ++y) {
        const std::uint8_t* row = Row(y);
        for (std::uint64_t x = area->left; x < area->right; ++x)
            if (GetBit(row, x) != ((background >> (7 - (x & 7))) & 1u)) return false;
    }
    return true;
}

bool CPMColorRGB12::IsUniform(const PixRect& rect) const {
    const auto area = AreaInMap(*this, rect);
    if (!area) return false;
    const unsigned word = LoadSample<std::uint16_t>(GetBackground());
    const unsigned blue = word & 0xF, green = (word >> 4) & 0xF, red = (word >> 8) & 0xF;
    for (std::uint32_t y = area->top; y < area->bottom; ++y) {
        const std::uint8_t* row = Row(y);
        for (std::uint64_t x = area->left; x < area->right; ++x)
            if (GetNibble(row, 3 * x) != blue || GetNibble(row, 3 * x + 1) != green ||
                GetNibble(row, 3 * x + 2) != red)
                return false;
    }
    return true;
}
