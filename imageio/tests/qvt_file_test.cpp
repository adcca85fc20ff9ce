// QVT files written by the save rules: deep samples (16-bit maps with any maximum, 30-bit Gray32
// values) come back unchanged from a lossless file with their maximum, the header's used bits
// tell the truth, indexed images keep their table, and a region of a file without region
// support is cut from the whole decode; anymaps written from strips of the decoded planes equal
// those of the whole image.
#include "anymap_file.h"
#include "pixmap_factory.h"
#include "qvt_file.h"
#include "qvt_my_image.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace {

template <typename Word>
std::unique_ptr<CPixMap> RandomDeepMap(ImageMode mode, std::uint32_t width, std::uint32_t height,
                                       std::uint32_t maximum) {
    auto map = CreatePixMap({0, 0, width, height}, mode);
    const std::size_t perRow = std::size_t{width} * map->BitsPerPixel() / (8 * sizeof(Word));
    const auto samples = RandomSamples(perRow * height, maximum, maximum);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::size_t i = 0; i < perRow; ++i) {
            const auto word = static_cast<Word>(samples[y * perRow + i]);
            std::memcpy(map->Row(y) + i * sizeof(Word), &word, sizeof(Word));
        }
    return map;
}

bool SamePixels(const CPixMap& a, const CPixMap& b) {
    return a.GetMode() == b.GetMode() && a.Width() == b.Width() && a.Height() == b.Height() &&
           a.EqualRect(a.Rect(), b, b.Rect());
}

int UsedBitsOf(const std::string& path) {
    CQVTMyImage qvt;
    EXPECT_TRUE(qvt.OpenPath(path));
    return qvt.Header().usedBitsPerChannel;
}

TEST(QVTFile, DeepSamplesAndMaximumSurviveALosslessRoundTrip) {
    TempDir dir;
    struct Case {
        ImageMode mode;
        std::uint32_t maximum;
    };
    for (const Case c : {Case{ModeGray16, 256}, Case{ModeGray16, 1000}, Case{ModeGray16, 4095},
                         Case{ModeGray16, 65535}, Case{ModeRGB48, 300}, Case{ModeRGB48, 4095},
                         Case{ModeRGB48, 65535}, Case{ModeLab48, 65535}, Case{ModeCMYK64, 1023}}) {
        RasterImage image =
            MakeRasterImage(RandomDeepMap<std::uint16_t>(c.mode, 19, 11, c.maximum), c.maximum);
        WriteQVTFile(image, dir / "d.qvt", {.quality = 0, .levels = 3});
        EXPECT_EQ(UsedBitsOf(dir / "d.qvt"), std::bit_width(c.maximum));
        RasterImage back = ReadQVTFile(dir / "d.qvt");
        ASSERT_TRUE(back.pixMap);
        EXPECT_TRUE(SamePixels(*image.pixMap, *back.pixMap)) << c.mode << " " << c.maximum;
        EXPECT_EQ(back.maxChannelValue, c.maximum);
    }
}

TEST(QVTFile, Gray32KeepsEveryThirtyBitValue) {
    TempDir dir;
    for (const std::uint32_t maximum : {0x3FFFFFFFu, 1000000u}) {
        RasterImage image =
            MakeRasterImage(RandomDeepMap<std::uint32_t>(ModeGray32, 23, 9, maximum), maximum);
        WriteQVTFile(image, dir / "g.qvt", {.quality = 0, .levels = 2, .regionSupport = true});
        EXPECT_EQ(UsedBitsOf(dir / "g.qvt"), std::bit_width(maximum));
        RasterImage back = ReadQVTFile(dir / "g.qvt");
        EXPECT_TRUE(SamePixels(*image.pixMap, *back.pixMap));
        EXPECT_EQ(back.maxChannelValue, maximum);
    }
}

TEST(QVTFile, IndexedImagesKeepTheirColorTable) {
    TempDir dir;
    auto map = CreatePixMap({0, 0, 16, 16}, ModeIndexed);
    std::uint8_t* table = map->AllocColorTable();
    for (int i = 0; i < 1024; ++i)
        table[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 0 : i * 7);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            map->Row(y)[x] = static_cast<std::uint8_t>(y * 16 + x);
    RasterImage image = MakeRasterImage(std::move(map), 0);
    ASSERT_EQ(image.Mode(), ModeIndexed);
    WriteQVTFile(image, dir / "i.qvt");
    RasterImage back = ReadQVTFile(dir / "i.qvt");
    ASSERT_EQ(back.Mode(), ModeIndexed);
    EXPECT_EQ(0, std::memcmp(back.display->ColorTable(), image.display->ColorTable(), 1024));
    for (std::uint32_t y = 0; y < 16; ++y)
        EXPECT_EQ(0, std::memcmp(
                         back.display->TopRow() + back.display->Pitch() * std::ptrdiff_t{y},
                         image.display->TopRow() + image.display->Pitch() * std::ptrdiff_t{y}, 16));
}

TEST(QVTFile, RegionOfAFileWithoutRegionSupportIsCutFromTheWholeImage) {
    TempDir dir;
    RasterImage image =
        MakeRasterImage(RandomDeepMap<std::uint16_t>(ModeGray16, 40, 30, 65535), 65535);
    WriteQVTFile(image, dir / "r.qvt", {.levels = 3});
    const RegionRect region{5, 7, 25, 20};
    RasterImage part = ReadQVTFile(dir / "r.qvt", {.region = region});
    auto expected = CreatePixMap({0, 0, 20, 13}, ModeGray16);
    image.pixMap->CopyRect({5, 7, 25, 20}, *expected, expected->Rect());
    EXPECT_TRUE(SamePixels(*expected, *part.pixMap));
}

// Strips cut from the decoded planes must make the same file as the whole decoded image: every
// anymap mode and variant, a deep maximum, a coarser level, a region read by region and one cut
// from a file without region support.
TEST(QVTFileRows, AnymapsWrittenStripByStripEqualThoseOfTheWholeImage) {
    TempDir dir;
    std::vector<RasterImage> images;
    images.push_back(MakeRasterImage(RandomDeepMap<std::uint16_t>(ModeGray16, 67, 45, 4095), 4095));
    images.push_back(
        MakeRasterImage(RandomDeepMap<std::uint16_t>(ModeRGB48, 67, 45, 65535), 65535));
    images.push_back(MakeRasterImage(RandomDeepMap<std::uint8_t>(ModeGray, 67, 45, 255), 0));
    images.push_back(MakeRasterImage(RandomDeepMap<std::uint8_t>(ModeRGB, 67, 45, 255), 0));
    images.push_back(MakeRasterImage(RandomDeepMap<std::uint8_t>(ModeBitmap, 64, 45, 255), 0));
    QVTReadOptions coarser, region;
    coarser.level = 1;
    region.region = RegionRect{5, 7, 50, 33};
    const QVTReadOptions reads[] = {{}, coarser, region};
    for (RasterImage& image : images)
        for (const bool regionSupport : {false, true}) {
            WriteQVTFile(image, dir / "i.qvt", {.levels = 3, .regionSupport = regionSupport});
            for (const QVTReadOptions& read : reads)
                for (const bool binary : {true, false}) {
                    SCOPED_TRACE(std::to_string(image.Mode()) + " region support " +
                                 std::to_string(regionSupport) + " level " +
                                 std::to_string(read.level) + " binary " + std::to_string(binary));
                    RasterImage whole = ReadQVTFile(dir / "i.qvt", read);
                    WriteAnymapFile(whole, dir / "whole.pnm", binary);
                    QVTFileRows rows(dir / "i.qvt", read, 500);
                    WriteAnymapFile(rows, dir / "strips.pnm", binary);
                    EXPECT_EQ(ReadBytes(dir / "strips.pnm"), ReadBytes(dir / "whole.pnm"));
                }
        }
}

} // namespace
