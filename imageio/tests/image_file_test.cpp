// The save dispatch: each kind of file takes the modes it holds and refuses the others before
// touching the file (the anymap writer by itself too), and 16-bit gray and RGB images pass through
// Qt's PNG and TIFF encoders at full depth: full-range samples come back exactly, smaller maxima
// stretched to 16 bits.
#include "anymap_file.h"
#include "image_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageFile, SixteenBitImagesRoundTripThroughPngAndTiff) {
    TempDir dir;
    for (const ImageMode mode : {ModeGray16, ModeRGB48})
        for (const char* name : {"d.png", "d.tif", "d.TIFF"}) {
            RasterImage image =
                MakeRasterImage(RandomDeepMap<std::uint16_t>(mode, 23, 9, 65535), 65535);
            WriteImageFile(image, dir / name);
            RasterImage back = ReadImageFile(dir / name);
            ASSERT_TRUE(back.pixMap) << name;
            EXPECT_TRUE(SamePixels(*back.pixMap, *image.pixMap)) << mode << " " << name;
            EXPECT_EQ(back.maxChannelValue, 65535u);
        }
    // Samples up to 4095 are written as 0 ... 65535.
    auto map = CreatePixMap({0, 0, 3, 1}, ModeGray16);
    const std::uint16_t samples[] = {0, 2048, 4095};
    std::memcpy(map->Row(0), samples, sizeof samples);
    RasterImage twelveBits = MakeRasterImage(std::move(map), 4095);
    WriteImageFile(twelveBits, dir / "s.png");
    RasterImage stretched = ReadImageFile(dir / "s.png");
    const std::uint16_t expected[] = {0, 32776, 65535};
    EXPECT_EQ(0, std::memcmp(stretched.pixMap->Row(0), expected, sizeof expected));
}

TEST(ImageFile, EachFormatTakesTheModesItHolds) {
    struct Case {
        ImageMode mode;
        const char* name;
        bool writable;
    };
    const Case cases[] = {
        {ModeRGB, "x.jpg", true},      {ModeIndexed, "x.bmp", true},  {ModeGray16, "x.png", true},
        {ModeRGB48, "x.tif", true},    {ModeGray16, "x.jpg", false},  {ModeRGB48, "x.bmp", false},
        {ModeCMYK64, "x.png", false},  {ModeLab48, "x.tiff", false},  {ModeGray32, "x.png", false},
        {ModeCMYK, "x.png", false},    {ModeCMYK, "x.qvt", true},     {ModeGray32, "x.raw", true},
        {ModeIndexed, "x.raw", false}, {ModeRGB48, "x.PPM", true},    {ModeIndexed, "x.pgm", true},
        {ModeCMYK, "x.ppm", false},    {ModeRGB, "x.unknown", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CanWriteImageFile(c.mode, c.name), c.writable) << c.mode << " " << c.name;

    TempDir dir;
    RasterImage cmyk = MakeRasterImage(CreatePixMap({0, 0, 2, 2}, ModeCMYK64), 0);
    try {
        WriteImageFile(cmyk, dir / "c.png");
        ADD_FAILURE();
    } catch (const ImageFileError& error) {
        EXPECT_STREQ(error.what(), kNoSuitableFormat);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "c.png"));
    // The anymap writer refuses by itself, for callers that go to it directly.
    EXPECT_THROW(WriteAnymapFile(cmyk, dir / "c.ppm", true), ImageFileError);
    EXPECT_FALSE(std::filesystem::exists(dir / "c.ppm"));
}

} // namespace
