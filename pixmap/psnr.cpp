// ComputePSNR of every class family. Error sums are accumulated in doubles, pixel by pixel.
#include "pix_map.h"
#include "pixel_access.h"

#include <bit>
#include <cmath>
#include <limits>

namespace {

bool Comparable(const CPixMap& a, const CPixMap& b) {
    return a.GetMode() == b.GetMode() && a.Width() == b.Width() && a.Height() == b.Height();
}

double NotComparable(std::vector<double>& perChannel) {
    perChannel.clear();
    return std::numeric_limits<double>::quiet_NaN();
}

double PixelCount(const CPixMap& map) { return double(map.Width()) * double(map.Height()); }

double Decibels(double ratio) { return 10 * std::log10(ratio); }

// Squared differences per channel; `sample(row, x, c)` gives channel c of pixel x.
template <typename SampleOf>
std::vector<double> ErrorSums(const CPixMap& a, const CPixMap& b, int channels, SampleOf sample) {
    std::vector<double> sums(static_cast<std::size_t>(channels), 0.0);
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        const std::uint8_t* rowA = a.Row(y);
        const std::uint8_t* rowB = b.Row(y);
        for (std::uint64_t x = 0; x < a.Width(); ++x)
            for (int c = 0; c < channels; ++c) {
                const double d = double(sample(rowA, x, c) - sample(rowB, x, c));
                sums[static_cast<std::size_t>(c)] += d * d;
            }
    }
    return sums;
}

// Per-channel values against each channel's own maximum; the total against `maxSquared`.
double FromErrorSums(const std::vector<double>& sums, const std::vector<double>& channelMax,
                     double maxSquared, double pixels, std::vector<double>& perChannel) {
    perChannel.clear();
    double total = 0;
    for (std::size_t c = 0; c < sums.size(); ++c) {
        perChannel.push_back(sums[c] == 0 ? -1 : Decibels(pixels * channelMax[c] / sums[c]));
        total += sums[c];
    }
    if (total == 0) return -1;
    return Decibels(double(sums.size()) * pixels * maxSquared / total);
}

double SameMaximum(const std::vector<double>& sums, double maxSquared, double pixels,
                   std::vector<double>& perChannel) {
    return FromErrorSums(sums, std::vector<double>(sums.size(), maxSquared), maxSquared, pixels,
                         perChannel);
}

// Colors of a missing table count as black, so a map without colors compares as black.
int TableChannel(const std::uint8_t* table, unsigned index, int c) {
    return table ? table[index * 4 + static_cast<unsigned>(c)] : 0;
}

} // namespace

double CPixMap8::ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const {
    if (!Comparable(*this, other)) return NotComparable(perChannel);
    const int channels = BitsPerPixel() / 8;
    const auto sums = ErrorSums(*this, other, channels,
                                [channels](const std::uint8_t* row, std::uint64_t x, int c) {
                                    return std::int64_t{row[x * channels + c]};
                                });
    return SameMaximum(sums, 65025.0, PixelCount(*this), perChannel);
}

double CPixMap16::ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const {
    if (!Comparable(*this, other)) return NotComparable(perChannel);
    const int channels = BitsPerPixel() / 16;
    const auto sums = ErrorSums(
        *this, other, channels, [channels](const std::uint8_t* row, std::uint64_t x, int c) {
            return std::int64_t{LoadSample<std::uint16_t>(row + (x * channels + c) * 2)};
        });
    return SameMaximum(sums, 4294836225.0, PixelCount(*this), perChannel);
}

double CPMIndexed::ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const {
    if (!Comparable(*this, other)) return NotComparable(perChannel);
    // Each map's indices select colors of its own table, so the rows are compared as colors.
    std::vector<double> sums(3, 0.0);
    const std::uint8_t* table = GetColorTable();
    const std::uint8_t* otherTable = other.GetColorTable();
    for (std::uint32_t y = 0; y < Height(); ++y) {
        const std::uint8_t* row = Row(y);
        const std::uint8_t* otherRow = other.Row(y);
        for (std::uint32_t x = 0; x < Width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double d =
                    TableChannel(table, row[x], c) - TableChannel(otherTable, otherRow[x], c);
                sums[static_cast<std::size_t>(c)] += d * d;
            }
    }
    return SameMaximum(sums, 65025.0, PixelCount(*this), perChannel);
}

double CPMGray32::ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const {
    if (!Comparable(*this, other)) return NotComparable(perChannel);
    const auto sums = ErrorSums(*this, other, 1, [](const std::uint8_t* row, std::uint64_t x, int) {
        return std::int64_t{LoadSample<std::uint32_t>(row + x * 4)};
    });
    return SameMaximum(sums, 1152921502459363328.0, PixelCount(*this), perChannel);
}

// The overall value weighs each field's error sum by its own maximum, as the other classes do.
double CPMColorRGB16::ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const {
    if (!Comparable(*this, other)) return NotComparable(perChannel);
    const auto sums =
        ErrorSums(*this, other, 3, [](const std::uint8_t* row, std::uint64_t x, int c) {
            const unsigned word = LoadSample<std::uint16_t>(row + x * 2);
            return std::int64_t{c == 0 ? word & 0x1F : c == 1 ? (word >> 5) & 0x3F : word >> 11};
        });
    const double pixels = PixelCount(*this);
    FromErrorSums(sums, {961.0, 3969.0, 961.0}, 0, pixels, perChannel);
    const double weighted = sums[0] / 961.0 + sums[1] / 3969.0 + sums[2] / 961.0;
    return weighted == 0 ? -1 : Decibels(3 * pixels / weighted);
}

double CPMColorRGB12::ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const {
    if (!Comparable(*this, other)) return NotComparable(perChannel);
    const auto sums =
        ErrorSums(*this, other, 3, [](const std::uint8_t* row, std::uint64_t x, int c) {
            return std::int64_t{GetNibble(row, x * 3 + static_cast<std::uint64_t>(c))};
        });
    return SameMaximum(sums, 225.0, PixelCount(*this), perChannel);
}

// Counts differing pixels only: bits past the width in the last byte of a row are padding,
// which may never have been written.
double CPMBitmap::ComputePSNR(const CPixMap& other, std::vector<double>& perChannel) const {
    if (!Comparable(*this, other)) return NotComparable(perChannel);
    const std::uint32_t width = Width();
    const std::uint64_t fullBytes = width / 8;
    const unsigned tailBits = width % 8;
    const auto tailMask = static_cast<std::uint8_t>(0xFF00u >> tailBits);
    double differing = 0;
    for (std::uint32_t y = 0; y < Height(); ++y) {
        const std::uint8_t* row = Row(y);
        const std::uint8_t* otherRow = other.Row(y);
        for (std::uint64_t i = 0; i < fullBytes; ++i)
            differing += std::popcount(static_cast<unsigned>(row[i] ^ otherRow[i]));
        if (tailBits)
            differing += std::popcount(
                static_cast<unsigned>((row[fullBytes] ^ otherRow[fullBytes]) & tailMask));
    }
    const double result = differing == 0 ? -1 : Decibels(PixelCount(*this) / differing);
    perChannel.assign(1, result);
    return result;
}
