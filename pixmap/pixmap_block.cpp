#include "pixmap_block.h"

#include "byte_order.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <cstring>

namespace {

constexpr std::size_t kModeOffset = 0;
constexpr std::size_t kRectOffset = 13;
constexpr std::size_t kStrideOffset = 29;
constexpr std::size_t kBitsPerPixelOffset = 33;

PixRect LoadRect(const std::uint8_t* bytes) {
    return {LoadLE32(bytes), LoadLE32(bytes + 4), LoadLE32(bytes + 8), LoadLE32(bytes + 12)};
}

void StoreRect(std::uint8_t* bytes, const PixRect& rect) {
    StoreLE32(bytes, rect.left);
    StoreLE32(bytes + 4, rect.top);
    StoreLE32(bytes + 8, rect.right);
    StoreLE32(bytes + 12, rect.bottom);
}

} // namespace

std::vector<std::uint8_t> WritePixMapBlock(const CPixMap& map) {
    const std::uint64_t rowBytes = RowBytes(map.BitsPerPixel(), map.Width());
    const auto stride = OwnedStride(map.BitsPerPixel(), map.Width());
    if (!stride) ThrowCodecError(ErrorOutOfMemory);
    const auto rowsBytes = CheckedMul(static_cast<std::uint64_t>(*stride), map.Height());
    if (!rowsBytes || *rowsBytes > SIZE_MAX - kPixMapBlockHeadSize)
        ThrowCodecError(ErrorOutOfMemory);
    std::vector<std::uint8_t> block(kPixMapBlockHeadSize + static_cast<std::size_t>(*rowsBytes));
    block[kModeOffset] = map.GetMode();
    StoreRect(&block[kRectOffset], map.Rect());
    StoreLE32(&block[kStrideOffset], static_cast<std::uint32_t>(*stride));
    block[kBitsPerPixelOffset] = map.BitsPerPixel();
    std::uint8_t* row = block.data() + kPixMapBlockHeadSize;
    for (std::uint32_t y = 0; y < map.Height(); ++y, row += *stride)
        std::memcpy(row, map.Row(y), static_cast<std::size_t>(rowBytes));
    return block;
}

std::unique_ptr<CPixMap> CreatePixMapFromBlock(std::span<const std::uint8_t> block) {
    if (block.size() < kPixMapBlockHeadSize) ThrowCodecError(ErrorWrongFormat);
    const std::uint8_t mode = block[kModeOffset];
    const PixRect rect = LoadRect(&block[kRectOffset]);
    const ModeLayout* layout = FindModeLayout(mode);
    if (!layout || rect.left > rect.right || rect.top > rect.bottom)
        ThrowCodecError(ErrorWrongFormat);
    // The rectangle is the writer's word only: the rows must be in the block before a buffer of
    // that size is allocated.
    const auto stride = OwnedStride(layout->bitsPerPixel, rect.Width());
    if (!stride) ThrowCodecError(ErrorShortRead);
    const auto rowsBytes = CheckedMul(static_cast<std::uint64_t>(*stride), rect.Height());
    if (!rowsBytes || *rowsBytes > block.size() - kPixMapBlockHeadSize)
        ThrowCodecError(ErrorShortRead);
    auto map = CreatePixMap(rect, mode);
    if (*rowsBytes > 0)
        std::memcpy(map->GetBits(), block.data() + kPixMapBlockHeadSize,
                    static_cast<std::size_t>(*rowsBytes));
    return map;
}
