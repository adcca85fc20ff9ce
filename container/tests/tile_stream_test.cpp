// Tile records are recognised by their tag or a bare signature, and a record that is cut short,
// damaged, or describes another tile than the one expected ends in a clean IOException: never a
// crash, never a write past the tile's buffer, never rows a kept decoder has already consumed.
#include "png_tile_codec.h"
#include "png_wrapper.h"
#include "qvt_tile_codec.h"
#include "tile_test_support.h"

#include <png.h>

#include <cstring>
#include <string>
#include <typeinfo>

namespace {

Bytes Record(std::initializer_list<std::uint8_t> start, std::size_t padding = 16) {
    Bytes bytes(start);
    bytes.resize(bytes.size() + padding, 0);
    return bytes;
}

struct Recognised {
    Bytes bytes;
    const std::type_info* codec;
    std::uint64_t position; // where Open must start
};

TEST(CreateTileCodecFromStream, TagsAndBareStreamsPickTheirCodec) {
    const Recognised cases[] = {
        {Record({'K', 'L', 'D', 2}), &typeid(KLD::CQVT), 4},
        {Record({'K', 'L', 'D', 3}), &typeid(KLD::CPNG), 4},
        {Record({'Q', 'V', 'T', 0x7E}), &typeid(KLD::CQVT), 0},
        {Record({0x89, 'P', 'N', 'G', '\r', '\n'}), &typeid(KLD::CPNG), 0},
    };
    for (const Recognised& c : cases) {
        Bytes bytes = c.bytes;
        CQVTMemoryStream stream(bytes.data(), bytes.size());
        const auto codec = KLD::CreateTileCodecFromStream(stream);
        ASSERT_NE(codec, nullptr);
        EXPECT_EQ(typeid(*codec), *c.codec);
        EXPECT_EQ(stream.GetPos(), c.position);
    }
}

TEST(CreateTileCodecFromStream, UnknownTagsAndShortRecordsAreRefused) {
    const Bytes wrong[] = {Record({'K', 'L', 'D', 1}),    Record({'K', 'L', 'D', 4}),
                           Record({'K', 'L', 'E', 2}),    Record({'Q', 'V', 'E', 2}),
                           Record({0x89, 'P', 'N', 'X'}), Record({0, 0, 0, 0})};
    for (Bytes bytes : wrong) {
        CQVTMemoryStream stream(bytes.data(), bytes.size());
        EXPECT_EQ(ErrorOf([&] { KLD::CreateTileCodecFromStream(stream); }), ErrorWrongFormat);
    }
    for (std::size_t size = 0; size < 4; ++size) {
        Bytes bytes{'K', 'L', 'D', 2};
        CQVTMemoryStream stream(bytes.data(), size);
        EXPECT_EQ(ErrorOf([&] { KLD::CreateTileCodecFromStream(stream); }), ErrorShortRead);
    }
}

// Decodes `record` into a map with guard rows around it; true when it decoded. Any failure must
// be an IOException, and the guards must survive either way.
bool DecodeGuarded(Bytes record, const TileHeader& tile, CPixMap* out = nullptr) {
    BottomUpMap target(tile.mode, tile.width, tile.height);
    bool decoded = false;
    try {
        CQVTMemoryStream stream(record.data(), record.size());
        const auto codec = KLD::CreateTileCodecFromStream(stream);
        codec->Open(stream);
        KLD::CheckTileCodecMatches(*codec, tile);
        codec->Read(0);
        codec->ExportPixels(target.map->GetBits(), target.map->Stride(),
                            target.map->BitsPerPixel());
        decoded = true;
    } catch (const IOException&) {
    }
    EXPECT_TRUE(target.GuardsIntact());
    if (decoded && out) target.map->CopyRect(target.map->Rect(), *out, out->Rect());
    return decoded;
}

// Every cut of a record either fails cleanly or (only when nothing but trailing bytes that the
// reader never needs is missing) gives the exact tile.
TEST(DamagedTileRecords, EveryTruncationFailsCleanly) {
    for (const std::uint8_t kind : {KLD::KindPng, KLD::KindWavelet})
        for (const std::uint8_t mode : {ModeRGB, ModeGray16, ModeIndexed}) {
            SCOPED_TRACE(std::string(ImageModeName(mode)) + " kind " + std::to_string(kind));
            const auto tile = RandomMap(mode, 13, 11, mode);
            const Bytes record = EncodeTile(*tile, kind);
            ASSERT_TRUE(DecodeGuarded(record, HeaderOf(*tile)));
            for (std::size_t size = 0; size < record.size(); ++size) {
                const auto decoded = CreatePixMap(tile->Rect(), mode);
                if (!DecodeGuarded(Bytes(record.begin(), record.begin() + size), HeaderOf(*tile),
                                   decoded.get()))
                    continue;
                // Only the PNG end chunk is never read.
                EXPECT_EQ(kind, KLD::KindPng) << "cut at " << size;
                EXPECT_GE(size, record.size() - 12) << "cut at " << size;
                EXPECT_TRUE(SamePixels(*decoded, *tile)) << "cut at " << size;
            }
        }
}

TEST(DamagedTileRecords, CorruptedBytesNeverReachPastTheTile) {
    for (const std::uint8_t kind : {KLD::KindPng, KLD::KindWavelet}) {
        SCOPED_TRACE(+kind);
        const auto tile = RandomMap(ModeRGB, 9, 7, kind);
        const Bytes record = EncodeTile(*tile, kind);
        for (std::size_t at = 4; at < record.size(); ++at)
            for (const std::uint8_t flip : {0x01, 0x80, 0xFF}) {
                Bytes damaged = record;
                damaged[at] ^= flip;
                DecodeGuarded(damaged, HeaderOf(*tile));
            }
    }
}

// Stored tiles that claim another size, mode or depth than their tile are refused before a
// single row is exported.
TEST(DamagedTileRecords, RecordsOfAnotherTileAreRefused) {
    const auto tall = RandomMap(ModeRGB, 8, 16, 1);
    const auto gray = RandomMap(ModeGray, 8, 8, 2);
    const auto deep = RandomMap(ModeRGB48, 8, 8, 3);
    const auto expected = CreatePixMap(PixRect{0, 0, 8, 8}, ModeRGB);
    for (const std::uint8_t kind : {KLD::KindPng, KLD::KindWavelet})
        for (const CPixMap* stored : {tall.get(), gray.get(), deep.get()}) {
            SCOPED_TRACE(std::string(ImageModeName(stored->GetMode())) + " kind " +
                         std::to_string(kind));
            const Bytes record = EncodeTile(*stored, kind);
            EXPECT_FALSE(DecodeGuarded(record, HeaderOf(*expected)));
            EXPECT_EQ(ErrorOf([&] { DecodeTile(record, HeaderOf(*expected)); }), ErrorWrongFormat);
        }
}

// Without the container's check, a PNG codec still never writes a row wider than the stride.
TEST(DamagedTileRecords, PngRowsWiderThanTheStrideAreRefused) {
    const auto rgb = RandomMap(ModeRGB, 8, 4, 4);
    Bytes record = EncodeTile(*rgb, KLD::KindPng, 0, false);
    CQVTMemoryStream stream(record.data(), record.size());
    KLD::CPNG codec;
    codec.Open(stream);
    BottomUpMap gray(ModeGray, 8, 4);
    EXPECT_EQ(ErrorOf([&] { codec.ExportPixels(gray.map->GetBits(), gray.map->Stride(), 8); }),
              ErrorWrongFormat);
    EXPECT_TRUE(gray.GuardsIntact());
}

// A bare PNG of a form the codec never writes (gray with alpha) has no defined row layout.
TEST(DamagedTileRecords, PngFormsTheCodecNeverWritesAreRefused) {
    const std::uint8_t pixels[] = {10, 255, 20, 128, 30, 0, 40, 64};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 2;
    image.format = PNG_FORMAT_GA;
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr));
    Bytes png(size);
    ASSERT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels, 0, nullptr));

    CQVTMemoryStream stream(png.data(), png.size());
    const auto codec = KLD::CreateTileCodecFromStream(stream);
    codec->Open(stream);
    EXPECT_EQ(codec->GetMode(), ModeNotGiven);
    std::uint8_t out[64] = {};
    EXPECT_EQ(ErrorOf([&] { codec->ExportPixels(out, 16, 16); }), ErrorWrongFormat);
}

// A PNG decoder kept after a coarse read may be asked for its rows again, with the container's
// stream positioned elsewhere meanwhile: it decodes the image again instead of handing out rows
// libpng has already consumed.
TEST(PngTile, AKeptDecoderExportsTheSameRowsAgain) {
    const auto tile = RandomMap(ModeARGB, 10, 6, 9);
    Bytes record = EncodeTile(*tile, KLD::KindPng);
    record.resize(record.size() + 100, 0xEE); // other records behind this one
    CQVTMemoryStream stream(record.data(), record.size());
    const auto codec = KLD::CreateTileCodecFromStream(stream);
    codec->Open(stream);
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        const auto out = CreatePixMap(tile->Rect(), ModeARGB);
        codec->ExportPixels(out->GetBits(), out->Stride(), 32);
        EXPECT_TRUE(SamePixels(*out, *tile));
        stream.SetPos(PosFromStart, static_cast<std::int64_t>(record.size() - 7));
    }
}

// Stream failures inside libpng's callbacks become ErrorPng, with the stream's own text kept as
// the codec's last error.
TEST(PngTile, StreamFailuresSurfaceAsPngErrorsWithTheirText) {
    const auto tile = RandomMap(ModeRGB, 16, 16, 5);
    const Bytes record = EncodeTile(*tile, KLD::KindPng, 0, false);
    struct Case {
        bool throws;
        const char* text;
    };
    const Case cases[] = {{false, "KLD Stream error: not all data have been read!"},
                          {true, "KLD Stream error: 0x2000000A"}};
    for (const Case& c : cases) {
        CLimitedStream stream(record, record.size() / 2, c.throws);
        KLD::CPNG codec;
        const std::uint32_t error = ErrorOf([&] {
            codec.Open(stream);
            const auto out = CreatePixMap(tile->Rect(), ModeRGB);
            codec.ExportPixels(out->GetBits(), out->Stride(), 24);
        });
        EXPECT_EQ(error, ErrorPng);
        EXPECT_EQ(codec.GetLastError(), c.text);
    }

    KLD::CPNG writer;
    ASSERT_TRUE(writer.SetHeader(KLD::NormalizeTileHeader(HeaderOf(*tile))));
    writer.ImportPixels(tile->GetBits(), tile->Stride(), 24);
    CLimitedStream full(Bytes(record.size()), 20, false);
    std::uint64_t count = 0;
    EXPECT_EQ(ErrorOf([&] { writer.Write(full, false, count); }), ErrorPng);
    EXPECT_EQ(writer.GetLastError(), "KLD Stream error: not all data have been written!");
}

// The wrapper turns libpng's jump-based error exit into png::CError carrying libpng's own text,
// and leaves its objects usable for clean destruction afterwards.
TEST(PngWrapper, LibpngErrorsBecomeCErrorWithTheirText) {
    const auto textOf = [](const auto& action) {
        try {
            action();
        } catch (const png::CError& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    Bytes garbage(64, 'x');
    CQVTMemoryStream stream(garbage.data(), garbage.size());
    png::CReader reader(stream);
    EXPECT_EQ(textOf([&] { reader.ReadHeader(); }), "Not a PNG file");
    EXPECT_STREQ(reader.ErrorText(), "Not a PNG file");

    CQVTMemoryStream sink(0);
    png::CWriter writer(sink);
    png::ImageHeader header;
    header.width = header.height = 4;
    header.bitDepth = 3;
    header.colorType = PNG_COLOR_TYPE_RGB;
    EXPECT_FALSE(textOf([&] { writer.WriteHeader(header, nullptr, 0, false); }).empty());
    EXPECT_EQ(writer.BytesWritten(), 0u);
}

} // namespace
