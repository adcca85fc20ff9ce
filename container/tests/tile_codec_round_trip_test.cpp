// Tiles come back exactly from both codecs: PNG for every mode it holds, the wavelet codec
// losslessly for every pixel-map mode, at odd sizes, from bottom-up rows and through channel
// maps. A forced PNG for a mode it cannot hold is coded by the wavelet codec instead, and the
// PNG data are what a standard reader expects: set bits black, red where red belongs.
#include "png_tile_codec.h"
#include "tile_test_support.h"

#include <png.h>

#include <array>
#include <cstring>
#include <string>

namespace {

constexpr std::array<std::uint8_t, 7> kPngModes = {ModeBitmap, ModeGray,  ModeIndexed, ModeRGB,
                                                   ModeGray16, ModeRGB48, ModeARGB};
constexpr std::array<std::uint8_t, 14> kPixMapModes = {
    ModeBitmap, ModeGray,  ModeIndexed, ModeRGB,  ModeCMYK,   ModeLab,   ModeGray16,
    ModeRGB48,  ModeLab48, ModeCMYK64,  ModeARGB, ModeGray32, ModeRGB12, ModeRGB16};
constexpr std::array<std::uint8_t, 7> kModesPngCannotHold = {
    ModeCMYK, ModeLab, ModeLab48, ModeCMYK64, ModeGray32, ModeRGB12, ModeRGB16};

struct Size {
    std::uint32_t width;
    std::uint32_t height;
};
constexpr Size kSizes[] = {{1, 1}, {7, 3}, {13, 11}, {33, 2}, {64, 40}};

std::string Describe(std::uint8_t mode, Size size) {
    return std::string(ImageModeName(mode)) + " " + std::to_string(size.width) + "x" +
           std::to_string(size.height);
}

void ExpectSameTile(const CPixMap& decoded, const CPixMap& original) {
    EXPECT_TRUE(SamePixels(decoded, original));
    if (original.GetMode() != ModeIndexed) return;
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(0,
                  std::memcmp(decoded.GetColorTable() + 4 * i, original.GetColorTable() + 4 * i, 3))
            << "entry " << i;
    }
}

void ExpectRoundTrip(std::uint8_t mode, std::uint8_t kind) {
    for (const Size size : kSizes) {
        SCOPED_TRACE(Describe(mode, size));
        const auto tile = RandomMap(mode, size.width, size.height, size.width * 97 + mode);
        const Bytes record = EncodeTile(*tile, kind);
        ASSERT_GE(record.size(), 4u);
        EXPECT_EQ(record[3], kind);
        ExpectSameTile(*DecodeTile(record, HeaderOf(*tile)), *tile);
    }
}

TEST(PngTile, EveryModeItHoldsRoundTrips) {
    for (const std::uint8_t mode : kPngModes)
        ExpectRoundTrip(mode, KLD::KindPng);
}

TEST(WaveletTile, EveryPixelMapModeRoundTripsLosslessly) {
    for (const std::uint8_t mode : kPixMapModes)
        ExpectRoundTrip(mode, KLD::KindWavelet);
}

// The container writes tiles from pixel maps whatever their row order.
TEST(PngTile, BottomUpRowsRoundTripAndStayInTheirRows) {
    for (const std::uint8_t mode : kPngModes) {
        SCOPED_TRACE(ImageModeName(mode));
        BottomUpMap source(mode, 21, 9);
        Randomize(*source.map, mode);
        const Bytes record = EncodeTile(*source.map, KLD::KindPng);
        ExpectSameTile(*DecodeTile(record, HeaderOf(*source.map)), *source.map);

        BottomUpMap target(mode, 21, 9);
        CQVTMemoryStream stream(const_cast<std::uint8_t*>(record.data()), record.size());
        auto codec = KLD::CreateTileCodecFromStream(stream);
        codec->Open(stream);
        codec->ExportPixels(target.map->GetBits(), target.map->Stride(),
                            target.map->BitsPerPixel());
        EXPECT_TRUE(SamePixels(*target.map, *source.map));
        EXPECT_TRUE(target.GuardsIntact());
    }
}

// With a channel map each PNG channel goes to the unit the map names inside a wider pixel, and
// back again on import.
TEST(PngTile, ChannelMapsPlaceEachChannel) {
    const auto tile = RandomMap(ModeRGB48, 5, 4, 3);
    const Bytes record = EncodeTile(*tile, KLD::KindPng, 0, false);
    const ChannelMap reversed{{2, 1, 0, 3, 4, 5, 6, 7}};

    // Four 16-bit units per pixel: channel c at unit 2 - c, the fourth unit untouched.
    std::vector<std::uint16_t> wide(5 * 4 * 4, 0xBEEF);
    CQVTMemoryStream stream(const_cast<std::uint8_t*>(record.data()), record.size());
    KLD::CPNG codec;
    codec.Open(stream);
    codec.ExportPixels(reinterpret_cast<std::uint8_t*>(wide.data()), 5 * 8, 64, &reversed);
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 5; ++x) {
            const std::vector<std::int64_t> rgb = PixelValues(*tile, x, y);
            const std::uint16_t* pixel = wide.data() + (y * 5 + x) * 4;
            EXPECT_EQ(pixel[0], rgb[2]);
            EXPECT_EQ(pixel[1], rgb[1]);
            EXPECT_EQ(pixel[2], rgb[0]);
            EXPECT_EQ(pixel[3], 0xBEEF);
        }

    KLD::CPNG writer;
    ASSERT_TRUE(writer.SetHeader(KLD::NormalizeTileHeader(HeaderOf(*tile))));
    writer.ImportPixels(reinterpret_cast<const std::uint8_t*>(wide.data()), 5 * 8, 64, &reversed);
    CQVTMemoryStream again(0);
    std::uint64_t count = 0;
    writer.Write(again, true, count);
    ExpectSameTile(
        *DecodeTile(Bytes(again.Data(), again.Data() + again.DataSize()), HeaderOf(*tile)), *tile);
}

// A bitmap through a channel map moves whole bytes, the last, partly filled one included.
TEST(PngTile, BitmapsThroughAChannelMapKeepTheirLastPixels) {
    const auto tile = RandomMap(ModeBitmap, 13, 3, 6);
    Bytes record = EncodeTile(*tile, KLD::KindPng, 0, false);
    CQVTMemoryStream stream(record.data(), record.size());
    KLD::CPNG codec;
    codec.Open(stream);
    const auto out = CreatePixMap(tile->Rect(), ModeBitmap);
    const ChannelMap identity;
    codec.ExportPixels(out->GetBits(), out->Stride(), 1, &identity);
    EXPECT_TRUE(SamePixels(*out, *tile));
}

// Rows narrower than the tile's own would make libpng read one row into the next.
TEST(PngTile, ImportRefusesRowsNarrowerThanTheTile) {
    const auto tile = RandomMap(ModeRGB, 8, 4, 7);
    KLD::CPNG codec;
    ASSERT_TRUE(codec.SetHeader(KLD::NormalizeTileHeader(HeaderOf(*tile))));
    EXPECT_EQ(ErrorOf([&] { codec.ImportPixels(tile->GetBits(), 8 * 3 - 1, 24); }),
              ErrorWrongFormat);
    const ChannelMap outside{{0, 1, 3, 3, 4, 5, 6, 7}};
    EXPECT_EQ(ErrorOf([&] { codec.ImportPixels(tile->GetBits(), tile->Stride(), 24, &outside); }),
              ErrorWrongFormat);
    std::uint64_t count = 0;
    CQVTMemoryStream stream(0);
    EXPECT_EQ(ErrorOf([&] { codec.Write(stream, true, count); }), ErrorWrongFormat);
}

TEST(CreateTileCodec, PngForAModeItCannotHoldGivesTheWaveletCodec) {
    for (const std::uint8_t mode : kModesPngCannotHold) {
        SCOPED_TRACE(ImageModeName(mode));
        const auto tile = RandomMap(mode, 9, 6, mode);
        auto codec = KLD::CreateTileCodec(HeaderOf(*tile), KLD::KindPng);
        ASSERT_NE(codec, nullptr);
        EXPECT_EQ(codec->GetKind(), KLD::KindWavelet);
        EXPECT_FALSE(KLD::CPNG().SetHeader(KLD::NormalizeTileHeader(HeaderOf(*tile))));
        const Bytes record = EncodeTile(*tile, KLD::KindPng);
        EXPECT_EQ(record[3], KLD::KindWavelet);
        ExpectSameTile(*DecodeTile(record, HeaderOf(*tile)), *tile);
    }
}

TEST(CreateTileCodec, OnlyStoredKindsMakeACodec) {
    TileHeader header;
    header.width = header.height = 4;
    header.mode = ModeRGB;
    for (const std::uint8_t kind : {0, 1, 4, 255})
        EXPECT_EQ(KLD::CreateTileCodec(header, kind), nullptr) << +kind;
    // A depth that contradicts the mode is not coded as something else.
    header.bitsPerPixel = 8;
    header.channels = 3;
    EXPECT_EQ(KLD::CreateTileCodec(header, KLD::KindPng), nullptr);
}

TEST(NormalizeTileHeader, FillsWhatIsLeftOpen) {
    struct Case {
        std::uint8_t mode, bitsPerPixel, channels;
        std::uint8_t wantMode, wantBits, wantChannels;
    };
    const Case cases[] = {
        {255, 1, 0, ModeBitmap, 1, 1},          {255, 8, 0, ModeGray, 8, 1},
        {255, 12, 0, ModeRGB12, 12, 3},         {255, 16, 0, ModeRGB16, 16, 3},
        {255, 32, 0, ModeARGB, 32, 4},          {255, 48, 0, ModeRGB48, 48, 3},
        {255, 24, 0, ModeRGB, 24, 3},           {255, 7, 0, ModeRGB, 7, 3},
        {ModeIndexed, 0, 0, ModeIndexed, 8, 1}, {ModeCMYK, 0, 0, ModeCMYK, 32, 4},
        {ModeGray16, 0, 0, ModeGray16, 16, 1},  {ModeLab48, 0, 0, ModeLab48, 48, 3},
        {ModeCMYK64, 0, 0, ModeCMYK64, 64, 4},  {ModeGray32, 0, 0, ModeGray32, 32, 1},
        {ModeLab, 0, 0, ModeLab, 24, 3},        {ModeRGB, 32, 0, ModeARGB, 32, 4},
        {ModeRGB, 24, 2, ModeRGB, 24, 2},
    };
    for (const Case& c : cases) {
        TileHeader header;
        header.mode = c.mode;
        header.bitsPerPixel = c.bitsPerPixel;
        header.channels = c.channels;
        const TileHeader normal = KLD::NormalizeTileHeader(header);
        EXPECT_EQ(normal.mode, c.wantMode) << +c.mode << "/" << +c.bitsPerPixel;
        EXPECT_EQ(normal.bitsPerPixel, c.wantBits) << +c.mode << "/" << +c.bitsPerPixel;
        EXPECT_EQ(normal.channels, c.wantChannels) << +c.mode << "/" << +c.bitsPerPixel;
    }
}

// Decodes a bare PNG stream with libpng's own simplified reader, without any of the codec's
// transformations.
Bytes StandardDecode(const Bytes& png, std::uint32_t format) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    image.format = format;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    return pixels;
}

TEST(PngTile, StandardReadersSeeSetBitsAsBlackAndRedAsRed) {
    const auto bitmap = RandomMap(ModeBitmap, 19, 5, 1);
    const Bytes gray = StandardDecode(EncodeTile(*bitmap, KLD::KindPng, 0, false), PNG_FORMAT_GRAY);
    for (std::uint32_t y = 0; y < 5; ++y)
        for (std::uint32_t x = 0; x < 19; ++x)
            EXPECT_EQ(gray[y * 19 + x], PixelValues(*bitmap, x, y)[0] ? 0 : 255);

    const auto color = RandomMap(ModeRGB, 6, 4, 2);
    const Bytes rgb = StandardDecode(EncodeTile(*color, KLD::KindPng, 0, false), PNG_FORMAT_RGB);
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 6; ++x) {
            const std::vector<std::int64_t> bgr = PixelValues(*color, x, y);
            EXPECT_EQ(rgb[(y * 6 + x) * 3 + 0], bgr[2]);
            EXPECT_EQ(rgb[(y * 6 + x) * 3 + 2], bgr[0]);
        }
}

// 16-bit samples go into the PNG data in memory byte order: a standard reader, which takes
// them as big-endian, sees each word with its bytes swapped.
TEST(PngTile, SixteenBitSamplesAreStoredInMemoryByteOrder) {
    const auto tile = CreatePixMap(PixRect{0, 0, 2, 1}, ModeGray16);
    const std::uint8_t words[] = {0x34, 0x12, 0xFF, 0x00};
    std::memcpy(tile->GetBits(), words, sizeof words);
    const Bytes png = EncodeTile(*tile, KLD::KindPng, 0, false);
    // 16-bit PNG data count as linear, so the linear format hands the stored values on unchanged.
    const Bytes stored = StandardDecode(png, PNG_FORMAT_LINEAR_Y);
    std::array<std::uint16_t, 2> values{};
    std::memcpy(values.data(), stored.data(), sizeof values);
    EXPECT_EQ(values, (std::array<std::uint16_t, 2>{0x3412, 0xFF00}));
}

} // namespace
