#include "tile_codec.h"

#include "image_mode.h"
#include "png_tile_codec.h"
#include "qvt_error.h"
#include "qvt_tile_codec.h"

#include <array>

namespace KLD {

namespace {

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

std::uint8_t ChannelsFromMode(std::uint8_t mode) {
    switch (mode) {
    case ModeBitmap:
    case ModeGray:
    case ModeIndexed:
    case ModeGray16:
    case ModeGray32:
        return 1;
    case ModeCMYK:
    case ModeCMYK64:
    case ModeARGB:
        return 4;
    default:
        return 3;
    }
}

std::unique_ptr<CImage> NewCodec(std::uint8_t kind) {
    if (kind == KindWavelet) return std::make_unique<CQVT>();
    if (kind == KindPng) return std::make_unique<CPNG>();
    return nullptr;
}

} // namespace

void CImage::WriteTag(CQVTStream& stream, std::uint64_t& count) const {
    const std::array<std::uint8_t, kTileTagSize> tag{'K', 'L', 'D', GetKind()};
    WriteBytes(stream, tag.data(), tag.size());
    count += tag.size();
}

TileHeader NormalizeTileHeader(TileHeader header) {
    if (header.mode == ModeNotGiven) header.mode = ModeFromBitsPerPixel(header.bitsPerPixel);
    if (header.bitsPerPixel == 0) header.bitsPerPixel = BitsPerPixelFromMode(header.mode);
    if (header.mode == ModeRGB && header.bitsPerPixel == 32) header.mode = ModeARGB;
    if (header.channels == 0) header.channels = ChannelsFromMode(header.mode);
    return header;
}

std::unique_ptr<CImage> CreateTileCodec(const TileHeader& header, std::uint8_t kind) {
    const TileHeader normalized = NormalizeTileHeader(header);
    std::unique_ptr<CImage> codec = NewCodec(kind);
    if (!codec) return nullptr;
    if (codec->SetHeader(normalized)) return codec;
    if (kind != KindPng) return nullptr;
    codec = NewCodec(KindWavelet);
    return codec->SetHeader(normalized) ? std::move(codec) : nullptr;
}

std::unique_ptr<CImage> CreateTileCodecFromStream(CQVTStream& stream) {
    std::array<std::uint8_t, kTileTagSize> tag{};
    ReadBytes(stream, tag.data(), tag.size());
    const auto startsWith = [&tag](std::uint8_t a, std::uint8_t b, std::uint8_t c) {
        return tag[0] == a && tag[1] == b && tag[2] == c;
    };
    const auto unread = [&stream] {
        stream.SetPos(PosFromCurrent, -static_cast<std::int64_t>(kTileTagSize));
    };
    if (startsWith('Q', 'V', 'T')) {
        unread();
        return std::make_unique<CQVT>();
    }
    if (tag[0] == 0x89 && tag[1] == 'P' && tag[2] == 'N' && tag[3] == 'G') {
        unread();
        return std::make_unique<CPNG>();
    }
    if (startsWith('K', 'L', 'D') && (tag[3] == KindWavelet || tag[3] == KindPng))
        return NewCodec(tag[3]);
    ThrowCodecError(ErrorWrongFormat);
}

void CheckTileCodecMatches(const CImage& codec, const TileHeader& tile) {
    const TileHeader expected = NormalizeTileHeader(tile);
    const bool matches = codec.GetWidth() == expected.width &&
                         codec.GetHeight() == expected.height && codec.GetMode() == expected.mode &&
                         codec.GetBitsPerPixel() == expected.bitsPerPixel &&
                         codec.GetChannels() == expected.channels;
    if (!matches) ThrowCodecError(ErrorWrongFormat);
}

} // namespace KLD
