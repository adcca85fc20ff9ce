#include "qvt_format.h"

#include "byte_order.h"
#include "image_mode.h"

#include <algorithm>
#include <cstring>

namespace {

// The mode a header without one gets from its bits per pixel.
std::uint8_t ModeFromBitsPerPixel(std::uint8_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        return ModeBitmap;
    case 8:
        return ModeGray;
    case 12:
        return ModeRGB12;
    case 16:
        return ModeRGB16;
    case 32:
        return ModeARGB;
    case 48:
        return ModeRGB48;
    default:
        return ModeRGB;
    }
}

std::uint8_t BitsPerPixelFromMode(std::uint8_t mode) {
    switch (mode) {
    case ModeBitmap:
        return 1;
    case ModeGray:
    case ModeIndexed:
        return 8;
    case ModeCMYK:
    case ModeARGB:
    case ModeGray32:
        return 32;
    case ModeGray16:
    case ModeRGB16:
        return 16;
    case ModeRGB48:
    case ModeLab48:
        return 48;
    case ModeCMYK64:
        return 64;
    case ModeRGB12:
        return 12;
    default:
        return 24;
    }
}

// The bits per pixel a mode demands, or 0 for modes that take what the writer says.
std::uint8_t RequiredBitsPerPixel(std::uint8_t mode) {
    switch (mode) {
    case ModeRGB:
    case ModeLab:
        return 24;
    case ModeHSL:
    case ModeHSB:
    case ModeMultichannel:
    case ModeDuotone:
    case ModeDeepMultichannel:
    case ModeDuotone16:
    case ModeReserved:
    case ModeNotGiven:
        return 0;
    default:
        return mode < kImageModeCount ? BitsPerPixelFromMode(mode) : 0;
    }
}

// Modes whose channels after the first may be stored at half size.
bool HasHalvableChroma(std::uint8_t mode) {
    switch (mode) {
    case ModeRGB:
    case ModeCMYK:
    case ModeLab:
    case ModeRGB48:
    case ModeLab48:
    case ModeCMYK64:
    case ModeARGB:
        return true;
    default:
        return false;
    }
}

} // namespace

std::uint8_t ChannelsFromMode(std::uint8_t mode) {
    switch (mode) {
    case ModeBitmap:
    case ModeGray:
    case ModeIndexed:
    case ModeGray16:
    case ModeGray32:
        return 1;
    case ModeRGB:
    case ModeLab:
    case ModeRGB48:
    case ModeLab48:
    case ModeRGB12:
    case ModeRGB16:
        return 3;
    case ModeCMYK:
    case ModeCMYK64:
    case ModeARGB:
        return 4;
    default:
        return 0;
    }
}

bool HasQVTSignature(const QVTLeadIn& leadIn) {
    return leadIn.signature == std::array<std::uint8_t, 3>{'Q', 'V', 'T'};
}

std::array<std::uint8_t, kLeadInSize> StoreLeadIn(const QVTLeadIn& leadIn) {
    std::array<std::uint8_t, kLeadInSize> bytes{};
    std::copy(leadIn.signature.begin(), leadIn.signature.end(), bytes.begin());
    bytes[3] = leadIn.version;
    StoreLE32(&bytes[4], leadIn.headerSize);
    return bytes;
}

QVTLeadIn MakeLeadIn(std::uint8_t flags, std::uint8_t mode, std::uint32_t userDataLength) {
    QVTLeadIn leadIn;
    leadIn.version = kVersionWritten | flags;
    leadIn.headerSize = static_cast<std::uint32_t>(
        kHeaderSize + (mode == ModeIndexed ? kColorTableSize : 0) + userDataLength);
    return leadIn;
}

std::array<std::uint8_t, kHeaderSize> StoreHeader(const QVTHeader& header) {
    std::array<std::uint8_t, kHeaderSize> bytes{};
    StoreLE32(&bytes[0], header.width);
    StoreLE32(&bytes[4], header.height);
    bytes[8] = header.levels;
    bytes[9] = header.quality;
    bytes[10] = header.bitsPerPixel;
    bytes[11] = header.channels;
    bytes[12] = header.mode;
    bytes[13] = header.usedBitsPerChannel;
    StoreLE16(&bytes[14], header.writerStamp);
    return bytes;
}

QVTHeader LoadHeader(const std::uint8_t* bytes, std::size_t size) {
    // Overlay the stored prefix on the defaults, so a short header keeps the rest.
    auto full = StoreHeader(QVTHeader{});
    std::memcpy(full.data(), bytes, std::min(size, kHeaderSize));
    QVTHeader header;
    header.width = LoadLE32(&full[0]);
    header.height = LoadLE32(&full[4]);
    header.levels = full[8];
    header.quality = full[9];
    header.bitsPerPixel = full[10];
    header.channels = full[11];
    header.mode = full[12];
    header.usedBitsPerChannel = full[13];
    header.writerStamp = LoadLE16(&full[14]);
    return header;
}

int VersionNumber(std::uint8_t version) {
    if (version & kVersionPackedBitmap) return 7;
    if (version & kVersionLongHeaderSize) return 6;
    if (version & kVersionSeparateBands) return 5;
    if (version & kVersionBase) return 2;
    return 1;
}

int MaxChannelDepth(std::uint8_t version) { return version & kVersionDeepChannels ? 32 : 16; }

bool IsModeSupported(std::uint32_t mode) {
    return mode <= ModeHSB || (mode >= ModeLab && mode <= ModeCMYK64) ||
           (mode >= ModeARGB && mode <= ModeRGB16);
}

bool CompleteHeader(QVTHeader& header) {
    header.writerStamp = kWriterStamp;
    if (header.mode == ModeNotGiven) header.mode = ModeFromBitsPerPixel(header.bitsPerPixel);
    if (header.bitsPerPixel == 0) header.bitsPerPixel = BitsPerPixelFromMode(header.mode);

    // RGB with an alpha byte is ARGB, and ARGB has four planes: a count of three would leave the
    // alpha plane unallocated while import and export still serve it.
    if (header.mode == ModeRGB && header.bitsPerPixel == 32) {
        header.mode = ModeARGB;
        if (header.channels == 3) header.channels = 4;
    }
    const std::uint8_t required = RequiredBitsPerPixel(header.mode);
    if (required != 0 && header.bitsPerPixel != required) return false;

    if (header.channels == 0) header.channels = ChannelsFromMode(header.mode);
    if (header.channels == 0) return false;

    const auto depth = std::min(header.bitsPerPixel / header.channels, 31);
    if (header.usedBitsPerChannel == 0 || header.usedBitsPerChannel > depth)
        header.usedBitsPerChannel = static_cast<std::uint8_t>(depth);
    return true;
}

ChannelLayout DeriveChannelLayout(const QVTHeader& header) {
    ChannelLayout layout;
    layout.chromaHalved = header.quality > 3 && HasHalvableChroma(header.mode);
    layout.quantisation =
        static_cast<std::uint8_t>(layout.chromaHalved ? header.quality - 1 : header.quality);
    const int channels = std::min<int>(header.channels, kMaxChannels);
    for (int c = 0; c < channels; ++c) {
        const bool halved = layout.chromaHalved && c > 0;
        // (n + 1) / 2 computed in 64 bits: n may be 0xFFFFFFFF.
        layout.widths[c] = halved
                               ? static_cast<std::uint32_t>((std::uint64_t{header.width} + 1) / 2)
                               : header.width;
        layout.heights[c] = halved
                                ? static_cast<std::uint32_t>((std::uint64_t{header.height} + 1) / 2)
                                : header.height;
    }
    return layout;
}
