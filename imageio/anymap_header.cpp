#include "anymap_header.h"

#include "qvt_error.h"
#include "raster_image.h"

#include <cerrno>
#include <optional>
#include <string>
#include <system_error>

namespace {

// A longer token is refused without reading it all: no value the header holds needs as many
// characters, so a header cannot make the reader buffer a file.
constexpr std::size_t kMaxTokenLength = 32;
// Sizes and maxval larger than this are refused before anything is allocated.
constexpr std::int64_t kMaxSide = 0x7FFFFFFF;
constexpr std::int64_t kMaxSampleValue = 65535;
// How many times the raster bytes a file holds its header may announce (plus some slack).
constexpr std::uint64_t kLargestShortfall = 64;
constexpr std::uint64_t kShortfallSlack = 4096;

[[noreturn]] void ThrowHeaderError() { throw ImageFileError(kCannotReadHeader); }

constexpr int kEnd = std::char_traits<char>::eof();

// Consumes a comment through its line end.
void SkipComment(std::streambuf& in) {
    for (int c = in.sbumpc(); c != kEnd && c != '\n' && c != '\r'; c = in.sbumpc()) {
    }
}

// The next token after white space and comments, and the byte that ends it: one white-space
// byte, or a whole comment. Empty at the end of the input; at most kMaxTokenLength + 1
// characters, so that an overlong token fails every check.
std::string NextToken(std::streambuf& in) {
    int c = in.sbumpc();
    for (; IsAnymapSpace(c) || c == '#'; c = in.sbumpc())
        if (c == '#') SkipComment(in);
    std::string token;
    for (; c != kEnd && !IsAnymapSpace(c); c = in.sbumpc()) {
        if (c == '#') {
            SkipComment(in);
            break;
        }
        token.push_back(static_cast<char>(c));
        if (token.size() > kMaxTokenLength) break;
    }
    return token;
}

// A token of decimal digits with a value from 1 to `limit`.
std::uint32_t ParseValue(const std::string& token, std::int64_t limit) {
    if (token.empty() || token.size() > kMaxTokenLength) ThrowHeaderError();
    std::int64_t value = 0;
    for (const char c : token) {
        if (c < '0' || c > '9') ThrowHeaderError();
        value = value * 10 + (c - '0');
        if (value > limit) ThrowHeaderError();
    }
    if (value < 1) ThrowHeaderError();
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint64_t> RemainingBytes(std::streambuf& in) {
    const auto here = in.pubseekoff(0, std::ios::cur, std::ios::in);
    const auto end = in.pubseekoff(0, std::ios::end, std::ios::in);
    if (here == std::streampos(-1) || end == std::streampos(-1)) return std::nullopt;
    in.pubseekpos(here, std::ios::in);
    return static_cast<std::uint64_t>(end - here);
}

// The fewest bytes that can hold the raster: binary rows exactly, plain text one digit and one
// separator per value (no separator in plain bitmaps).
std::uint64_t MinimumRasterBytes(const AnymapHeader& header) {
    const std::uint64_t values =
        std::uint64_t{header.width} * header.height * AnymapChannels(header.magic);
    if (header.magic == 1) return values;
    if (IsPlainAnymap(header.magic)) return 2 * values - 1;
    if (header.magic == 4) return (std::uint64_t{header.width} + 7) / 8 * header.height;
    return values * (header.maxval > 255 ? 2 : 1);
}

} // namespace

void ThrowAnymapReadFailure(const std::ios_base::failure& failure) {
    const std::error_code code = failure.code();
    const bool system =
        code.category() == std::system_category() || code.category() == std::generic_category();
    ThrowCodeError(static_cast<std::uint32_t>(system && code.value() > 0 ? code.value() : EIO));
}

void CheckAnymapRasterSize(const AnymapHeader& header, std::streambuf& in) {
    if (const auto remaining = RemainingBytes(in);
        remaining && MinimumRasterBytes(header) > *remaining * kLargestShortfall + kShortfallSlack)
        ThrowHeaderError();
}

AnymapHeader ReadAnymapHeader(std::streambuf& in) {
    AnymapHeader header;
    const std::string magic = NextToken(in);
    if (magic.empty()) ThrowHeaderError();
    if (magic.size() != 2 || magic[0] != 'P' || magic[1] < '0' || magic[1] > '6')
        ThrowCodeError(ErrorWrongFormat);
    header.magic = magic[1] - '0';
    header.width = ParseValue(NextToken(in), kMaxSide);
    header.height = ParseValue(NextToken(in), kMaxSide);
    // "P0" names no anymap at all.
    if (header.magic == 0) ThrowCodeError(ErrorWrongFormat);
    if (!IsBitmapAnymap(header.magic)) header.maxval = ParseValue(NextToken(in), kMaxSampleValue);
    return header;
}
