// Error reporting of the codec and the container: one exception type carrying one 32-bit code.
#pragma once

#include <cstdint>
#include <string>

// Codes below this value are operating-system error numbers (errno) passed on unchanged from a
// failed file operation; codes from it upward are the codec's own.
inline constexpr std::uint32_t kCodecErrorBase = 0x20000000;

enum CodecError : std::uint32_t {
    ErrorNone = kCodecErrorBase,
    ErrorOutOfMemory,
    ErrorStreamPosition,
    ErrorUserBreak,
    ErrorWrongVersion,
    ErrorWrongFormat,
    ErrorImageTooSmall,
    ErrorZlib,
    ErrorColorTable,
    ErrorPng,
    ErrorShortRead,
};

// The only exception the codec and the container throw. Thrown by value, caught by reference.
struct IOException {
    std::uint32_t error;
};

[[noreturn]] inline void ThrowCodecError(std::uint32_t code) { throw IOException{code}; }

inline bool IsCodecErrorCode(std::uint32_t code) { return code >= kCodecErrorBase; }

// The fixed message text of a codec code ("memory allocation was not successfull", ...), or
// nullptr for a code outside the codec's table.
const char* CodecErrorText(std::uint32_t code);

// The text a user is shown for any code: the system's own text for errno values, otherwise
// "QVT error: %1" filled with the codec message. Presentation (a message box) is the caller's.
std::string ErrorMessageForCode(std::uint32_t code);
