// SetBackground of every class: the background value from a color of 0 to 8 bytes in the class's
// own channel order (3 bytes are blue, green, red; 6 bytes three 16-bit words).
#include "color_formulas.h"
#include "color_table.h"
#include "pix_map.h"
#include "pixel_access.h"

namespace {

// The color length rounded down to a length with its own rule: 0, 1, 2, 3, 4, 6 or 8. A missing
// color or a negative length counts as no color.
int LengthRule(const std::uint8_t* color, int length) {
    if (!color || length <= 0) return 0;
    if (length >= 8) return 8;
    if (length >= 6) return 6;
    if (length >= 4) return 4;
    return length;
}

std::uint32_t Word(const std::uint8_t* color, int index) {
    return LoadSample<std::uint16_t>(color + index * 2);
}

int GrayOfBgr(const std::uint8_t* color) { return GrayOf(color[0], color[1], color[2]); }

std::array<std::uint16_t, 3> Lab48Of(std::uint32_t blue, std::uint32_t green, std::uint32_t red) {
    const auto lab =
        BgrToLab(static_cast<int>(blue), static_cast<int>(green), static_cast<int>(red), 65535);
    return {static_cast<std::uint16_t>(lab[0]), static_cast<std::uint16_t>(lab[1]),
            static_cast<std::uint16_t>(lab[2])};
}

} // namespace

void CPMBitmap::SetBackground(const std::uint8_t* color, int length) {
    const std::uint8_t value =
        LengthRule(color, length) == 0 ? 0 : static_cast<std::uint8_t>(~color[0]);
    SetBackgroundBytes(&value);
}

void CPMGrayScale::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const auto value = static_cast<std::uint8_t>(rule == 0  ? 255
                                                 : rule < 3 ? color[0]
                                                            : GrayOfBgr(color));
    SetBackgroundBytes(&value);
}

void CPMIndexed::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const std::uint8_t value = rule == 0 ? 255
                               : rule < 3
                                   ? color[0]
                                   : FindNearestColor(*this, color[2], color[1], color[0], 0).index;
    SetBackgroundBytes(&value);
}

void CPMColorRGB::SetBackground(const std::uint8_t* color, int length) {
    const std::uint8_t white[3] = {255, 255, 255};
    SetBackgroundBytes(LengthRule(color, length) < 3 ? white : color);
}

void CPMColorLab::SetBackground(const std::uint8_t* color, int length) {
    if (LengthRule(color, length) < 3) {
        const std::uint8_t white[3] = {255, 255, 255};
        return SetBackgroundBytes(white);
    }
    const auto lab = BgrToLab(color[0], color[1], color[2], 255);
    const std::uint8_t value[3] = {static_cast<std::uint8_t>(lab[0]),
                                   static_cast<std::uint8_t>(lab[1]),
                                   static_cast<std::uint8_t>(lab[2])};
    SetBackgroundBytes(value);
}

void CPMColorRGBA::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const std::uint8_t white[4] = {255, 255, 255, 255};
    if (rule == 3) {
        const std::uint8_t opaque[4] = {color[0], color[1], color[2], 255};
        return SetBackgroundBytes(opaque);
    }
    SetBackgroundBytes(rule < 3 ? white : color);
}

void CPMColorCMYK::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const std::uint8_t white[4] = {255, 255, 255, 255};
    if (rule == 3) return SetBackgroundBytes(BgrToCmyk(color[0], color[1], color[2]).data());
    SetBackgroundBytes(rule < 3 ? white : color);
}

void CPMGray16::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const std::uint32_t value =
        rule == 0   ? 0xFFFF
        : rule == 1 ? color[0] * 256u
        : rule == 2 ? Word(color, 0)
        : rule < 6  ? static_cast<std::uint32_t>(GrayOfBgr(color)) * 256u
                    : static_cast<std::uint32_t>(GrayOf(static_cast<int>(Word(color, 0)),
                                                        static_cast<int>(Word(color, 1)),
                                                        static_cast<int>(Word(color, 2))));
    SetBackgroundWords16({value});
}

void CPMGray32::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const std::uint32_t value = rule == 0   ? 0x3FFFFFFF
                                : rule == 1 ? std::uint32_t{color[0]} << 22
                                : rule == 2 ? Word(color, 0) << 14
                                : rule == 3 ? static_cast<std::uint32_t>(GrayOfBgr(color)) << 22
                                            : LoadSample<std::uint32_t>(color);
    SetBackgroundWord32(value);
}

void CPMColorRGB48::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    if (rule < 3) return SetBackgroundWords16({0xFFFF, 0xFFFF, 0xFFFF});
    if (rule < 6) return SetBackgroundWords16({color[0] * 256u, color[1] * 256u, color[2] * 256u});
    SetBackgroundWords16({Word(color, 0), Word(color, 1), Word(color, 2)});
}

void CPMColorLab48::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    if (rule < 3) return SetBackgroundWords16({0xFFFF, 0xFFFF, 0xFFFF});
    const auto lab = rule < 6 ? Lab48Of(color[0] * 256u, color[1] * 256u, color[2] * 256u)
                              : Lab48Of(Word(color, 0), Word(color, 1), Word(color, 2));
    SetBackgroundWords16({lab[0], lab[1], lab[2]});
}

void CPMColorCMYK64::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    if (rule < 3) return SetBackgroundWords16({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
    if (rule == 4)
        return SetBackgroundWords16(
            {color[0] * 256u, color[1] * 256u, color[2] * 256u, color[3] * 256u});
    if (rule == 8)
        return SetBackgroundWords16(
            {Word(color, 0), Word(color, 1), Word(color, 2), Word(color, 3)});
    const auto cmyk = rule == 3 ? Bgr48ToCmyk64(color[0] * 256, color[1] * 256, color[2] * 256)
                                : Bgr48ToCmyk64(static_cast<int>(Word(color, 0)),
                                                static_cast<int>(Word(color, 1)),
                                                static_cast<int>(Word(color, 2)));
    SetBackgroundWords16({cmyk[0], cmyk[1], cmyk[2], cmyk[3]});
}

void CPMColorRGB12::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const std::uint32_t value =
        rule < 2    ? 0x0FFF
        : rule == 2 ? Word(color, 0)
                    : (color[2] / 16u) * 256u + (color[1] / 16u) * 16u + color[0] / 16u;
    SetBackgroundWords16({value});
}

void CPMColorRGB16::SetBackground(const std::uint8_t* color, int length) {
    const int rule = LengthRule(color, length);
    const std::uint32_t value =
        rule < 2    ? 0xFFFF
        : rule == 2 ? Word(color, 0)
                    : (color[2] / 8u) * 2048u + (color[1] / 4u) * 32u + color[0] / 8u;
    SetBackgroundWords16({value});
}
