// Helpers shared by the tile codec tests: coding a pixel map as a tile record in memory, reading
// a record back the way the container does, and streams that fail on purpose.
#pragma once

#include "container_fixture.h"
#include "pix_map.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "qvt_stream.h"
#include "test_support.h"
#include "tile_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

inline TileHeader HeaderOf(const CPixMap& map, std::uint8_t quality = 0) {
    TileHeader header;
    header.width = map.Width();
    header.height = map.Height();
    header.quality = quality;
    header.bitsPerPixel = map.BitsPerPixel();
    header.mode = map.GetMode();
    return header;
}

// The tile record (with its tag) of `map` coded by the codec CreateTileCodec gives for `kind`.
inline Bytes EncodeTile(const CPixMap& map, std::uint8_t kind, std::uint8_t quality = 0,
                        bool writeTag = true) {
    const std::unique_ptr<KLD::CImage> codec = KLD::CreateTileCodec(HeaderOf(map, quality), kind);
    if (!codec) {
        ADD_FAILURE() << "no codec for mode " << +map.GetMode();
        return {};
    }
    codec->ImportPixels(map.GetBits(), map.Stride(), map.BitsPerPixel());
    if (map.GetMode() == ModeIndexed) codec->SetColorTable(256, map.GetColorTable());
    CQVTMemoryStream stream(0);
    std::uint64_t count = 0;
    codec->Write(stream, writeTag, count);
    EXPECT_EQ(count, stream.DataSize());
    return {stream.Data(), stream.Data() + stream.DataSize()};
}

// Reads a tile record as the container does: codec from the tag, open, check it is the expected
// tile, decode to full size, export into a fresh map (with the colour table of an indexed tile).
inline std::unique_ptr<CPixMap> DecodeTile(CQVTStream& stream, const TileHeader& tile) {
    const std::unique_ptr<KLD::CImage> codec = KLD::CreateTileCodecFromStream(stream);
    codec->Open(stream);
    KLD::CheckTileCodecMatches(*codec, tile);
    codec->Read(0);
    auto map = CreatePixMap(PixRect{0, 0, tile.width, tile.height}, tile.mode);
    codec->ExportPixels(map->GetBits(), map->Stride(), map->BitsPerPixel());
    if (tile.mode == ModeIndexed) codec->GetColorTable(0, 256, map->AllocColorTable());
    return map;
}

inline std::unique_ptr<CPixMap> DecodeTile(Bytes record, const TileHeader& tile) {
    CQVTMemoryStream stream(record.data(), record.size());
    return DecodeTile(stream, tile);
}

// A memory stream that stops after `limit` bytes of transfer: short counts, or an IOException
// when `throws` is set.
class CLimitedStream final : public CQVTStream {
public:
    CLimitedStream(Bytes bytes, std::uint64_t limit, bool throws)
        : m_bytes(std::move(bytes)), m_inner(m_bytes.data(), m_bytes.size()), m_limit(limit),
          m_throws(throws) {}

    void Write(std::int32_t& count, const void* bytes) override {
        count = Allow(count);
        m_inner.Write(count, bytes);
    }
    void Read(std::int32_t& count, void* bytes) override {
        count = Allow(count);
        m_inner.Read(count, bytes);
    }
    void SetPos(std::int16_t mode, std::int64_t offset) override { m_inner.SetPos(mode, offset); }
    std::uint64_t GetPos() override { return m_inner.GetPos(); }
    bool IsValid() const override { return true; }

private:
    std::int32_t Allow(std::int32_t count) {
        const std::uint64_t left = m_limit - m_used;
        if (static_cast<std::uint64_t>(count) > left) {
            if (m_throws) ThrowCodecError(ErrorShortRead);
            count = static_cast<std::int32_t>(left);
        }
        m_used += static_cast<std::uint64_t>(count);
        return count;
    }

    Bytes m_bytes;
    CQVTMemoryStream m_inner;
    std::uint64_t m_limit;
    std::uint64_t m_used = 0;
    bool m_throws;
};
