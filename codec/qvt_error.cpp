#include "qvt_error.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

// Indexed by code minus kCodecErrorBase. The spelling is what users see and must not change.
constexpr std::array<const char*, 11> kMessages = {
    "no error",
    "memory allocation was not successfull",
    "invalid memory stream position",
    "user break by ESC",
    "wrong qvt version",
    "wrong data file format",
    "image is too small",
    "error in zlib functions",
    "errors related to color table size",
    "errors in png functions",
    "expected data cannot be read",
};

} // namespace

const char* CodecErrorText(std::uint32_t code) {
    if (!IsCodecErrorCode(code) || code - kCodecErrorBase >= kMessages.size()) return nullptr;
    return kMessages[code - kCodecErrorBase];
}

std::string ErrorMessageForCode(std::uint32_t code) {
    if (!IsCodecErrorCode(code)) return std::strerror(static_cast<int>(code));
    const char* text = CodecErrorText(code);
    std::string message = "QVT error: ";
    if (text) return message + text;
    // A code outside the table can only come from a newer component; say which one it was.
    char number[16];
    std::snprintf(number, sizeof number, "0x%08x", static_cast<unsigned>(code));
    return message + "unknown error " + number;
}
