#include "raw_file.h"

#include "mode_layout.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenFile(const std::string& path, const char* how) {
    errno = 0;
    File file(std::fopen(path.c_str(), how));
    if (!file) ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    return file;
}

template <typename Word>
void ClampRow(std::uint8_t* row, std::uint64_t count, std::uint32_t maximum) {
    for (std::uint64_t i = 0; i < count; ++i) {
        Word v;
        std::memcpy(&v, row + sizeof(Word) * i, sizeof(Word));
        if (v > maximum) {
            v = static_cast<Word>(maximum);
            std::memcpy(row + sizeof(Word) * i, &v, sizeof(Word));
        }
    }
}

// Clears the bits of the last byte that lie past the row's pixels.
void ClearPadding(std::uint8_t* row, const ModeLayout& layout, std::uint32_t width) {
    const auto usedBits = static_cast<unsigned>(std::uint64_t{width} * layout.bitsPerPixel % 8);
    if (usedBits == 0) return;
    std::uint8_t& last = row[RowBytes(layout.bitsPerPixel, width) - 1];
    // Bitmaps fill a byte from its most significant bit, RGB12 nibbles from its low half.
    const auto mask = layout.unitBits == 1 ? static_cast<std::uint8_t>(0xFF00 >> usedBits)
                                           : static_cast<std::uint8_t>((1u << usedBits) - 1);
    last &= mask;
}

} // namespace

bool IsRawMode(std::uint32_t mode) { return mode != ModeIndexed && FindModeLayout(mode); }

RasterImage ReadRawFile(const std::string& path, const RawLayout& layout) {
    const ModeLayout* modeLayout = FindModeLayout(layout.mode);
    if (!IsRawMode(layout.mode) || layout.width == 0 || layout.height == 0)
        throw ImageFileError(kCannotReadHeader);
    const std::uint32_t full = FullRangeMaximum(layout.mode);
    const std::uint32_t maximum =
        layout.maxChannelValue == 0 ? full : std::min(layout.maxChannelValue, full);
    File file = OpenFile(path, "rb");
    std::unique_ptr<CPixMap> pixels;
    try {
        pixels = CreatePixMap({0, 0, layout.width, layout.height}, layout.mode);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
    const std::size_t rowBytes = RowBytes(modeLayout->bitsPerPixel, layout.width);
    const bool deep = IsDeepMode(layout.mode);
    const bool words32 = layout.mode == ModeGray32;
    const std::uint64_t samples = rowBytes / (words32 ? 4 : 2);
    bool complete = true;
    errno = 0;
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        std::uint8_t* row = pixels->Row(y);
        const std::size_t got = complete ? std::fread(row, 1, rowBytes, file.get()) : 0;
        complete = complete && got == rowBytes;
        std::memset(row + got, 0, rowBytes - got);
        ClearPadding(row, *modeLayout, layout.width);
        if (deep && words32) ClampRow<std::uint32_t>(row, samples, maximum);
        if (deep && !words32) ClampRow<std::uint16_t>(row, samples, maximum);
    }
    if (std::ferror(file.get()))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    RasterImage image = MakeRasterImage(std::move(pixels), deep ? maximum : 0);
    image.incomplete = !complete;
    return image;
}

void WriteRawFile(RasterImage& image, const std::string& path) {
    if (!IsRawMode(image.Mode())) throw ImageFileError(kNoSuitableFormat);
    ImagePixels pixels(image);
    const ModeLayout& layout = pixels->Layout();
    const std::size_t rowBytes = RowBytes(layout.bitsPerPixel, pixels->Width());
    File file = OpenFile(path, "wb");
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t y = 0; y < pixels->Height(); ++y) {
        std::memcpy(row.data(), pixels->Row(y), rowBytes);
        ClearPadding(row.data(), layout, pixels->Width());
        if (std::fwrite(row.data(), 1, rowBytes, file.get()) != rowBytes)
            ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    }
    if (std::fflush(file.get()) != 0) ThrowCodeError(static_cast<std::uint32_t>(errno));
}
