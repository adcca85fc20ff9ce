// StretchRect of every class: bilinear weights that run linearly over the whole destination row
// and column, MulDiv rounding, clamping to the channel range. Per call the class picks a sample
// accessor and the arithmetic width; the loops below are the same for every mode.
#include "color_table.h"
#include "mode_conversion.h"
#include "mul_div.h"
#include "pix_map.h"
#include "pixel_access.h"
#include "pixmap_copy.h"
#include "pixmap_factory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int kMaxChannels = 4;
using Samples = std::array<std::int64_t, kMaxChannels>;

// N samples of T per pixel, at most `Maximum`. Gray32 stops at its 30-bit maximum: two rounded
// halves can together pass it by one, which would no longer be a valid value.
template <typename T, int N, std::int64_t Maximum = std::numeric_limits<T>::max()>
struct PlainSamples {
    static constexpr int kChannels = N;
    std::int64_t Max(int) const { return Maximum; }
    void Load(const std::uint8_t* row, std::uint64_t x, Samples& out) const {
        for (int c = 0; c < N; ++c)
            out[c] = LoadChannel<T, N>(row, x, c);
    }
    void Store(std::uint8_t* row, std::uint64_t x, const Samples& in) const {
        for (int c = 0; c < N; ++c)
            StoreChannel<T, N>(row, x, c, static_cast<T>(in[c]));
    }
};

// The 5-6-5 fields of RGB16, each interpolated in place.
struct Rgb16Fields {
    static constexpr int kChannels = 3;
    std::int64_t Max(int c) const { return c == 1 ? 63 : 31; }
    void Load(const std::uint8_t* row, std::uint64_t x, Samples& out) const {
        const unsigned word = LoadSample<std::uint16_t>(row + x * 2);
        out[0] = word & 0x1F;
        out[1] = (word >> 5) & 0x3F;
        out[2] = word >> 11;
    }
    void Store(std::uint8_t* row, std::uint64_t x, const Samples& in) const {
        StoreSample<std::uint16_t>(row + x * 2,
                                   static_cast<std::uint16_t>(in[2] << 11 | in[1] << 5 | in[0]));
    }
};

// The nibbles of RGB12.
struct Rgb12Nibbles {
    static constexpr int kChannels = 3;
    std::int64_t Max(int) const { return 15; }
    void Load(const std::uint8_t* row, std::uint64_t x, Samples& out) const {
        for (int c = 0; c < 3; ++c)
            out[c] = GetNibble(row, x * 3 + static_cast<unsigned>(c));
    }
    void Store(std::uint8_t* row, std::uint64_t x, const Samples& in) const {
        for (int c = 0; c < 3; ++c)
            SetNibble(row, x * 3 + static_cast<unsigned>(c), static_cast<unsigned>(in[c]));
    }
};

// Indexed pixels interpolate the blue, green, red of their table entries and are stored as the
// entry nearest to the result, searched from index 0.
struct TableColors {
    static constexpr int kChannels = 3;
    const std::uint8_t* sourceTable;
    const std::uint8_t* destinationTable;
    std::int64_t Max(int) const { return 255; }
    void Load(const std::uint8_t* row, std::uint64_t x, Samples& out) const {
        for (int c = 0; c < 3; ++c)
            out[c] = sourceTable[row[x] * 4 + c];
    }
    void Store(std::uint8_t* row, std::uint64_t x, const Samples& in) const {
        row[x] = FindNearestInTable(destinationTable, static_cast<int>(in[2]),
                                    static_cast<int>(in[1]), static_cast<int>(in[0]), 0)
                     .index;
    }
};

// Where a stretch reads and writes: the source area in source buffer coordinates, the size of
// the whole destination rectangle (which sets the weights), and its part inside the destination
// map (`first`: rectangle-relative index of the first visible column and row; `at`: the buffer
// position of that pixel).
struct StretchGeometry {
    PixRect source;
    std::uint64_t dw, dh;
    std::uint64_t firstX, firstY, visibleW, visibleH;
    std::uint32_t atX, atY;
};

std::optional<StretchGeometry> PlanStretch(const CPixMap& source, const PixRect& sourceRect,
                                           const CPixMap& destination,
                                           const PixRect& destinationRect) {
    const auto inSource = Intersect(sourceRect, source.Rect());
    const auto visible = Intersect(destinationRect, destination.Rect());
    if (!inSource || !visible || source.GetBits() == destination.GetBits()) return std::nullopt;
    const PixRect& s = source.Rect();
    const PixRect& d = destination.Rect();
    return StretchGeometry{{inSource->left - s.left, inSource->top - s.top,
                            inSource->right - s.left, inSource->bottom - s.top},
                           destinationRect.Width(),
                           destinationRect.Height(),
                           visible->left - destinationRect.left,
                           visible->top - destinationRect.top,
                           visible->Width(),
                           visible->Height(),
                           visible->left - d.left,
                           visible->top - d.top};
}

// Weighted sums of one channel; `Wide` forms them in 128 bits when 64 could overflow.
template <bool Wide>
std::int64_t Blend(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, std::int64_t fx,
                   std::int64_t fy, std::int64_t dw, std::int64_t dh) {
    if constexpr (Wide) {
        const Int128 area = Int128{dw} * dh;
        const auto top = Int128{fx} * b + Int128{dw - fx} * a;
        const auto bottom = Int128{fx} * d + Int128{dw - fx} * c;
        const auto round = [area](Int128 sum, Int128 weight) {
            return (2 * sum * weight + area) / (2 * area);
        };
        return static_cast<std::int64_t>(round(top, dh - fy) + round(bottom, fy));
    } else {
        const std::int64_t area = dw * dh;
        return MulDivNonNegative(fx * b + (dw - fx) * a, dh - fy, area) +
               MulDivNonNegative(fx * d + (dw - fx) * c, fy, area);
    }
}

template <bool Wide, typename Access>
void StretchRows(const CPixMap& source, CPixMap& destination, const StretchGeometry& g,
                 const Access& access) {
    const std::uint64_t sw = g.source.Width(), sh = g.source.Height();
    const auto dw = static_cast<std::int64_t>(g.dw), dh = static_cast<std::int64_t>(g.dh);
    // Column positions and weights, once per call.
    std::vector<std::uint64_t> columnA(g.visibleW), columnB(g.visibleW);
    std::vector<std::int64_t> weightX(g.visibleW);
    for (std::uint64_t i = 0; i < g.visibleW; ++i) {
        const std::uint64_t x = g.firstX + i;
        const std::uint64_t sx = (sw - 1) * x / g.dw;
        columnA[i] = g.source.left + sx;
        columnB[i] = sw > 1 ? columnA[i] + 1 : columnA[i];
        weightX[i] = g.dw == 1 ? 0 : static_cast<std::int64_t>(x * g.dw / (g.dw - 1));
    }
    Samples a{}, b{}, c{}, d{}, out{};
    for (std::uint64_t j = 0; j < g.visibleH; ++j) {
        const std::uint64_t y = g.firstY + j;
        const std::uint64_t sy = (sh - 1) * y / g.dh;
        const auto fy = g.dh == 1 ? 0 : static_cast<std::int64_t>(y * g.dh / (g.dh - 1));
        const std::uint8_t* rowTop = source.Row(static_cast<std::uint32_t>(g.source.top + sy));
        const std::uint8_t* rowBottom =
            sh > 1 ? source.Row(static_cast<std::uint32_t>(g.source.top + sy + 1)) : rowTop;
        std::uint8_t* target = destination.Row(static_cast<std::uint32_t>(g.atY + j));
        for (std::uint64_t i = 0; i < g.visibleW; ++i) {
            access.Load(rowTop, columnA[i], a);
            access.Load(rowTop, columnB[i], b);
            access.Load(rowBottom, columnA[i], c);
            access.Load(rowBottom, columnB[i], d);
            for (int ch = 0; ch < Access::kChannels; ++ch)
                out[ch] = std::clamp<std::int64_t>(
                    Blend<Wide>(a[ch], b[ch], c[ch], d[ch], weightX[i], fy, dw, dh), 0,
                    access.Max(ch));
            access.Store(target, g.atX + i, out);
        }
    }
}

// Resamples with 64-bit sums when 2 × dw × dh × max + dw × dh fits in 63 bits, else 128-bit.
template <typename Access>
void Stretch(const CPixMap& source, CPixMap& destination, const StretchGeometry& g,
             const Access& access) {
    std::int64_t max = 0;
    for (int c = 0; c < Access::kChannels; ++c)
        max = std::max(max, access.Max(c));
    const Int128 area = Int128{static_cast<std::int64_t>(g.dw)} * static_cast<std::int64_t>(g.dh);
    const bool fits = area * (2 * Int128{max} + 1) < (Int128{1} << 62);
    if (fits)
        StretchRows<false>(source, destination, g, access);
    else
        StretchRows<true>(source, destination, g, access);
}

bool SameSize(const PixRect& a, const PixRect& b) {
    return a.Width() == b.Width() && a.Height() == b.Height();
}

// The common start of every StretchRect: equal sizes copy, another mode or nothing to do
// returns nothing.
std::optional<StretchGeometry> Prepare(const CPixMap& source, const PixRect& sourceRect,
                                       CPixMap& destination, const PixRect& destinationRect) {
    if (destination.GetMode() != source.GetMode()) return std::nullopt;
    if (SameSize(sourceRect, destinationRect)) {
        source.CopyRect(sourceRect, destination, destinationRect);
        return std::nullopt;
    }
    return PlanStretch(source, sourceRect, destination, destinationRect);
}

} // namespace

void CPixMap8::StretchRect(const PixRect& sourceRect, CPixMap& destination,
                           const PixRect& destinationRect) const {
    const auto g = Prepare(*this, sourceRect, destination, destinationRect);
    if (!g) return;
    switch (BitsPerPixel()) {
    case 8:
        return Stretch(*this, destination, *g, PlainSamples<std::uint8_t, 1>{});
    case 24:
        return Stretch(*this, destination, *g, PlainSamples<std::uint8_t, 3>{});
    default:
        return Stretch(*this, destination, *g, PlainSamples<std::uint8_t, 4>{});
    }
}

void CPixMap16::StretchRect(const PixRect& sourceRect, CPixMap& destination,
                            const PixRect& destinationRect) const {
    const auto g = Prepare(*this, sourceRect, destination, destinationRect);
    if (!g) return;
    switch (BitsPerPixel()) {
    case 16:
        return Stretch(*this, destination, *g, PlainSamples<std::uint16_t, 1>{});
    case 48:
        return Stretch(*this, destination, *g, PlainSamples<std::uint16_t, 3>{});
    default:
        return Stretch(*this, destination, *g, PlainSamples<std::uint16_t, 4>{});
    }
}

void CPMGray32::StretchRect(const PixRect& sourceRect, CPixMap& destination,
                            const PixRect& destinationRect) const {
    if (const auto g = Prepare(*this, sourceRect, destination, destinationRect))
        Stretch(*this, destination, *g, PlainSamples<std::uint32_t, 1, 0x3FFFFFFF>{});
}

void CPMColorRGB16::StretchRect(const PixRect& sourceRect, CPixMap& destination,
                                const PixRect& destinationRect) const {
    if (const auto g = Prepare(*this, sourceRect, destination, destinationRect))
        Stretch(*this, destination, *g, Rgb16Fields{});
}

void CPMColorRGB12::StretchRect(const PixRect& sourceRect, CPixMap& destination,
                                const PixRect& destinationRect) const {
    if (const auto g = Prepare(*this, sourceRect, destination, destinationRect))
        Stretch(*this, destination, *g, Rgb12Nibbles{});
}

// A source without colors has nothing to interpolate, so it leaves the destination alone.
void CPMIndexed::StretchRect(const PixRect& sourceRect, CPixMap& destination,
                             const PixRect& destinationRect) const {
    const auto g = Prepare(*this, sourceRect, destination, destinationRect);
    if (!g || !GetColorTable()) return;
    std::uint8_t* table = destination.AllocColorTable();
    std::memcpy(table, GetColorTable(), 256 * 4);
    Stretch(*this, destination, *g, TableColors{GetColorTable(), table});
}

// Bitmaps are resampled as Gray and dithered back.
void CPMBitmap::StretchRect(const PixRect& sourceRect, CPixMap& destination,
                            const PixRect& destinationRect) const {
    const auto g = Prepare(*this, sourceRect, destination, destinationRect);
    if (!g) return;
    const PixRect area{0, 0, g->source.Width(), g->source.Height()};
    std::unique_ptr<CPixMap> part;
    const CPixMap* bitmap = this;
    if (!(area == PixRect{0, 0, Width(), Height()})) {
        part = CreatePixMap(area, ModeBitmap);
        CopyPixels(*this, g->source, *part, area);
        bitmap = part.get();
    }
    const auto gray = CreatePixMap(area, ModeGray);
    bitmap->ConvertTo(*gray);

    const PixRect stretchedRect{0, 0, static_cast<std::uint32_t>(g->dw),
                                static_cast<std::uint32_t>(g->dh)};
    const auto stretched = CreatePixMap(stretchedRect, ModeGray);
    gray->StretchRect(area, *stretched, stretchedRect);
    if (destinationRect == destination.Rect()) return DiffuseGrayToBitmap(*stretched, destination);
    const auto dithered = CreatePixMap(stretchedRect, ModeBitmap);
    DiffuseGrayToBitmap(*stretched, *dithered);
    dithered->CopyRect(stretchedRect, destination, destinationRect);
}
