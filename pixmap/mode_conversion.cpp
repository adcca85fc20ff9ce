#include "mode_conversion.h"

#include "conversion_rows.h"

#include <array>
#include <initializer_list>

namespace {

constexpr std::uint32_t Targets(std::initializer_list<ImageMode> modes) {
    std::uint32_t mask = 0;
    for (const ImageMode mode : modes)
        mask |= 1u << mode;
    return mask;
}

constexpr std::array<std::uint32_t, kImageModeCount> kTargets = [] {
    std::array<std::uint32_t, kImageModeCount> targets{};
    targets[ModeBitmap] = Targets({ModeBitmap, ModeGray, ModeRGB, ModeARGB});
    targets[ModeGray] = Targets({ModeBitmap, ModeGray, ModeRGB, ModeGray16, ModeARGB, ModeGray32});
    targets[ModeIndexed] = Targets({ModeGray, ModeIndexed, ModeRGB, ModeARGB});
    targets[ModeRGB] = Targets({ModeGray, ModeIndexed, ModeRGB, ModeCMYK, ModeLab, ModeRGB48,
                                ModeARGB, ModeRGB12, ModeRGB16});
    targets[ModeCMYK] = Targets({ModeRGB, ModeCMYK, ModeCMYK64, ModeARGB});
    targets[ModeLab] = Targets({ModeGray, ModeRGB, ModeLab, ModeLab48, ModeARGB});
    targets[ModeGray16] = Targets({ModeGray, ModeRGB, ModeGray16, ModeARGB, ModeGray32});
    targets[ModeRGB48] = Targets({ModeRGB, ModeGray16, ModeRGB48, ModeLab48, ModeCMYK64, ModeARGB});
    targets[ModeLab48] = Targets({ModeRGB, ModeLab, ModeGray16, ModeRGB48, ModeLab48, ModeARGB});
    targets[ModeCMYK64] = Targets({ModeRGB, ModeCMYK, ModeRGB48, ModeCMYK64, ModeARGB});
    targets[ModeARGB] = Targets({ModeGray, ModeRGB, ModeARGB});
    targets[ModeGray32] = Targets({ModeGray, ModeRGB, ModeGray16, ModeARGB, ModeGray32});
    targets[ModeRGB12] = Targets({ModeIndexed, ModeRGB, ModeARGB, ModeRGB12, ModeRGB16});
    targets[ModeRGB16] = Targets({ModeIndexed, ModeRGB, ModeARGB, ModeRGB16});
    return targets;
}();

} // namespace

bool CanConvert(ImageMode source, ImageMode target) {
    return source < kImageModeCount && target < kImageModeCount &&
           (kTargets[source] >> target & 1u) != 0;
}

void ConvertPixMap(const CPixMap& source, CPixMap& destination) {
    const ImageMode from = source.GetMode(), to = destination.GetMode();
    if (!CanConvert(from, to) || source.Width() != destination.Width() ||
        source.Height() != destination.Height())
        return;
    if (from == to) {
        source.CopyRect(source.Rect(), destination, destination.Rect());
        return;
    }
    if (from == ModeGray && to == ModeBitmap) return DiffuseGrayToBitmap(source, destination);
    if (to == ModeIndexed) {
        if (from == ModeRGB) return ConvertRgbToIndexed(source, destination);
        if (from == ModeRGB16) return ConvertRgb16ToIndexed(source, destination);
        return ConvertRgb12ToIndexed(source, destination);
    }
    const std::uint8_t* colorTable = source.GetColorTable();
    if (from == ModeIndexed && !colorTable) return;
    const RowConverter convert = FindRowConverter(from, to);
    for (std::uint32_t y = 0; y < source.Height(); ++y)
        convert(source.Row(y), destination.Row(y), source.Width(), colorTable);
}

void CPixMap::ConvertTo(CPixMap& destination) const { ConvertPixMap(*this, destination); }

bool CPixMap::CanConvertTo(ImageMode mode) const { return CanConvert(GetMode(), mode); }
