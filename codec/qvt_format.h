// The fixed records at the start of QVT data (signature block and image header), their
// little-endian byte layout, and the rules that complete and check a header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Version byte flags.
inline constexpr std::uint8_t kVersionBase = 0x02;
inline constexpr std::uint8_t kVersionDeepChannels = 0x04;   // channels of up to 32 bits
inline constexpr std::uint8_t kVersionRegion = 0x08;         // level data tiled for region reads
inline constexpr std::uint8_t kVersionSeparateBands = 0x10;  // HL and LH not interleaved
inline constexpr std::uint8_t kVersionLongHeaderSize = 0x20; // header-size field is 4 bytes
inline constexpr std::uint8_t kVersionPackedBitmap = 0x40;   // bitmaps store one bit per sample
// What this codec always writes; the caller may add kVersionRegion.
inline constexpr std::uint8_t kVersionWritten = kVersionBase | kVersionDeepChannels |
                                                kVersionSeparateBands | kVersionLongHeaderSize |
                                                kVersionPackedBitmap;

inline constexpr std::size_t kLeadInSize = 8; // with the 4-byte header-size field
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kColorTableSize = 1024;  // 256 entries of blue, green, red, reserved
inline constexpr std::uint16_t kWriterStamp = 0x0957; // 7.21.02 as 7 + 21 << 4 + 2 << 10
inline constexpr int kMaxLevels = 30;
inline constexpr int kMaxChannels = 8;

using ColorTable = std::array<std::uint8_t, kColorTableSize>;

struct QVTLeadIn {
    std::array<std::uint8_t, 3> signature{'Q', 'V', 'T'};
    std::uint8_t version = kVersionWritten;
    // Bytes from the end of the lead-in to the level-length table: 16 + colour table + user data.
    std::uint32_t headerSize = 0;
};

struct QVTHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t levels = 0;
    std::uint8_t quality = 0;
    std::uint8_t bitsPerPixel = 0;
    std::uint8_t channels = 0;
    std::uint8_t mode = 255; // 255: no mode given
    std::uint8_t usedBitsPerChannel = 0;
    std::uint16_t writerStamp = 0;

    bool operator==(const QVTHeader&) const = default;
};

// A tile codec of the container receives the same 16-byte record.
using TileHeader = QVTHeader;

bool HasQVTSignature(const QVTLeadIn& leadIn);
// The lead-in as written: always with the 4-byte header-size field.
std::array<std::uint8_t, kLeadInSize> StoreLeadIn(const QVTLeadIn& leadIn);
// Lead-in for a writer: version 0x76 | flags, header size covering colour table and user data.
QVTLeadIn MakeLeadIn(std::uint8_t flags, std::uint8_t mode, std::uint32_t userDataLength);

std::array<std::uint8_t, kHeaderSize> StoreHeader(const QVTHeader& header);
// Reads the first `size` (at most 16) bytes; fields beyond them keep their defaults.
QVTHeader LoadHeader(const std::uint8_t* bytes, std::size_t size);

// The version number shown to users: 7, 6, 5, 2 or 1 by the highest flag present.
int VersionNumber(std::uint8_t version);
// The deepest channel the writer could code: 32 bits with kVersionDeepChannels, else 16.
int MaxChannelDepth(std::uint8_t version);

// Modes the codec reads and writes (5 and 6 are accepted as the writer describes them).
bool IsModeSupported(std::uint32_t mode);

// The channel count of a mode, or 0 when only the writer can say.
std::uint8_t ChannelsFromMode(std::uint8_t mode);

// Fills in the writer stamp, mode, bits per pixel, channel count and used bits per channel.
// Returns false for an inconsistent header (bits per pixel against mode, or no channel count).
bool CompleteHeader(QVTHeader& header);

// What the header implies but does not store.
struct ChannelLayout {
    std::uint8_t quantisation = 0;
    bool chromaHalved = false; // channels 1.. stored at half size
    std::array<std::uint32_t, kMaxChannels> widths{};
    std::array<std::uint32_t, kMaxChannels> heights{};
};

// For a completed header; channels past kMaxChannels are not described.
ChannelLayout DeriveChannelLayout(const QVTHeader& header);
