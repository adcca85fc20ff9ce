#include "dib_block.h"

#include "byte_order.h"
#include "qvt_error.h"

#include <cstring>

namespace {

struct DibHeader {
    std::uint32_t headerSize;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t bitsPerPixel;
    std::uint32_t compression;
};

DibHeader LoadDibHeader(const std::uint8_t* bytes) {
    return {LoadLE32(bytes), static_cast<std::int32_t>(LoadLE32(bytes + 4)),
            static_cast<std::int32_t>(LoadLE32(bytes + 8)), LoadLE16(bytes + 14),
            LoadLE32(bytes + 16)};
}

bool IsDibDepth(std::uint32_t bitsPerPixel) {
    return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
           bitsPerPixel == 24 || bitsPerPixel == 32;
}

void CheckDibHeader(const DibHeader& header) {
    if (header.headerSize < kDibHeaderSize) ThrowCodecError(ErrorWrongFormat);
    if (header.width <= 0 || header.height == 0) ThrowCodecError(ErrorWrongFormat);
    if (!IsDibDepth(header.bitsPerPixel)) ThrowCodecError(ErrorWrongFormat);
    const bool bitFieldsAllowed = header.bitsPerPixel == 16 || header.bitsPerPixel == 32;
    if (header.compression != kDibUncompressed &&
        !(header.compression == kDibBitFields && bitFieldsAllowed))
        ThrowCodecError(ErrorWrongFormat);
}

std::uint64_t DibPitch(std::uint64_t width, std::uint32_t bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// Bytes of the color table or the masks that follow the header.
std::uint64_t TableBytes(std::uint32_t bitsPerPixel, bool bitFields) {
    if (bitFields) return 12;
    return bitsPerPixel <= 8 ? std::uint64_t{4} << bitsPerPixel : 0;
}

bool IsGrayRamp(const std::uint8_t* table) {
    for (int i = 0; i < 256; ++i)
        if (table[4 * i] != i || table[4 * i + 1] != i || table[4 * i + 2] != i) return false;
    return true;
}

ImageMode DisplayModeOfDib(const DibHeader& header, const std::uint8_t* table) {
    switch (header.bitsPerPixel) {
    case 1:
        return ModeBitmap;
    case 4:
        return ModeIndexed;
    case 8:
        return IsGrayRamp(table) ? ModeGray : ModeIndexed;
    case 16:
        return header.compression == kDibBitFields ? ModeRGB16 : ModeRGB;
    case 32:
        return header.compression == kDibBitFields ? ModeRGB : ModeARGB;
    default:
        return ModeRGB;
    }
}

} // namespace

std::unique_ptr<CDisplayImage> ReadDibBlock(std::span<const std::uint8_t> block) {
    if (block.size() < kDibHeaderSize) ThrowCodecError(ErrorWrongFormat);
    const DibHeader header = LoadDibHeader(block.data());
    CheckDibHeader(header);
    const bool bitFields = header.compression == kDibBitFields;
    const bool bottomUp = header.height > 0;
    const std::uint32_t width = static_cast<std::uint32_t>(header.width);
    const std::uint32_t height =
        bottomUp ? static_cast<std::uint32_t>(header.height)
                 : static_cast<std::uint32_t>(-static_cast<std::int64_t>(header.height));

    // Every part must lie in the block before an image of the header's size is made.
    const std::uint64_t tableOffset = header.headerSize;
    const std::uint64_t rowsOffset = tableOffset + TableBytes(header.bitsPerPixel, bitFields);
    const std::uint64_t pitch = DibPitch(width, header.bitsPerPixel);
    const auto rowsBytes = CheckedMul(pitch, height);
    if (rowsOffset > block.size() || !rowsBytes || *rowsBytes > block.size() - rowsOffset)
        ThrowCodecError(ErrorShortRead);

    const std::uint8_t* table = block.data() + tableOffset;
    std::optional<BitFieldMasks> masks;
    if (bitFields) masks = BitFieldMasks{LoadLE32(table), LoadLE32(table + 4), LoadLE32(table + 8)};
    const ImageMode mode = DisplayModeOfDib(header, table);
    auto image =
        CDisplayImage::Create(width, height, header.bitsPerPixel, mode, masks, mode == ModeARGB);
    if (!image) ThrowCodecError(ErrorOutOfMemory);
    if (header.bitsPerPixel <= 8) image->SetColors(0, 1 << header.bitsPerPixel, table);

    const std::uint8_t* rows = block.data() + rowsOffset;
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint32_t y = bottomUp ? height - 1 - row : row;
        std::memcpy(image->TopRow() + std::uint64_t{y} * image->Pitch(), rows + row * pitch,
                    static_cast<std::size_t>(pitch));
    }
    return image;
}

std::vector<std::uint8_t> WriteDibBlock(const CDisplayImage& image) {
    const int bitsPerPixel = image.BitsPerPixel();
    const bool bitFields = image.Masks().has_value();
    const std::uint64_t tableBytes =
        TableBytes(static_cast<std::uint32_t>(bitsPerPixel), bitFields);
    const std::uint64_t pitch = static_cast<std::uint64_t>(image.Pitch());
    const std::uint64_t rowsBytes = pitch * image.Height();
    std::vector<std::uint8_t> block(kDibHeaderSize + tableBytes + rowsBytes);

    std::uint8_t* header = block.data();
    StoreLE32(header, kDibHeaderSize);
    StoreLE32(header + 4, image.Width());
    StoreLE32(header + 8, image.Height());
    StoreLE16(header + 12, 1);
    StoreLE16(header + 14, static_cast<std::uint16_t>(bitsPerPixel));
    StoreLE32(header + 16, bitFields ? kDibBitFields : kDibUncompressed);
    StoreLE32(header + 20, static_cast<std::uint32_t>(rowsBytes));

    std::uint8_t* table = header + kDibHeaderSize;
    if (bitFields) {
        StoreLE32(table, image.Masks()->red);
        StoreLE32(table + 4, image.Masks()->green);
        StoreLE32(table + 8, image.Masks()->blue);
    } else if (tableBytes > 0) {
        image.GetColors(0, image.ColorCount(), table);
    }

    std::uint8_t* rows = table + tableBytes;
    for (std::uint32_t row = 0; row < image.Height(); ++row)
        std::memcpy(rows + row * pitch,
                    image.TopRow() + std::uint64_t{image.Height() - 1 - row} * pitch,
                    static_cast<std::size_t>(pitch));
    return block;
}
