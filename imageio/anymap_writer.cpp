#include "anymap_file.h"

#include "anymap_rows.h"
#include "mul_div.h"
#include "qvt_error.h"
#include "vector_clones.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

int KindOf(std::uint32_t mode) {
    switch (mode) {
    case ModeBitmap:
        return 1;
    case ModeGray:
    case ModeGray16:
        return 2;
    case ModeRGB:
    case ModeRGB48:
        return 3;
    default:
        return 0;
    }
}

// The maxval written: the image's maximum when it fits the samples, else their full range.
std::uint32_t WrittenMaxval(const ImageRowSource& image) {
    const std::uint32_t full = IsDeepMode(image.Mode()) ? 65535 : 255;
    const std::uint32_t maximum = image.MaxChannelValue();
    return maximum == 0 || maximum > full ? full : maximum;
}

// Calls writeRow(row) for every row of the image, top to bottom, a strip at a time.
template <typename WriteRow>
void ForEachRow(ImageRowSource& image, WriteRow writeRow) {
    const std::uint32_t height = image.Height();
    const std::uint32_t strip = std::max<std::uint32_t>(1, image.StripRows());
    for (std::uint32_t first = 0; first < height; first += std::min(strip, height - first)) {
        const std::uint32_t count = std::min(strip, height - first);
        std::ptrdiff_t pitch = 0;
        const std::uint8_t* rows = image.Rows(first, count, pitch);
        for (std::uint32_t y = 0; y < count; ++y)
            writeRow(rows + pitch * static_cast<std::ptrdiff_t>(y));
    }
}

// Collects one row of output and hands it to the file in one call.
class RowWriter {
public:
    RowWriter(std::FILE* file, bool binary, std::uint32_t maxval)
        : file_(file), binary_(binary), wide_(maxval > 255) {}

    void Sample(std::uint32_t value) {
        if (!binary_) {
            char digits[12];
            const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
            row_.insert(row_.end(), digits, end);
            row_.push_back(' ');
        } else if (wide_) {
            row_.push_back(static_cast<char>(value >> 8));
            row_.push_back(static_cast<char>(value & 0xFF));
        } else {
            row_.push_back(static_cast<char>(value));
        }
    }
    void Bytes(const std::uint8_t* bytes, std::size_t count) {
        row_.insert(row_.end(), bytes, bytes + count);
    }
    // Room for `count` more bytes of the row, filled by the caller.
    std::uint8_t* Extend(std::size_t count) {
        row_.resize(row_.size() + count);
        return reinterpret_cast<std::uint8_t*>(row_.data() + row_.size() - count);
    }
    bool Binary() const { return binary_; }
    void EndRow() {
        if (!binary_) row_.push_back('\n');
        if (std::fwrite(row_.data(), 1, row_.size(), file_) != row_.size())
            ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
        row_.clear();
    }

private:
    std::FILE* file_;
    bool binary_;
    bool wide_;
    std::vector<char> row_;
};

void WriteBitmapRows(ImageRowSource& image, RowWriter& out, bool binary) {
    const std::uint32_t width = image.Width();
    const std::size_t rowBytes = (std::size_t{width} + 7) / 8;
    ForEachRow(image, [&](const std::uint8_t* row) {
        if (binary) {
            out.Bytes(row, rowBytes);
        } else {
            for (std::uint32_t x = 0; x < width; ++x)
                out.Sample(row[x / 8] >> (7 - x % 8) & 1);
        }
        out.EndRow();
    });
}

// 16-bit words (gray, or blue, green, red) as big-endian samples in file order, clamped to
// maxval.
inline void StoreBigEndian(std::uint8_t* to, std::uint16_t word, std::uint16_t maxval) {
    const std::uint16_t s = word < maxval ? word : maxval;
    to[0] = static_cast<std::uint8_t>(s >> 8);
    to[1] = static_cast<std::uint8_t>(s);
}

VECTOR_CLONES void StoreDeepGrayRow(std::uint8_t* __restrict to,
                                    const std::uint16_t* __restrict from, std::size_t pixels,
                                    std::uint16_t maxval) {
#pragma omp simd
    for (std::size_t i = 0; i < pixels; ++i)
        StoreBigEndian(to + 2 * i, from[i], maxval);
}

VECTOR_CLONES void StoreDeepColourRow(std::uint8_t* __restrict to,
                                      const std::uint16_t* __restrict from, std::size_t pixels,
                                      std::uint16_t maxval) {
#pragma omp simd
    for (std::size_t i = 0; i < pixels; ++i) {
        StoreBigEndian(to + 6 * i, from[3 * i + 2], maxval);
        StoreBigEndian(to + 6 * i + 2, from[3 * i + 1], maxval);
        StoreBigEndian(to + 6 * i + 4, from[3 * i], maxval);
    }
}

// Display rows (8-bit gray or blue, green, red) scaled from 0 ... 255 down to 0 ... maxval, which
// gives back exactly the samples an opened file had.
void WriteDisplayRows(ImageRowSource& image, int channels, std::uint32_t maxval, RowWriter& out) {
    std::uint32_t toFile[256];
    for (std::uint32_t v = 0; v < 256; ++v)
        toFile[v] = static_cast<std::uint32_t>(MulDiv(v, maxval, 255));
    const std::size_t rowBytes = std::size_t{image.Width()} * static_cast<std::size_t>(channels);
    ForEachRow(image, [&](const std::uint8_t* __restrict row) {
        if (out.Binary()) {
            std::uint8_t* __restrict to = out.Extend(rowBytes);
            // At full range the samples stay as they are: gray rows are copied, colour rows
            // only change their channel order.
            if (maxval == 255 && channels == 1) {
                std::memcpy(to, row, rowBytes);
            } else if (maxval == 255 && channels == 3) {
                SwapOuterBytes(to, row, rowBytes / 3);
            } else {
                for (std::size_t i = 0; i < rowBytes; i += static_cast<std::size_t>(channels))
                    for (int c = 0; c < channels; ++c)
                        to[i + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(
                            toFile[row[i + static_cast<std::size_t>(channels - 1 - c)]]);
            }
        } else {
            for (std::size_t i = 0; i < rowBytes; i += static_cast<std::size_t>(channels))
                for (int c = channels - 1; c >= 0; --c)
                    out.Sample(toFile[row[i + static_cast<std::size_t>(c)]]);
        }
        out.EndRow();
    });
}

// 16-bit words (gray, or blue, green, red) written as stored, clamped to maxval.
void WriteDeepRows(ImageRowSource& image, int channels, std::uint32_t maxval, RowWriter& out) {
    const std::uint32_t width = image.Width();
    // The row's words, copied out of its bytes.
    std::vector<std::uint16_t> words(std::size_t{width} * static_cast<std::size_t>(channels));
    ForEachRow(image, [&](const std::uint8_t* row) {
        if (out.Binary()) {
            std::memcpy(words.data(), row, words.size() * 2);
            std::uint8_t* to = out.Extend(words.size() * 2);
            const auto clamp = static_cast<std::uint16_t>(maxval);
            if (channels == 3)
                StoreDeepColourRow(to, words.data(), width, clamp);
            else
                StoreDeepGrayRow(to, words.data(), width, clamp);
            out.EndRow();
            return;
        }
        for (std::uint32_t x = 0; x < width; ++x)
            for (int c = channels - 1; c >= 0; --c) {
                std::uint16_t s;
                std::memcpy(&s, row + (std::size_t{x} * channels + static_cast<std::size_t>(c)) * 2,
                            2);
                out.Sample(std::min<std::uint32_t>(s, maxval));
            }
        out.EndRow();
    });
}

} // namespace

bool IsAnymapMode(std::uint32_t mode) { return KindOf(mode) != 0; }

void WriteAnymapFile(RasterImage& image, const std::string& path, bool binary) {
    if (!image.display) throw ImageFileError(kNoSuitableFormat);
    RasterImageRows rows(image);
    WriteAnymapFile(rows, path, binary);
}

void WriteAnymapFile(ImageRowSource& image, const std::string& path, bool binary) {
    const ImageMode mode = image.Mode();
    const int kind = KindOf(mode);
    if (kind == 0) throw ImageFileError(kNoSuitableFormat);
    errno = 0;
    // Rows leave in writes of a mebibyte rather than a system call or two each. The buffer
    // outlives the file, which writes it out when it closes.
    std::vector<char> buffer(std::size_t{1} << 20);
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    std::setvbuf(file.get(), buffer.data(), _IOFBF, buffer.size());

    const std::uint32_t maxval = kind == 1 ? 1 : WrittenMaxval(image);
    std::string head = "P" + std::to_string(binary ? kind + 3 : kind) + "\n" +
                       std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n";
    if (kind != 1) head += std::to_string(maxval) + "\n";
    if (std::fwrite(head.data(), 1, head.size(), file.get()) != head.size())
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    RowWriter out(file.get(), binary, maxval);
    const int channels = kind == 3 ? 3 : 1;
    if (kind == 1)
        WriteBitmapRows(image, out, binary);
    else if (IsDeepMode(mode))
        WriteDeepRows(image, channels, maxval, out);
    else
        WriteDisplayRows(image, channels, maxval, out);
    if (std::fflush(file.get()) != 0 || std::ferror(file.get()))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
}
