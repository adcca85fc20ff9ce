#include "bmp_file.h"

#include "byte_order.h"
#include "dib_block.h"
#include "qvt_error.h"
#include "qvt_memory.h"
#include "raster_image.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <optional>
#include <vector>

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kLargestInfoHeader = 124;

// Appends `count` bytes of the file from `offset` to `bytes`; all of them must be there.
void AppendAt(std::ifstream& file, std::uint64_t offset, std::optional<std::uint64_t> count,
              std::uint64_t fileSize, std::vector<std::uint8_t>& bytes) {
    if (!count || offset > fileSize || *count > fileSize - offset) ThrowCodeError(ErrorShortRead);
    const std::size_t start = bytes.size();
    bytes.resize(start + static_cast<std::size_t>(*count));
    file.seekg(static_cast<std::streamoff>(offset));
    if (!file.read(reinterpret_cast<char*>(bytes.data() + start),
                   static_cast<std::streamsize>(*count)))
        ThrowCodeError(ErrorShortRead);
}

std::vector<std::uint8_t> ReadAt(std::ifstream& file, std::uint64_t offset, std::uint64_t count,
                                 std::uint64_t fileSize) {
    std::vector<std::uint8_t> bytes;
    AppendAt(file, offset, count, fileSize, bytes);
    return bytes;
}

} // namespace

std::unique_ptr<CDisplayImage> ReadBmpFile(const std::string& path) {
    errno = 0;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : ENOENT));
    const auto fileSize = static_cast<std::uint64_t>(file.tellg());

    const auto head = ReadAt(file, 0, kFileHeaderSize + 4, fileSize);
    if (head[0] != 'B' || head[1] != 'M') ThrowCodeError(ErrorWrongFormat);
    const std::uint32_t rowsOffset = LoadLE32(head.data() + 10);
    const std::uint32_t infoSize = LoadLE32(head.data() + kFileHeaderSize);
    if (infoSize < kDibHeaderSize) return nullptr;
    const auto info =
        ReadAt(file, kFileHeaderSize, std::min(infoSize, kLargestInfoHeader), fileSize);
    const auto width = static_cast<std::int32_t>(LoadLE32(info.data() + 4));
    const auto height = static_cast<std::int32_t>(LoadLE32(info.data() + 8));
    const std::uint32_t bitsPerPixel = LoadLE16(info.data() + 14);
    const std::uint32_t compression = LoadLE32(info.data() + 16);
    const std::uint32_t colorsUsed = LoadLE32(info.data() + 32);
    if (compression != kDibUncompressed && compression != kDibBitFields) return nullptr;
    if (width <= 0 || height == 0 || height == INT32_MIN) ThrowCodeError(ErrorWrongFormat);

    // The block the clipboard reader takes: a 40-byte header, the masks or the whole color table,
    // then the rows. The file may keep the masks inside a longer header, list fewer colors than
    // its depth allows, and leave a gap before the rows.
    std::vector<std::uint8_t> block(info.begin(), info.begin() + kDibHeaderSize);
    StoreLE32(block.data(), kDibHeaderSize);
    std::uint64_t tableOffset = kFileHeaderSize + infoSize;
    if (compression == kDibBitFields) {
        const bool inHeader = infoSize >= kDibHeaderSize + 12;
        const auto masks = inHeader ? std::vector<std::uint8_t>(info.begin() + kDibHeaderSize,
                                                                info.begin() + kDibHeaderSize + 12)
                                    : ReadAt(file, tableOffset, 12, fileSize);
        block.insert(block.end(), masks.begin(), masks.end());
        if (!inHeader) tableOffset += 12;
    }
    if (bitsPerPixel <= 8) {
        const std::uint32_t entries = 1u << std::min<std::uint32_t>(bitsPerPixel, 8);
        const std::uint32_t listed = colorsUsed == 0 ? entries : std::min(colorsUsed, entries);
        AppendAt(file, tableOffset, std::uint64_t{listed} * 4, fileSize, block);
        block.resize(block.size() + std::size_t{entries - listed} * 4);
    }
    const auto rows = static_cast<std::uint64_t>(height < 0 ? -std::int64_t{height} : height);
    const std::uint64_t pitch =
        (std::uint64_t{static_cast<std::uint32_t>(width)} * bitsPerPixel + 31) / 32 * 4;
    AppendAt(file, rowsOffset, CheckedMul(pitch, rows), fileSize, block);
    try {
        return ReadDibBlock(block);
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}
