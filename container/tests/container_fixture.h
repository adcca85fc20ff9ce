// Building blocks for container tests: headers of a typical container, containers made in memory,
// and a stream that fails on purpose and logs what reached it.
#pragma once

#include "error_of.h"
#include "kld_ext.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline KLDExtHeader MakeHeader(std::uint32_t width, std::uint32_t height, std::uint16_t tileWidth,
                               std::uint16_t tileHeight) {
    KLDExtHeader header;
    header.mode = 3;
    header.width = width;
    header.height = height;
    header.background = {0x10, 0x20, 0x30};
    header.tileWidth = tileWidth;
    header.tileHeight = tileHeight;
    header.indexCompression = 1;
    header.bitsPerChannel = 8;
    header.defaultQuality = 2;
    return header;
}

// The bytes of a stream that a test wrote through a CKLDExt.
inline Bytes StreamBytes(const CQVTMemoryStream& stream) {
    return Bytes(stream.Data(), stream.Data() + stream.DataSize());
}

// Opens a container held in `bytes` (the bytes must outlive the container).
inline bool OpenBytes(CKLDExt& container, Bytes& bytes) {
    return container.Open(std::make_unique<CQVTMemoryStream>(bytes.data(), bytes.size()), 0x500000,
                          0x400000);
}

// The bytes of a new container with a preview of the given size.
inline Bytes CreatedBytes(const KLDExtHeader& header, std::uint32_t previewWidth,
                          std::uint32_t previewHeight) {
    auto owned = std::make_unique<CQVTMemoryStream>(1024);
    CQVTMemoryStream* stream = owned.get();
    CKLDExt container;
    container.Create(std::move(owned), header, previewWidth, previewHeight, {});
    return StreamBytes(*stream);
}

// Passes everything to another stream until its k-th write, which fails as a full disk does, and
// logs each write as 'H' (the fixed part, at offset 0) or 'D' (anything else) and each flush as
// 'F'.
class CFailingStream final : public CQVTStream {
public:
    CFailingStream(CQVTStream& inner, int writesBeforeFailure)
        : m_inner(inner), m_writesLeft(writesBeforeFailure) {}

    void Write(std::int32_t& count, const void* bytes) override {
        if (m_writesLeft-- == 0) throw IOException{ENOSPC};
        log += m_inner.GetPos() == 0 ? 'H' : 'D';
        m_inner.Write(count, bytes);
    }
    void Read(std::int32_t& count, void* bytes) override { m_inner.Read(count, bytes); }
    void SetPos(std::int16_t mode, std::int64_t offset) override { m_inner.SetPos(mode, offset); }
    std::uint64_t GetPos() override { return m_inner.GetPos(); }
    bool IsValid() const override { return m_inner.IsValid(); }
    void Flush() override { log += 'F'; }

    std::string log;

private:
    CQVTStream& m_inner;
    int m_writesLeft;
};

// A container open on a growable copy of `bytes`, through a CFailingStream whose k-th write fails
// (never, by default). Whatever it wrote is checked when it goes: every tile record lies at or
// after the first 4-aligned offset past the user data, where the tile data start.
struct MemoryContainer {
    explicit MemoryContainer(const Bytes& bytes, std::uint64_t cacheBytes = 0x500000,
                             int failAtWrite = -1,
                             std::optional<std::uint64_t> decoderBytes = std::nullopt)
        : memory(bytes.size() + 1) {
        WriteBytes(memory, bytes.data(), bytes.size());
        auto owned = std::make_unique<CFailingStream>(memory, failAtWrite);
        stream = owned.get();
        container.Open(std::move(owned), cacheBytes, decoderBytes.value_or(cacheBytes));
    }
    ~MemoryContainer() {
        const std::uint64_t start =
            TileDataStart(container.StoredHeaderLength(), container.UserData().size());
        for (const IndexEntry& entry : container.Index().Entries())
            EXPECT_GE(entry.offset, start) << "tile " << entry.tile;
    }
    Bytes Contents() const { return StreamBytes(memory); }

    CQVTMemoryStream memory; // outlives the container, which reads it through `stream`
    CFailingStream* stream;
    CKLDExt container;
};

// A container as a writer leaves it: `tiles` records (tile numbers 0, 2, 4, … written in
// reverse order, lengths 4 to 26) from `firstRecord` (0: the start of the tile data), then the
// index with the header's compression, then the preview, then the rewritten fixed part.
struct BuiltContainer {
    Bytes bytes;
    KLDExtLayout layout;
    std::vector<IndexEntry> entries; // by tile number
};

inline BuiltContainer BuildContainer(const KLDExtHeader& header, std::uint32_t tiles,
                                     const Bytes& userData = {}, std::uint64_t firstRecord = 0) {
    auto owned = std::make_unique<CQVTMemoryStream>(1024);
    CQVTMemoryStream& stream = *owned;
    CKLDExt container;
    container.Create(std::move(owned), header, 40, 30, userData);
    std::uint64_t offset = firstRecord != 0 ? firstRecord : container.Layout().indexOffset;
    BuiltContainer built;
    built.entries.resize(tiles);
    for (std::uint32_t i = tiles; i-- > 0;) {
        Bytes record{'K', 'L', 'D', 2};
        record.resize(4 + (i * 7) % 23, static_cast<std::uint8_t>(i));
        stream.SetPos(PosFromStart, static_cast<std::int64_t>(offset));
        WriteBytes(stream, record.data(), record.size());
        built.entries[i] = {2 * i, static_cast<std::uint32_t>(record.size()), offset};
        offset += record.size();
    }
    const std::uint64_t stored = container.WriteIndex(CIndex(built.entries), stream, offset);
    built.layout = {offset, static_cast<std::uint32_t>(16 * tiles), offset + stored,
                    container.Layout().userDataLength};
    container.SetLayout(built.layout);
    container.WritePreview(stream);
    container.WriteHeader(stream);
    built.bytes = StreamBytes(stream);
    return built;
}

// An RGB map over `rect` whose pixels depend on their position and `seed`.
inline std::unique_ptr<CPixMap> Pattern(const PixRect& rect, int seed) {
    auto map = CreatePixMap(rect, ModeRGB);
    for (std::uint32_t y = 0; y < rect.Height(); ++y)
        for (std::uint32_t x = 0; x < 3 * rect.Width(); ++x)
            map->Row(y)[x] = static_cast<std::uint8_t>((x * 7 + (y + rect.top) * 13 + seed) ^
                                                       (x / 5 + rect.left));
    return map;
}

inline std::unique_ptr<CPixMap> ReadRect(CKLDExt& container, const PixRect& rect, int level = 0) {
    auto map = CreatePixMap(rect, container.Mode());
    container.ReadRegion(*map, level);
    return map;
}

inline std::unique_ptr<CPixMap> CopyOf(const CPixMap& map) {
    auto copy = CreatePixMap(map.Rect(), map.GetMode());
    map.CopyRect(map.Rect(), *copy, copy->Rect());
    return copy;
}

// An indexed map in the colours its table gives, comparable across tables.
inline std::unique_ptr<CPixMap> InRgb(const CPixMap& map) {
    auto rgb = CreatePixMap(map.Rect(), ModeRGB);
    map.ConvertTo(*rgb);
    return rgb;
}

inline bool Same(const CPixMap& a, const CPixMap& b) {
    return a.Rect() == b.Rect() && a.EqualRect(a.Rect(), b, b.Rect());
}
