#include "anymap_file.h"

#include "anymap_header.h"
#include "anymap_rows.h"
#include "mul_div.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kEnd = std::char_traits<char>::eof();

// Samples of one row in file order, from plain text or binary bytes; returns how many arrived
// before the file ended. Plain text that is not a sample throws ImageFileError naming it and
// its place.
class SampleReader {
public:
    SampleReader(std::streambuf& in, const AnymapHeader& header)
        : in_(in), magic_(header.magic), channels_(AnymapChannels(header.magic)),
          wide_(header.maxval > 255),
          bytes_(IsPlainAnymap(magic_)
                     ? 0
                     : std::size_t{header.width} * static_cast<std::size_t>(channels_) *
                           (wide_ ? 2 : 1)) {}

    std::size_t ReadRow(std::uint32_t y, std::uint32_t* samples, std::size_t count) {
        if (!IsPlainAnymap(magic_)) return ReadBinary(samples, count);
        for (std::size_t i = 0; i < count; ++i) {
            int c = in_.sgetc();
            while (IsAnymapSpace(c))
                c = in_.snextc();
            if (c == kEnd) return i;
            const auto value = magic_ == 1 ? NextBit(c) : NextNumber(c);
            if (!value) ThrowJunk(y, i);
            samples[i] = *value;
        }
        return count;
    }

private:
    // What a junk message shows of the word it found.
    static constexpr std::size_t kShown = 12;

    // Plain bitmaps hold one character per pixel, separated or not.
    std::optional<std::uint32_t> NextBit(int c) {
        if (c != '0' && c != '1') return std::nullopt;
        in_.sbumpc();
        return static_cast<std::uint32_t>(c - '0');
    }

    // A decimal value ended by white space or the end of the file; large values saturate
    // rather than wrap. Its first digits are kept for a junk message.
    std::optional<std::uint32_t> NextNumber(int c) {
        std::uint32_t value = 0;
        digits_.clear();
        for (; c >= '0' && c <= '9'; c = in_.snextc()) {
            if (digits_.size() < kShown) digits_.push_back(static_cast<char>(c));
            value =
                std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(c - '0'), 1u << 20);
        }
        if (digits_.empty() || (c != kEnd && !IsAnymapSpace(c))) return std::nullopt;
        return value;
    }

    // Names the word that stands where sample `index` of row `y` belongs, with bytes that are
    // not printable as \xNN, and its place counted from 1 as a text editor counts.
    [[noreturn]] void ThrowJunk(std::uint32_t y, std::size_t index) {
        constexpr char kHex[] = "0123456789ABCDEF";
        std::string found = magic_ == 1 ? std::string() : digits_;
        int c = in_.sgetc();
        for (; found.size() < kShown && c != kEnd && !IsAnymapSpace(c); c = in_.snextc()) {
            if (c > ' ' && c < 0x7F)
                found.push_back(static_cast<char>(c));
            else
                found += {'\\', 'x', kHex[c >> 4 & 15], kHex[c & 15]};
        }
        if (c != kEnd && !IsAnymapSpace(c)) found += "...";
        throw ImageFileError("The image data holds \"" + found + "\" where a sample belongs (row " +
                             std::to_string(y + 1) + ", column " +
                             std::to_string(index / static_cast<std::size_t>(channels_) + 1) +
                             ").");
    }

    std::size_t ReadBinary(std::uint32_t* samples, std::size_t count) {
        row_.resize(bytes_);
        const auto got = static_cast<std::size_t>(
            std::max<std::streamsize>(0, in_.sgetn(reinterpret_cast<char*>(row_.data()),
                                                   static_cast<std::streamsize>(bytes_))));
        const std::uint8_t* bytes = row_.data();
        if (!wide_) {
            for (std::size_t i = 0; i < got; ++i)
                samples[i] = bytes[i];
            return std::min(got, count);
        }
        const std::size_t whole = got / 2;
        for (std::size_t i = 0; i < whole; ++i)
            samples[i] = std::uint32_t{bytes[2 * i]} << 8 | bytes[2 * i + 1];
        return std::min(whole, count);
    }

    std::streambuf& in_;
    int magic_;
    int channels_;
    bool wide_;
    std::size_t bytes_;
    std::vector<std::uint8_t> row_;
    std::string digits_;
};

// Writes one row of file samples (red, green, blue order for pixmaps) into the display image
// and, for deep files, the pixel map. Samples above maxval are clamped to it.
class RowStore {
public:
    RowStore(RasterImage& image, const AnymapHeader& header)
        : image_(image), header_(header), channels_(AnymapChannels(header.magic)) {
        if (IsBitmapAnymap(header.magic)) return;
        toDisplay_.resize(header.maxval + 1);
        for (std::uint32_t v = 0; v <= header.maxval; ++v)
            toDisplay_[v] = static_cast<std::uint8_t>(MulDiv(v, 255, header.maxval));
    }

    void Store(std::uint32_t y, std::uint32_t* samples, std::size_t count) {
        std::fill(samples + count, samples + std::size_t{header_.width} * channels_, 0u);
        std::uint8_t* display =
            image_.display->TopRow() + std::ptrdiff_t{image_.display->Pitch()} * y;
        if (IsBitmapAnymap(header_.magic)) return StoreBits(display, samples);
        const std::size_t values = std::size_t{header_.width} * channels_;
        for (std::size_t i = 0; i < values; ++i)
            samples[i] = std::min(samples[i], header_.maxval);
        // Pixmaps arrive red, green, blue and are held blue, green, red.
        const int last = channels_ - 1;
        for (std::uint32_t x = 0; x < header_.width; ++x)
            for (int c = 0; c < channels_; ++c)
                display[std::size_t{x} * channels_ + static_cast<std::size_t>(last - c)] =
                    toDisplay_[samples[std::size_t{x} * channels_ + static_cast<std::size_t>(c)]];
        if (!image_.pixMap) return;
        std::uint8_t* deep = image_.pixMap->Row(y);
        for (std::uint32_t x = 0; x < header_.width; ++x)
            for (int c = 0; c < channels_; ++c) {
                const auto s = static_cast<std::uint16_t>(
                    samples[std::size_t{x} * channels_ + static_cast<std::size_t>(c)]);
                std::memcpy(
                    deep + (std::size_t{x} * channels_ + static_cast<std::size_t>(last - c)) * 2,
                    &s, 2);
            }
    }

private:
    void StoreBits(std::uint8_t* display, const std::uint32_t* samples) {
        std::memset(display, 0, (std::size_t{header_.width} + 7) / 8);
        for (std::uint32_t x = 0; x < header_.width; ++x)
            if (samples[x] != 0) display[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }

    RasterImage& image_;
    const AnymapHeader& header_;
    int channels_;
    std::vector<std::uint8_t> toDisplay_;
};

// P4 rows are the display rows' bytes; bits past the width are cleared.
bool ReadBinaryBitmap(std::streambuf& in, const AnymapHeader& header, CDisplayImage& display) {
    const auto rowBytes = static_cast<std::streamsize>((std::uint64_t{header.width} + 7) / 8);
    const auto tailMask = static_cast<std::uint8_t>(0xFF00 >> ((header.width - 1) % 8 + 1));
    for (std::uint32_t y = 0; y < header.height; ++y) {
        auto* row = reinterpret_cast<char*>(display.TopRow() + std::ptrdiff_t{display.Pitch()} * y);
        if (in.sgetn(row, rowBytes) != rowBytes) return false;
        row[rowBytes - 1] =
            static_cast<char>(static_cast<std::uint8_t>(row[rowBytes - 1]) & tailMask);
    }
    return true;
}

// Binary 8-bit rasters, the common case, go straight from the file's bytes into display rows.
bool ReadByteRaster(std::streambuf& in, const AnymapHeader& header, CDisplayImage& display) {
    const int channels = AnymapChannels(header.magic);
    const std::size_t rowBytes = std::size_t{header.width} * static_cast<std::size_t>(channels);
    const ByteSampleScale scale(header.maxval);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const auto got = static_cast<std::size_t>(
            std::max<std::streamsize>(0, in.sgetn(reinterpret_cast<char*>(row.data()),
                                                  static_cast<std::streamsize>(rowBytes))));
        std::fill(row.begin() + static_cast<std::ptrdiff_t>(got), row.end(), std::uint8_t{0});
        StoreByteRow(row.data(), display.TopRow() + std::ptrdiff_t{display.Pitch()} * y, rowBytes,
                     channels, scale);
        if (got != rowBytes) return false;
    }
    return true;
}

// Binary 16-bit rasters: the words of a row go to the pixel map in one pass and the display row
// is made from them.
bool ReadWordRaster(std::streambuf& in, const AnymapHeader& header, RasterImage& image) {
    const int channels = AnymapChannels(header.magic);
    const std::size_t samples = std::size_t{header.width} * static_cast<std::size_t>(channels);
    std::vector<std::uint8_t> toDisplay(header.maxval + 1);
    for (std::uint32_t v = 0; v <= header.maxval; ++v)
        toDisplay[v] = static_cast<std::uint8_t>(MulDiv(v, 255, header.maxval));
    std::vector<std::uint8_t> row(2 * samples);
    bool complete = true;
    for (std::uint32_t y = 0; y < header.height; ++y) {
        std::size_t got = 0;
        if (complete)
            got = static_cast<std::size_t>(
                std::max<std::streamsize>(0, in.sgetn(reinterpret_cast<char*>(row.data()),
                                                      static_cast<std::streamsize>(row.size()))));
        complete = complete && got == row.size();
        // A sample cut in half is missing, as the samples after it are.
        std::fill(row.begin() + static_cast<std::ptrdiff_t>(got / 2 * 2), row.end(),
                  std::uint8_t{0});
        StoreWordRow(row.data(), image.pixMap->Row(y), header.width, channels, header.maxval);
        const auto* words = reinterpret_cast<const std::uint16_t*>(image.pixMap->Row(y));
        std::uint8_t* display =
            image.display->TopRow() + std::ptrdiff_t{image.display->Pitch()} * y;
        for (std::size_t i = 0; i < samples; ++i)
            display[i] = toDisplay[words[i]];
    }
    return complete;
}

bool ReadSampleRaster(std::streambuf& in, const AnymapHeader& header, RasterImage& image) {
    SampleReader reader(in, header);
    RowStore store(image, header);
    const std::size_t count = std::size_t{header.width} * AnymapChannels(header.magic);
    std::vector<std::uint32_t> samples(count);
    bool complete = true;
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const std::size_t got = complete ? reader.ReadRow(y, samples.data(), count) : 0;
        complete = complete && got == count;
        store.Store(y, samples.data(), got);
    }
    return complete;
}

ImageMode DisplayModeOfMagic(int magic) {
    if (IsBitmapAnymap(magic)) return ModeBitmap;
    return AnymapChannels(magic) == 3 ? ModeRGB : ModeGray;
}

// The file from its first byte.
RasterImage ReadAnymap(std::filebuf& file) {
    const AnymapHeader header = ReadAnymapHeader(file);
    CheckAnymapRasterSize(header, file);

    RasterImage image;
    image.maxChannelValue = header.maxval;
    image.display =
        CreateEmptyDisplayImage(header.width, header.height, DisplayModeOfMagic(header.magic));
    if (!image.display) throw ImageFileError(kImageCreationFailed);
    if (header.maxval > 255) {
        try {
            image.pixMap = CreatePixMap({0, 0, header.width, header.height},
                                        AnymapChannels(header.magic) == 3 ? ModeRGB48 : ModeGray16);
        } catch (const IOException&) {
            throw ImageFileError(kImageCreationFailed);
        }
    }
    bool complete;
    if (header.magic == 4)
        complete = ReadBinaryBitmap(file, header, *image.display);
    else if (!IsPlainAnymap(header.magic) && header.maxval <= 255)
        complete = ReadByteRaster(file, header, *image.display);
    else if (!IsPlainAnymap(header.magic))
        complete = ReadWordRaster(file, header, image);
    else
        complete = ReadSampleRaster(file, header, image);
    image.incomplete = !complete;
    return image;
}

} // namespace

RasterImage ReadAnymapFile(const std::string& path) {
    std::filebuf file;
    errno = 0;
    if (!file.open(path, std::ios::in | std::ios::binary))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : ENOENT));
    return WithAnymapReadErrors([&file] { return ReadAnymap(file); });
}
