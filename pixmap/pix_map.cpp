#include "pix_map.h"

#include "pixel_access.h"

#include <algorithm>
#include <cstring>

CPixMap::CPixMap(ImageMode mode, PixMapMemory memory)
    : layout_(*FindModeLayout(mode)), owned_(std::move(memory.owned)), rect_(memory.rect),
      stride_(memory.stride), bits_(memory.bits), background_(layout_.defaultBackground) {}

char CPixMap::GetChannelLetter(int channel) const {
    if (layout_.channels == 1 || channel < 0 || channel >= layout_.channels) return ' ';
    return layout_.letters[channel];
}

void CPixMap::SetBackgroundBytes(const std::uint8_t* bytes) {
    std::copy_n(bytes, layout_.backgroundSize, background_.begin());
}

void CPixMap::SetBackgroundWords16(std::initializer_list<std::uint32_t> words) {
    std::size_t offset = 0;
    for (const std::uint32_t word : words) {
        StoreSample<std::uint16_t>(background_.data() + offset, static_cast<std::uint16_t>(word));
        offset += 2;
    }
}

void CPixMap::SetBackgroundWord32(std::uint32_t word) {
    StoreSample<std::uint32_t>(background_.data(), word);
}

void CPixMap::FillWithBackground() {
    const std::uint32_t width = Width();
    switch (layout_.unitBits) {
    case 1: // Bitmap: whole bytes of the background byte
        for (std::uint32_t y = 0; y < Height(); ++y)
            std::memset(Row(y), background_[0], RowBytes(1, width));
        return;
    case 4: { // RGB12: the background word holds red, green, blue from the high nibble down
        const unsigned word = LoadSample<std::uint16_t>(background_.data());
        const unsigned nibbles[3] = {word & 0xF, (word >> 4) & 0xF, (word >> 8) & 0xF};
        for (std::uint32_t y = 0; y < Height(); ++y)
            for (std::uint64_t i = 0; i < std::uint64_t{width} * 3; ++i)
                SetNibble(Row(y), i, nibbles[i % 3]);
        return;
    }
    default: {
        const std::size_t pixelBytes = layout_.bitsPerPixel / 8;
        for (std::uint32_t y = 0; y < Height(); ++y) {
            std::uint8_t* row = Row(y);
            for (std::uint32_t x = 0; x < width; ++x)
                std::memcpy(row + x * pixelBytes, background_.data(), pixelBytes);
        }
    }
    }
}
