#include "conversion_rows.h"

#include "color_formulas.h"
#include "pixel_access.h"

#include <algorithm>
#include <array>

namespace {

template <typename T, int N>
using Pixel = std::array<T, N>;

using U8 = std::uint8_t;
using U16 = std::uint16_t;
using U32 = std::uint32_t;

// Runs `Convert` over a row of pixels of N samples of In, giving M samples of Out each.
template <typename In, int N, typename Out, int M, Pixel<Out, M> (*Convert)(const Pixel<In, N>&)>
void MapRow(const U8* source, U8* destination, U32 width, const U8*) {
    for (U32 x = 0; x < width; ++x) {
        Pixel<In, N> in;
        for (int c = 0; c < N; ++c)
            in[c] = LoadChannel<In, N>(source, x, c);
        const Pixel<Out, M> out = Convert(in);
        for (int c = 0; c < M; ++c)
            StoreChannel<Out, M>(destination, x, c, out[c]);
    }
}

template <typename T>
constexpr U8 U8Of(T v) {
    return static_cast<U8>(v);
}

// Targets with alpha receive the blue, green, red of the RGB target and alpha 255.
template <typename In, int N, Pixel<U8, 3> (*ToBgr)(const Pixel<In, N>&)>
Pixel<U8, 4> WithAlpha(const Pixel<In, N>& in) {
    const Pixel<U8, 3> bgr = ToBgr(in);
    return {bgr[0], bgr[1], bgr[2], 255};
}

template <typename In, int N, Pixel<U8, 3> (*ToBgr)(const Pixel<In, N>&)>
constexpr RowConverter kToRgb = MapRow<In, N, U8, 3, ToBgr>;
template <typename In, int N, Pixel<U8, 3> (*ToBgr)(const Pixel<In, N>&)>
constexpr RowConverter kToArgb = MapRow<In, N, U8, 4, WithAlpha<In, N, ToBgr>>;

// ---- per-pixel functions, channels in memory order ----

Pixel<U8, 3> GrayToBgr(const Pixel<U8, 1>& p) { return {p[0], p[0], p[0]}; }
Pixel<U16, 1> GrayToGray16(const Pixel<U8, 1>& p) { return {static_cast<U16>(p[0] * 256)}; }
Pixel<U32, 1> GrayToGray32(const Pixel<U8, 1>& p) { return {U32{p[0]} << 22}; }

Pixel<U8, 1> BgrToGray(const Pixel<U8, 3>& p) { return {U8Of(GrayOf(p[0], p[1], p[2]))}; }
Pixel<U8, 4> BgrToCmykPixel(const Pixel<U8, 3>& p) { return BgrToCmyk(p[0], p[1], p[2]); }
Pixel<U8, 3> BgrToLab(const Pixel<U8, 3>& p) {
    const double* linear = LinearTable8();
    const auto lab = LinearToLab(linear[p[2]], linear[p[1]], linear[p[0]], 255);
    return {U8Of(lab[0]), U8Of(lab[1]), U8Of(lab[2])};
}
Pixel<U16, 3> Widen3(const Pixel<U8, 3>& p) {
    return {static_cast<U16>(p[0] * 256), static_cast<U16>(p[1] * 256),
            static_cast<U16>(p[2] * 256)};
}
Pixel<U8, 3> BgrCopy(const Pixel<U8, 3>& p) { return p; }
Pixel<U16, 1> BgrToRgb16Pixel(const Pixel<U8, 3>& p) { return {BgrToRgb16(p[0], p[1], p[2])}; }

Pixel<U8, 3> CmykToBgrPixel(const Pixel<U8, 4>& p) { return CmykToBgr(p[0], p[1], p[2], p[3]); }
Pixel<U16, 4> CmykToCmyk64(const Pixel<U8, 4>& p) {
    return {static_cast<U16>(p[0] * 256), static_cast<U16>(p[1] * 256),
            static_cast<U16>(p[2] * 256), static_cast<U16>(p[3] * 256)};
}

Pixel<U8, 1> LabToGray(const Pixel<U8, 3>& p) { return {p[0]}; }
Pixel<U8, 3> LabToBgrPixel(const Pixel<U8, 3>& p) {
    const auto bgr = Lab8ToBgr8Fast(p[0], p[1], p[2]);
    return {U8Of(bgr[0]), U8Of(bgr[1]), U8Of(bgr[2])};
}

Pixel<U8, 1> Gray16ToGray(const Pixel<U16, 1>& p) { return {U8Of(p[0] >> 8)}; }
Pixel<U8, 3> Gray16ToBgr(const Pixel<U16, 1>& p) {
    const U8 v = U8Of(p[0] >> 8);
    return {v, v, v};
}
Pixel<U32, 1> Gray16ToGray32(const Pixel<U16, 1>& p) { return {U32{p[0]} << 14}; }

Pixel<U8, 3> HighBytes3(const Pixel<U16, 3>& p) {
    return {U8Of(p[0] >> 8), U8Of(p[1] >> 8), U8Of(p[2] >> 8)};
}
Pixel<U16, 1> Rgb48ToGray16(const Pixel<U16, 3>& p) {
    return {static_cast<U16>(GrayOf(p[0], p[1], p[2]))};
}
Pixel<U16, 3> Rgb48ToLab48(const Pixel<U16, 3>& p) {
    const double* linear = LinearTable16();
    const auto lab = LinearToLab(linear[p[2]], linear[p[1]], linear[p[0]], 65535);
    return {static_cast<U16>(lab[0]), static_cast<U16>(lab[1]), static_cast<U16>(lab[2])};
}
Pixel<U16, 4> Rgb48ToCmyk64(const Pixel<U16, 3>& p) { return Bgr48ToCmyk64(p[0], p[1], p[2]); }

Pixel<U8, 3> Lab48ToBgr(const Pixel<U16, 3>& p) {
    const auto bgr = LabToBgr(p[0], p[1], p[2], 65535, 255);
    return {U8Of(bgr[0]), U8Of(bgr[1]), U8Of(bgr[2])};
}
Pixel<U16, 3> Lab48ToRgb48(const Pixel<U16, 3>& p) {
    const auto bgr = LabToBgr(p[0], p[1], p[2], 65535, 65535);
    return {static_cast<U16>(bgr[0]), static_cast<U16>(bgr[1]), static_cast<U16>(bgr[2])};
}
Pixel<U16, 1> Lab48ToGray16(const Pixel<U16, 3>& p) { return {p[0]}; }

Pixel<U16, 3> Cmyk64ToRgb48(const Pixel<U16, 4>& p) {
    return Cmyk64ToBgr48(p[0], p[1], p[2], p[3]);
}
Pixel<U8, 3> Cmyk64ToBgr(const Pixel<U16, 4>& p) { return HighBytes3(Cmyk64ToRgb48(p)); }
Pixel<U8, 4> Cmyk64ToCmyk(const Pixel<U16, 4>& p) {
    return {U8Of(p[0] >> 8), U8Of(p[1] >> 8), U8Of(p[2] >> 8), U8Of(p[3] >> 8)};
}

Pixel<U8, 1> ArgbToGray(const Pixel<U8, 4>& p) { return {U8Of(GrayOf(p[0], p[1], p[2]))}; }
Pixel<U8, 3> ArgbToBgr(const Pixel<U8, 4>& p) { return {p[0], p[1], p[2]}; }

// Gray32 words above 30 bits are not valid values; they saturate instead of wrapping.
Pixel<U8, 1> Gray32ToGray(const Pixel<U32, 1>& p) { return {U8Of(std::min(p[0] >> 22, 255u))}; }
Pixel<U8, 3> Gray32ToBgr(const Pixel<U32, 1>& p) {
    const U8 v = Gray32ToGray(p)[0];
    return {v, v, v};
}
Pixel<U16, 1> Gray32ToGray16(const Pixel<U32, 1>& p) {
    return {static_cast<U16>(std::min(p[0] >> 14, 65535u))};
}

Pixel<U8, 3> Rgb16ToBgrPixel(const Pixel<U16, 1>& p) { return Rgb16ToBgr(p[0]); }

// ---- packed and table sources ----

// Bitmap: bit 1 (black) -> 0, bit 0 -> 255 in every channel; N channels, alpha 255 as fourth.
template <int N>
void BitmapRow(const U8* source, U8* destination, U32 width, const U8*) {
    for (U32 x = 0; x < width; ++x) {
        const U8 v = GetBit(source, x) ? 0 : 255;
        for (int c = 0; c < std::min(N, 3); ++c)
            destination[x * N + c] = v;
        if constexpr (N == 4) destination[x * N + 3] = 255;
    }
}

template <int N>
void IndexedRow(const U8* source, U8* destination, U32 width, const U8* table) {
    for (U32 x = 0; x < width; ++x) {
        const U8* entry = table + source[x] * 4;
        if constexpr (N == 1) {
            destination[x] = U8Of(GrayOf(entry[0], entry[1], entry[2]));
        } else {
            for (int c = 0; c < 3; ++c)
                destination[x * N + c] = entry[c];
            if constexpr (N == 4) destination[x * N + 3] = 255;
        }
    }
}

// RGB -> RGB12: each channel / 16 into its nibble.
void RgbToRgb12Row(const U8* source, U8* destination, U32 width, const U8*) {
    for (std::uint64_t i = 0; i < std::uint64_t{width} * 3; ++i)
        SetNibble(destination, i, source[i] / 16u);
}

// RGB12 -> RGB (N = 3) or ARGB (N = 4): each nibble × 16.
template <int N>
void Rgb12ToBgrRow(const U8* source, U8* destination, U32 width, const U8*) {
    for (U32 x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c)
            destination[x * N + c] = U8Of(GetNibble(source, std::uint64_t{x} * 3 + c) * 16);
        if constexpr (N == 4) destination[x * N + 3] = 255;
    }
}

void Rgb12ToRgb16Row(const U8* source, U8* destination, U32 width, const U8*) {
    for (U32 x = 0; x < width; ++x) {
        const std::uint64_t i = std::uint64_t{x} * 3;
        StoreSample<U16>(
            destination + x * 2,
            Rgb12ToRgb16(GetNibble(source, i), GetNibble(source, i + 1), GetNibble(source, i + 2)));
    }
}

struct RowConversion {
    ImageMode source;
    ImageMode target;
    RowConverter convert;
};

constexpr std::array kRowConversions = {
    RowConversion{ModeBitmap, ModeGray, BitmapRow<1>},
    RowConversion{ModeBitmap, ModeRGB, BitmapRow<3>},
    RowConversion{ModeBitmap, ModeARGB, BitmapRow<4>},
    RowConversion{ModeGray, ModeRGB, kToRgb<U8, 1, GrayToBgr>},
    RowConversion{ModeGray, ModeARGB, kToArgb<U8, 1, GrayToBgr>},
    RowConversion{ModeGray, ModeGray16, MapRow<U8, 1, U16, 1, GrayToGray16>},
    RowConversion{ModeGray, ModeGray32, MapRow<U8, 1, U32, 1, GrayToGray32>},
    RowConversion{ModeIndexed, ModeGray, IndexedRow<1>},
    RowConversion{ModeIndexed, ModeRGB, IndexedRow<3>},
    RowConversion{ModeIndexed, ModeARGB, IndexedRow<4>},
    RowConversion{ModeRGB, ModeGray, MapRow<U8, 3, U8, 1, BgrToGray>},
    RowConversion{ModeRGB, ModeCMYK, MapRow<U8, 3, U8, 4, BgrToCmykPixel>},
    RowConversion{ModeRGB, ModeLab, MapRow<U8, 3, U8, 3, BgrToLab>},
    RowConversion{ModeRGB, ModeRGB48, MapRow<U8, 3, U16, 3, Widen3>},
    RowConversion{ModeRGB, ModeARGB, kToArgb<U8, 3, BgrCopy>},
    RowConversion{ModeRGB, ModeRGB12, RgbToRgb12Row},
    RowConversion{ModeRGB, ModeRGB16, MapRow<U8, 3, U16, 1, BgrToRgb16Pixel>},
    RowConversion{ModeCMYK, ModeRGB, kToRgb<U8, 4, CmykToBgrPixel>},
    RowConversion{ModeCMYK, ModeARGB, kToArgb<U8, 4, CmykToBgrPixel>},
    RowConversion{ModeCMYK, ModeCMYK64, MapRow<U8, 4, U16, 4, CmykToCmyk64>},
    RowConversion{ModeLab, ModeGray, MapRow<U8, 3, U8, 1, LabToGray>},
    RowConversion{ModeLab, ModeRGB, kToRgb<U8, 3, LabToBgrPixel>},
    RowConversion{ModeLab, ModeARGB, kToArgb<U8, 3, LabToBgrPixel>},
    RowConversion{ModeLab, ModeLab48, MapRow<U8, 3, U16, 3, Widen3>},
    RowConversion{ModeGray16, ModeGray, MapRow<U16, 1, U8, 1, Gray16ToGray>},
    RowConversion{ModeGray16, ModeRGB, kToRgb<U16, 1, Gray16ToBgr>},
    RowConversion{ModeGray16, ModeARGB, kToArgb<U16, 1, Gray16ToBgr>},
    RowConversion{ModeGray16, ModeGray32, MapRow<U16, 1, U32, 1, Gray16ToGray32>},
    RowConversion{ModeRGB48, ModeRGB, kToRgb<U16, 3, HighBytes3>},
    RowConversion{ModeRGB48, ModeARGB, kToArgb<U16, 3, HighBytes3>},
    RowConversion{ModeRGB48, ModeGray16, MapRow<U16, 3, U16, 1, Rgb48ToGray16>},
    RowConversion{ModeRGB48, ModeLab48, MapRow<U16, 3, U16, 3, Rgb48ToLab48>},
    RowConversion{ModeRGB48, ModeCMYK64, MapRow<U16, 3, U16, 4, Rgb48ToCmyk64>},
    RowConversion{ModeLab48, ModeRGB, kToRgb<U16, 3, Lab48ToBgr>},
    RowConversion{ModeLab48, ModeARGB, kToArgb<U16, 3, Lab48ToBgr>},
    RowConversion{ModeLab48, ModeRGB48, MapRow<U16, 3, U16, 3, Lab48ToRgb48>},
    RowConversion{ModeLab48, ModeLab, MapRow<U16, 3, U8, 3, HighBytes3>},
    RowConversion{ModeLab48, ModeGray16, MapRow<U16, 3, U16, 1, Lab48ToGray16>},
    RowConversion{ModeCMYK64, ModeRGB, kToRgb<U16, 4, Cmyk64ToBgr>},
    RowConversion{ModeCMYK64, ModeARGB, kToArgb<U16, 4, Cmyk64ToBgr>},
    RowConversion{ModeCMYK64, ModeRGB48, MapRow<U16, 4, U16, 3, Cmyk64ToRgb48>},
    RowConversion{ModeCMYK64, ModeCMYK, MapRow<U16, 4, U8, 4, Cmyk64ToCmyk>},
    RowConversion{ModeARGB, ModeGray, MapRow<U8, 4, U8, 1, ArgbToGray>},
    RowConversion{ModeARGB, ModeRGB, kToRgb<U8, 4, ArgbToBgr>},
    RowConversion{ModeGray32, ModeGray, MapRow<U32, 1, U8, 1, Gray32ToGray>},
    RowConversion{ModeGray32, ModeRGB, kToRgb<U32, 1, Gray32ToBgr>},
    RowConversion{ModeGray32, ModeARGB, kToArgb<U32, 1, Gray32ToBgr>},
    RowConversion{ModeGray32, ModeGray16, MapRow<U32, 1, U16, 1, Gray32ToGray16>},
    RowConversion{ModeRGB12, ModeRGB, Rgb12ToBgrRow<3>},
    RowConversion{ModeRGB12, ModeARGB, Rgb12ToBgrRow<4>},
    RowConversion{ModeRGB12, ModeRGB16, Rgb12ToRgb16Row},
    RowConversion{ModeRGB16, ModeRGB, kToRgb<U16, 1, Rgb16ToBgrPixel>},
    RowConversion{ModeRGB16, ModeARGB, kToArgb<U16, 1, Rgb16ToBgrPixel>},
};

} // namespace

RowConverter FindRowConverter(ImageMode source, ImageMode target) {
    for (const RowConversion& conversion : kRowConversions)
        if (conversion.source == source && conversion.target == target) return conversion.convert;
    return nullptr;
}
