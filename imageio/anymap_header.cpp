#include "anymap_header.h"

#include "qvt_error.h"
#include "raster_image.h"

#include <cctype>
#include <optional>
#include <string>

namespace {

// Header lines longer than this are refused, so a header cannot make the reader buffer a file.
constexpr std::size_t kMaxLineLength = 999;
// Sizes and maxval larger than this are refused before anything is allocated.
constexpr std::int64_t kMaxSide = 0x7FFFFFFF;
constexpr std::int64_t kMaxSampleValue = 65535;
// How many times the raster bytes a file holds its header may announce (plus some slack).
constexpr std::uint64_t kLargestShortfall = 64;
constexpr std::uint64_t kShortfallSlack = 4096;

[[noreturn]] void ThrowHeaderError() { throw ImageFileError(kCannotReadHeader); }

std::string ReadLine(std::streambuf& in) {
    std::string line;
    for (;;) {
        const int c = in.sbumpc();
        if (c == std::char_traits<char>::eof()) {
            if (line.empty()) ThrowHeaderError();
            return line;
        }
        if (c == '\n') return line;
        if (line.size() == kMaxLineLength) ThrowHeaderError();
        line.push_back(static_cast<char>(c));
    }
}

// The next line that is not a comment ("#" in the first column).
std::string ReadElementLine(std::streambuf& in) {
    for (;;) {
        std::string line = ReadLine(in);
        if (line.empty() || line[0] != '#') return line;
    }
}

// A decimal integer after optional white space and sign, as "%d" reads it; values beyond
// the limit are refused rather than wrapped.
std::optional<std::int64_t> ParseNumber(const std::string& line, std::size_t& at,
                                        std::int64_t limit) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])))
        ++at;
    bool negative = false;
    if (at < line.size() && (line[at] == '-' || line[at] == '+')) negative = line[at++] == '-';
    if (at >= line.size() || !std::isdigit(static_cast<unsigned char>(line[at])))
        return std::nullopt;
    std::int64_t value = 0;
    while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) {
        value = value * 10 + (line[at++] - '0');
        if (value > limit) return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<std::uint64_t> RemainingBytes(std::streambuf& in) {
    const auto here = in.pubseekoff(0, std::ios::cur, std::ios::in);
    const auto end = in.pubseekoff(0, std::ios::end, std::ios::in);
    if (here == std::streampos(-1) || end == std::streampos(-1)) return std::nullopt;
    in.pubseekpos(here, std::ios::in);
    return static_cast<std::uint64_t>(end - here);
}

// The fewest bytes that can hold the raster: binary rows exactly, plain text one digit and one
// separator per value.
std::uint64_t MinimumRasterBytes(const AnymapHeader& header) {
    const std::uint64_t values =
        std::uint64_t{header.width} * header.height * AnymapChannels(header.magic);
    if (IsPlainAnymap(header.magic)) return 2 * values - 1;
    if (header.magic == 4) return (std::uint64_t{header.width} + 7) / 8 * header.height;
    return values * (header.maxval > 255 ? 2 : 1);
}

} // namespace

void CheckAnymapRasterSize(const AnymapHeader& header, std::streambuf& in) {
    if (const auto remaining = RemainingBytes(in);
        remaining && MinimumRasterBytes(header) > *remaining * kLargestShortfall + kShortfallSlack)
        ThrowHeaderError();
}

AnymapHeader ReadAnymapHeader(std::streambuf& in) {
    AnymapHeader header;
    const std::string magic = ReadElementLine(in);
    if (magic.size() < 2 || magic[0] != 'P' || magic[1] < '0' || magic[1] > '6')
        ThrowCodeError(ErrorWrongFormat);
    header.magic = magic[1] - '0';

    const std::string size = ReadElementLine(in);
    std::size_t at = 0;
    const auto width = ParseNumber(size, at, kMaxSide);
    const auto height = ParseNumber(size, at, kMaxSide);
    if (!width || !height || *width < 1 || *height < 1) ThrowHeaderError();
    // "P0" names no anymap at all.
    if (header.magic == 0) ThrowCodeError(ErrorWrongFormat);
    header.width = static_cast<std::uint32_t>(*width);
    header.height = static_cast<std::uint32_t>(*height);

    if (header.magic == 1 || header.magic == 4) return header;
    const std::string maxvalLine = ReadElementLine(in);
    at = 0;
    const auto maxval = ParseNumber(maxvalLine, at, kMaxSampleValue);
    if (!maxval || *maxval < 1) ThrowHeaderError();
    header.maxval = static_cast<std::uint32_t>(*maxval);
    return header;
}
