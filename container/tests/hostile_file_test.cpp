// Proves that a damaged or hostile container file gives a clean IOException with a fitting code
// and never a crash, a hang or an allocation the file does not back: every truncation of valid
// files, and a table of single fields set to hostile values.
#include "kld_ext.h"

#include "byte_order64.h"
#include "container_fixture.h"
#include "qvt_error.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <string>

namespace {

std::optional<std::uint32_t> OpenError(Bytes bytes) {
    CKLDExt container;
    try {
        OpenBytes(container, bytes);
    } catch (const IOException& e) {
        return e.error;
    }
    return std::nullopt;
}

TEST(HostileFile, EveryTruncationIsAnError) {
    for (std::uint8_t compression : {IndexPlain, IndexZlib}) {
        KLDExtHeader header = MakeHeader(900, 600, 100, 100);
        header.indexCompression = compression;
        header.ordering = OrderingHilbert;
        const Bytes full = BuildContainer(header, 12, {9, 8, 7}).bytes;
        ASSERT_EQ(OpenError(full), std::nullopt);
        for (std::size_t size = 0; size < full.size(); ++size)
            EXPECT_NE(OpenError(Bytes(full.begin(), full.begin() + size)), std::nullopt) << size;
    }
}

struct HostileCase {
    std::string name;
    std::uint8_t compression;
    std::function<void(Bytes&, const BuiltContainer&)> damage;
    std::uint32_t error;
};

void Put32(Bytes& b, std::size_t at, std::uint32_t v) { StoreLE32(&b[at], v); }
void Put64(Bytes& b, std::size_t at, std::uint64_t v) { StoreLE64(&b[at], v); }

// File offsets of the fields the cases change.
constexpr std::size_t kHeaderLength = 4, kWidth = 10, kTileWidth = 22, kTileHeight = 24;
constexpr std::size_t kCompression = 26, kOrdering = 27;
constexpr std::size_t kIndexOffset = 30, kIndexLength = 38, kPreviewOffset = 42, kUserData = 50;

// Entry i of a plain index: tile, length, offset.
std::size_t EntryAt(const BuiltContainer& c, std::size_t i, std::size_t field) {
    return c.layout.indexOffset + 16 * i + field;
}

TEST(HostileFile, FieldTable) {
    const std::vector<HostileCase> cases{
        {"magic", IndexPlain, [](Bytes& b, auto&) { b[2] = 'X'; }, ErrorWrongFormat},
        {"header length 23", IndexPlain, [](Bytes& b, auto&) { Put32(b, kHeaderLength, 23); },
         ErrorWrongFormat},
        {"mode without pixel maps", IndexPlain, [](Bytes& b, auto&) { b[9] = 5; },
         ErrorWrongFormat},
        {"tile width 0", IndexPlain, [](Bytes& b, auto&) { b[kTileWidth] = 0; }, ErrorWrongFormat},
        {"tile height 0", IndexPlain, [](Bytes& b, auto&) { b[kTileHeight] = 0; },
         ErrorWrongFormat},
        {"no tile column", IndexPlain, [](Bytes& b, auto&) { Put32(b, kWidth, 99); },
         ErrorWrongFormat},
        {"more tiles than numbers", IndexPlain,
         [](Bytes& b, auto&) {
             Put32(b, kWidth, 0xFFFFFFFF);
             Put32(b, kWidth + 4, 0xFFFFFFFF);
             b[kTileWidth] = b[kTileHeight] = 1;
         },
         ErrorWrongFormat},
        {"channels against the mode", IndexPlain, [](Bytes& b, auto&) { b[8 + 10] = 4; },
         ErrorWrongFormat},
        {"bits per pixel against the mode", IndexPlain, [](Bytes& b, auto&) { b[8] = 32; },
         ErrorWrongFormat},
        // Reading any region allocates a whole tile: 70000 × 70000 RGB pixels is 14.7 GB.
        {"huge last tile", IndexPlain,
         [](Bytes& b, auto&) {
             Put32(b, kWidth, 70000);
             Put32(b, kWidth + 4, 70000);
             b[kTileWidth] = b[kTileWidth + 1] = b[kTileHeight] = b[kTileHeight + 1] = 0xFF;
         },
         ErrorWrongFormat},
        {"compression 2", IndexPlain, [](Bytes& b, auto&) { b[kCompression] = 2; },
         ErrorWrongFormat},
        {"ordering 2", IndexPlain, [](Bytes& b, auto&) { b[kOrdering] = 2; }, ErrorWrongFormat},
        {"user data past the end", IndexPlain,
         [](Bytes& b, auto&) { Put32(b, kUserData, 0xFFFFFFF0); }, ErrorShortRead},
        {"index inside the fixed part", IndexPlain,
         [](Bytes& b, auto&) { Put64(b, kIndexOffset, 20); }, ErrorWrongFormat},
        {"index offset 0", IndexPlain, [](Bytes& b, auto&) { Put64(b, kIndexOffset, 0); },
         ErrorWrongFormat},
        {"preview below index", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) {
             Put64(b, kPreviewOffset, c.layout.indexOffset - 1);
         },
         ErrorWrongFormat},
        {"preview past the end", IndexPlain,
         [](Bytes& b, auto&) { Put64(b, kPreviewOffset, b.size() + 1); }, ErrorShortRead},
        {"index length not 16 x n", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) {
             Put32(b, kIndexLength, c.layout.indexLength - 3);
         },
         ErrorOutOfMemory},
        {"index length beyond the grid", IndexZlib,
         [](Bytes& b, auto&) { Put32(b, kIndexLength, 0xFFFFFFF0); }, ErrorWrongFormat},
        {"plain index length differs from stored", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) {
             Put32(b, kIndexLength, c.layout.indexLength - 16);
         },
         ErrorWrongFormat},
        {"inflates to more", IndexZlib,
         [](Bytes& b, const BuiltContainer& c) {
             Put32(b, kIndexLength, c.layout.indexLength - 16);
         },
         ErrorZlib},
        {"inflates to less", IndexZlib,
         [](Bytes& b, const BuiltContainer& c) {
             Put32(b, kIndexLength, c.layout.indexLength + 16);
         },
         ErrorWrongFormat},
        {"broken zlib stream", IndexZlib,
         [](Bytes& b, const BuiltContainer& c) { b[c.layout.indexOffset + 3] ^= 0x5A; }, ErrorZlib},
        {"tile outside the grid", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) { Put32(b, EntryAt(c, 5, 0), 54); },
         ErrorWrongFormat},
        {"tiles out of order", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) { Put32(b, EntryAt(c, 1, 0), 7); },
         ErrorWrongFormat},
        {"duplicate tile", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) { Put32(b, EntryAt(c, 1, 0), 0); },
         ErrorWrongFormat},
        {"record shorter than its tag", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) { Put32(b, EntryAt(c, 2, 4), 3); },
         ErrorWrongFormat},
        {"record in the fixed part", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) { Put64(b, EntryAt(c, 2, 8), 12); },
         ErrorWrongFormat},
        {"record over the index", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) {
             Put64(b, EntryAt(c, 0, 8), c.layout.indexOffset - 3);
         },
         ErrorWrongFormat},
        {"record offset wraps", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) {
             Put64(b, EntryAt(c, 0, 8), ~std::uint64_t{0} - 2);
         },
         ErrorWrongFormat},
        {"record longer than the file", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) { Put32(b, EntryAt(c, 0, 4), 0xFFFFFFFF); },
         ErrorWrongFormat},
        {"preview signature", IndexPlain,
         [](Bytes& b, const BuiltContainer& c) { b[c.layout.previewOffset] = 'X'; },
         ErrorWrongFormat},
    };
    for (const HostileCase& c : cases) {
        KLDExtHeader header = MakeHeader(900, 600, 100, 100); // 54 tiles
        header.indexCompression = c.compression;
        const BuiltContainer built = BuildContainer(header, 10);
        Bytes bytes = built.bytes;
        c.damage(bytes, built);
        EXPECT_EQ(OpenError(bytes), std::optional<std::uint32_t>(c.error)) << c.name;
    }
}

TEST(HostileFile, NoPreviewAtTheEndOfTheFileIsAShortRead) {
    KLDExtHeader header = MakeHeader(900, 600, 100, 100);
    CKLDExt container;
    auto owned = std::make_unique<CQVTMemoryStream>(64);
    CQVTMemoryStream& stream = *owned;
    container.Create(std::move(owned), header, 0, 0, {});
    Bytes bytes = StreamBytes(stream);
    EXPECT_EQ(bytes.size(), 54u);
    // The layout points at 56, past the end of a file that never got its preview.
    EXPECT_EQ(OpenError(bytes), std::optional<std::uint32_t>(ErrorShortRead));
}

// Random damage anywhere in the file: opening succeeds or throws IOException, nothing else
// (no other exception, no sanitizer report).
TEST(HostileFile, RandomDamageOpensOrFailsCleanly) {
    std::mt19937 random(11);
    for (std::uint8_t compression : {IndexPlain, IndexZlib}) {
        KLDExtHeader header = MakeHeader(900, 600, 100, 100);
        header.indexCompression = compression;
        const Bytes full = BuildContainer(header, 10, {1, 2}).bytes;
        for (int round = 0; round < 200; ++round) {
            Bytes bytes = full;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i)
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
            EXPECT_NO_THROW(OpenError(bytes)) << round;
        }
    }
}

TEST(HostileFile, TilesUpToTheLargestSizeAreAccepted) {
    // 8192 × 8192 ARGB is exactly the limit; one more row in the last tile passes it.
    KLDExtHeader header = MakeHeader(8192, 8192, 8192, 8192);
    header.mode = ModeARGB;
    NormalizeKLDExtHeader(header);
    EXPECT_NO_THROW(CheckKLDExtHeader(header));
    header.height = 8193;
    EXPECT_THROW(CheckKLDExtHeader(header), IOException);
    header.mode = ModeRGB; // three bytes a pixel leave room again
    NormalizeKLDExtHeader(header);
    EXPECT_NO_THROW(CheckKLDExtHeader(header));
}

} // namespace
