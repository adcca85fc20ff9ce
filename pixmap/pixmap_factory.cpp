#include "pixmap_factory.h"

#include "qvt_error.h"

#include <cstdlib>

namespace {

bool IsInverted(const PixRect& rect) { return rect.left > rect.right || rect.top > rect.bottom; }

std::unique_ptr<CPixMap> MakePixMap(std::uint32_t mode, PixMapMemory memory) {
    switch (mode) {
    case ModeBitmap:
        return std::make_unique<CPMBitmap>(std::move(memory));
    case ModeGray:
        return std::make_unique<CPMGrayScale>(std::move(memory));
    case ModeIndexed:
        return std::make_unique<CPMIndexed>(std::move(memory));
    case ModeRGB:
        return std::make_unique<CPMColorRGB>(std::move(memory));
    case ModeCMYK:
        return std::make_unique<CPMColorCMYK>(std::move(memory));
    case ModeLab:
        return std::make_unique<CPMColorLab>(std::move(memory));
    case ModeGray16:
        return std::make_unique<CPMGray16>(std::move(memory));
    case ModeRGB48:
        return std::make_unique<CPMColorRGB48>(std::move(memory));
    case ModeLab48:
        return std::make_unique<CPMColorLab48>(std::move(memory));
    case ModeCMYK64:
        return std::make_unique<CPMColorCMYK64>(std::move(memory));
    case ModeARGB:
        return std::make_unique<CPMColorRGBA>(std::move(memory));
    case ModeGray32:
        return std::make_unique<CPMGray32>(std::move(memory));
    case ModeRGB12:
        return std::make_unique<CPMColorRGB12>(std::move(memory));
    case ModeRGB16:
        return std::make_unique<CPMColorRGB16>(std::move(memory));
    default:
        return nullptr;
    }
}

} // namespace

std::unique_ptr<CPixMap> CreatePixMap(const PixRect& rect, std::uint32_t mode,
                                      const std::uint8_t* color, int length) {
    const ModeLayout* layout = FindModeLayout(mode);
    if (!layout || IsInverted(rect)) return nullptr;
    const auto stride = OwnedStride(layout->bitsPerPixel, rect.Width());
    if (!stride) ThrowCodecError(ErrorOutOfMemory);
    const auto bytes = CheckedMul(static_cast<std::uint64_t>(*stride), rect.Height());
    if (!bytes) ThrowCodecError(ErrorOutOfMemory);
    ByteBuffer buffer = TryAllocate<std::uint8_t>(*bytes);
    if (!buffer) ThrowCodecError(ErrorOutOfMemory);
    std::uint8_t* bits = buffer.get();
    auto map = MakePixMap(mode, PixMapMemory{rect, *stride, bits, std::move(buffer)});
    if (color) {
        map->SetBackground(color, length);
        map->FillWithBackground();
    }
    return map;
}

std::unique_ptr<CPixMap> AttachPixMap(const PixRect& rect, std::uint32_t mode, std::uint8_t* bits,
                                      std::int32_t stride) {
    const ModeLayout* layout = FindModeLayout(mode);
    if (!layout || IsInverted(rect)) return nullptr;
    const std::uint64_t rowBytes = RowBytes(layout->bitsPerPixel, rect.Width());
    const auto magnitude = static_cast<std::uint64_t>(std::llabs(std::int64_t{stride}));
    if (rect.Height() > 1 && magnitude < rowBytes) return nullptr;
    if (!bits && rowBytes > 0 && rect.Height() > 0) return nullptr;
    return MakePixMap(mode, PixMapMemory{rect, stride, bits, nullptr});
}

std::unique_ptr<CPixMap> AttachPixMap(std::uint32_t width, std::uint32_t height, std::uint32_t mode,
                                      std::uint8_t* bits, std::int32_t stride) {
    return AttachPixMap(PixRect{0, 0, width, height}, mode, bits, stride);
}
