// Temporary directories, byte files, random pixel maps and anymap files for the image-file
// tests.
#pragma once

#include "pixmap_factory.h"
#include "raster_image.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pictor_XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An RGB image whose pixel (x, y) is (red x, green y, blue x + y) modulo 256.
inline RasterImage GradientImage(std::uint32_t width, std::uint32_t height) {
    RasterImage image;
    image.display = CreateEmptyDisplayImage(width, height, ModeRGB);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = image.display->TopRow() + std::ptrdiff_t{image.display->Pitch()} * y;
        for (std::uint32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x + y);
            row[3 * x + 1] = static_cast<std::uint8_t>(y);
            row[3 * x + 2] = static_cast<std::uint8_t>(x);
        }
    }
    return image;
}

// Samples 0 ... maximum, always including 0 and the maximum.
inline std::vector<std::uint32_t> RandomSamples(std::size_t count, std::uint32_t maximum,
                                                std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::uint32_t> value(0, maximum);
    std::vector<std::uint32_t> samples(count);
    for (auto& s : samples)
        s = value(random);
    samples.front() = 0;
    samples.back() = maximum;
    return samples;
}

// A map of a 16- or 32-bit mode (Word the channel type) with random samples 0 ... maximum.
template <typename Word>
std::unique_ptr<CPixMap> RandomDeepMap(ImageMode mode, std::uint32_t width, std::uint32_t height,
                                       std::uint32_t maximum) {
    auto map = CreatePixMap({0, 0, width, height}, mode);
    const std::size_t perRow = std::size_t{width} * map->BitsPerPixel() / (8 * sizeof(Word));
    const auto samples = RandomSamples(perRow * height, maximum, maximum);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::size_t i = 0; i < perRow; ++i) {
            const auto word = static_cast<Word>(samples[y * perRow + i]);
            std::memcpy(map->Row(y) + i * sizeof(Word), &word, sizeof(Word));
        }
    return map;
}

inline bool SamePixels(const CPixMap& a, const CPixMap& b) {
    return a.GetMode() == b.GetMode() && a.Width() == b.Width() && a.Height() == b.Height() &&
           a.EqualRect(a.Rect(), b, b.Rect());
}

struct Anymap {
    int magic;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t maxval;
    std::vector<std::uint32_t> samples; // file order: red, green, blue for pixmaps
};

inline int ChannelsOf(int magic) { return magic == 3 || magic == 6 ? 3 : 1; }

// An anymap file as WriteAnymapFile lays it out, or (`compact`) as other writers may: tokens
// sharing lines with comments between them, plain bitmaps without separators, other plain samples
// split by tabs and CR LF, and the padding bits of binary bitmap rows set.
inline std::string Encode(const Anymap& image, bool compact) {
    const bool bitmap = image.magic == 1 || image.magic == 4;
    std::string out = "P" + std::to_string(image.magic) + (compact ? " " : "\n") +
                      std::to_string(image.width) + (compact ? "#comment\n" : " ") +
                      std::to_string(image.height);
    if (!bitmap) out += (compact ? "\t" : "\n") + std::to_string(image.maxval);
    out += compact ? " " : "\n";
    const std::size_t perRow = std::size_t{image.width} * ChannelsOf(image.magic);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint32_t* row = image.samples.data() + y * perRow;
        if (image.magic <= 3) {
            for (std::size_t i = 0; i < perRow; ++i)
                out += std::to_string(row[i]) + (!compact ? " " : image.magic == 1 ? "" : "\t");
            out += compact ? "\r\n" : "\n";
        } else if (image.magic == 4) {
            for (std::uint32_t x = 0; x < image.width; x += 8) {
                std::uint8_t byte = 0;
                for (std::uint32_t b = 0; b < 8; ++b)
                    byte |= static_cast<std::uint8_t>((x + b < image.width ? row[x + b]
                                                       : compact           ? 1
                                                                           : 0)
                                                      << (7 - b));
                out += static_cast<char>(byte);
            }
        } else {
            for (std::size_t i = 0; i < perRow; ++i) {
                if (image.maxval > 255) out += static_cast<char>(row[i] >> 8);
                out += static_cast<char>(row[i] & 0xFF);
            }
        }
    }
    return out;
}
