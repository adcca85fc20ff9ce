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
#include <vector>

namespace {

// Samples of one row in file order, from plain text or binary bytes; returns how many arrived.
class SampleReader {
public:
    SampleReader(std::streambuf& in, const AnymapHeader& header)
        : in_(in), plain_(IsPlainAnymap(header.magic)), wide_(header.maxval > 255),
          bytes_(plain_
                     ? 0
                     : std::size_t{header.width} * AnymapChannels(header.magic) * (wide_ ? 2 : 1)) {
    }

    std::size_t ReadRow(std::uint32_t* samples, std::size_t count) {
        return plain_ ? ReadPlain(samples, count) : ReadBinary(samples, count);
    }

private:
    std::size_t ReadPlain(std::uint32_t* samples, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = NextNumber();
            if (!value) return i;
            samples[i] = *value;
        }
        return count;
    }

    // The next whitespace-separated decimal value; large values saturate rather than wrap.
    std::optional<std::uint32_t> NextNumber() {
        int c = in_.sgetc();
        while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            c = in_.snextc();
        if (c < '0' || c > '9') return std::nullopt;
        std::uint32_t value = 0;
        while (c >= '0' && c <= '9') {
            value =
                std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(c - '0'), 1u << 20);
            c = in_.snextc();
        }
        return value;
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
    bool plain_;
    bool wide_;
    std::size_t bytes_;
    std::vector<std::uint8_t> row_;
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

bool ReadSampleRaster(std::streambuf& in, const AnymapHeader& header, RasterImage& image) {
    SampleReader reader(in, header);
    RowStore store(image, header);
    const std::size_t count = std::size_t{header.width} * AnymapChannels(header.magic);
    std::vector<std::uint32_t> samples(count);
    bool complete = true;
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const std::size_t got = complete ? reader.ReadRow(samples.data(), count) : 0;
        complete = complete && got == count;
        store.Store(y, samples.data(), got);
    }
    return complete;
}

ImageMode DisplayModeOfMagic(int magic) {
    if (IsBitmapAnymap(magic)) return ModeBitmap;
    return AnymapChannels(magic) == 3 ? ModeRGB : ModeGray;
}

} // namespace

RasterImage ReadAnymapFile(const std::string& path) {
    std::filebuf file;
    errno = 0;
    if (!file.open(path, std::ios::in | std::ios::binary))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : ENOENT));
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
    else
        complete = ReadSampleRaster(file, header, image);
    image.incomplete = !complete;
    return image;
}
