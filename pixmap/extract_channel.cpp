// ExtractChannel of every class: one channel as 8-bit values in a Gray map of the same size.
#include "mul_div.h"
#include "pix_map.h"
#include "pixel_access.h"

#include <array>

namespace {

bool IsChannelTarget(const CPixMap& source, int channel, const CPixMap& destination) {
    return destination.GetMode() == ModeGray && destination.Width() == source.Width() &&
           destination.Height() == source.Height() && channel >= 0 &&
           channel < source.GetChannels();
}

// Runs `value(sourceRow, x)` over every pixel into the Gray destination.
template <typename ValueOf>
void ExtractRows(const CPixMap& source, CPixMap& destination, ValueOf value) {
    for (std::uint32_t y = 0; y < source.Height(); ++y) {
        const std::uint8_t* from = source.Row(y);
        std::uint8_t* to = destination.Row(y);
        for (std::uint32_t x = 0; x < source.Width(); ++x)
            to[x] = static_cast<std::uint8_t>(value(from, x));
    }
}

// A field of `maximum` scaled to 0 ... 255.
std::array<std::uint8_t, 64> ScaleTable(int maximum) {
    std::array<std::uint8_t, 64> table{};
    for (int v = 0; v <= maximum; ++v)
        table[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(MulDiv(v, 255, maximum));
    return table;
}

} // namespace

void CPixMap8::ExtractChannel(int channel, CPixMap& destination) const {
    if (!IsChannelTarget(*this, channel, destination)) return;
    const std::uint64_t bytes = BitsPerPixel() / 8;
    ExtractRows(*this, destination, [bytes, channel](const std::uint8_t* row, std::uint64_t x) {
        return row[x * bytes + static_cast<std::uint64_t>(channel)];
    });
}

void CPixMap16::ExtractChannel(int channel, CPixMap& destination) const {
    if (!IsChannelTarget(*this, channel, destination)) return;
    const std::uint64_t bytes = BitsPerPixel() / 8;
    ExtractRows(*this, destination, [bytes, channel](const std::uint8_t* row, std::uint64_t x) {
        return row[x * bytes + static_cast<std::uint64_t>(channel) * 2 + 1];
    });
}

void CPMColorRGB16::ExtractChannel(int channel, CPixMap& destination) const {
    if (!IsChannelTarget(*this, channel, destination)) return;
    static const std::array<std::array<std::uint8_t, 64>, 2> scales = {ScaleTable(31),
                                                                       ScaleTable(63)};
    const unsigned shift = channel == 0 ? 0 : channel == 1 ? 5 : 11;
    const unsigned mask = channel == 1 ? 0x3F : 0x1F;
    const auto& scale = scales[channel == 1 ? 1 : 0];
    ExtractRows(*this, destination,
                [shift, mask, &scale](const std::uint8_t* row, std::uint64_t x) {
                    return scale[(LoadSample<std::uint16_t>(row + x * 2) >> shift) & mask];
                });
}

void CPMColorRGB12::ExtractChannel(int channel, CPixMap& destination) const {
    if (!IsChannelTarget(*this, channel, destination)) return;
    static const std::array<std::uint8_t, 64> scale = ScaleTable(15);
    ExtractRows(*this, destination, [channel](const std::uint8_t* row, std::uint64_t x) {
        return scale[GetNibble(row, x * 3 + static_cast<std::uint64_t>(channel))];
    });
}

// Bitmap and Gray32 have one channel that does not fit 8 bits: the whole map is converted.
void CPMBitmap::ExtractChannel(int, CPixMap& destination) const { ConvertTo(destination); }

void CPMGray32::ExtractChannel(int, CPixMap& destination) const { ConvertTo(destination); }
