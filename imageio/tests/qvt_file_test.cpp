// QVT files written by the save rules: deep samples (16-bit maps with any maximum, 30-bit Gray32
// values) come back unchanged from a lossless file with their maximum and the header's used bits
// tell the truth; anymaps written from strips of the decoded planes equal those of the whole
// image. (Indexed tables and regions cut from whole decodes are proved end to end by pictor-cli's
// tests.)
#include "anymap_file.h"
#include "pixmap_factory.h"
#include "qvt_file.h"
#include "qvt_my_image.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <omp.h>
#include <sys/resource.h>

namespace {

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
                         Case{ModeRGB48, 65535}, Case{ModeLab48, 65535}, Case{ModeCMYK64, 1023},
                         Case{ModeGray32, 0x3FFFFFFF}, Case{ModeGray32, 1000000}}) {
        const bool words32 = c.mode == ModeGray32;
        RasterImage image =
            MakeRasterImage(words32 ? RandomDeepMap<std::uint32_t>(c.mode, 19, 11, c.maximum)
                                    : RandomDeepMap<std::uint16_t>(c.mode, 19, 11, c.maximum),
                            c.maximum);
        WriteQVTFile(image, dir / "d.qvt", {.quality = 0, .levels = 3, .regionSupport = words32});
        EXPECT_EQ(UsedBitsOf(dir / "d.qvt"), std::bit_width(c.maximum));
        RasterImage back = ReadQVTFile(dir / "d.qvt");
        ASSERT_TRUE(back.pixMap);
        EXPECT_TRUE(SamePixels(*image.pixMap, *back.pixMap)) << c.mode << " " << c.maximum;
        EXPECT_EQ(back.maxChannelValue, c.maximum);
    }
}

// Strips cut from the decoded planes must make the same file as the whole decoded image: every
// anymap mode and variant, a deep maximum, a coarser level, a region read by region and one cut
// from a file without region support, on one thread and on several making strips side by side.
TEST(QVTFileRows, AnymapsWrittenStripByStripEqualThoseOfTheWholeImage) {
    const int threads = omp_get_max_threads();
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
                    for (const int team : {1, 3}) {
                        omp_set_num_threads(team);
                        QVTFileRows rows(dir / "i.qvt", read, 500);
                        WriteAnymapFile(rows, dir / "strips.pnm", binary);
                        EXPECT_EQ(ReadBytes(dir / "strips.pnm"), ReadBytes(dir / "whole.pnm"))
                            << team << " threads";
                    }
                }
        }
    omp_set_num_threads(threads);
}

// With threads to spare, strips are written on a thread of their own while the next is made; a
// failed write there must still reach the caller. A file size limit fails the second strip
// after the first went out whole; every strip (88 rows) passes stdio by, so its own error flag
// never sees the failure.
TEST(QVTFileRows, StripWriteFailuresAreReported) {
    TempDir dir;
    RasterImage image = MakeRasterImage(RandomDeepMap<std::uint8_t>(ModeRGB, 300, 264, 255), 0);
    WriteQVTFile(image, dir / "i.qvt", {.levels = 3});
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{100000, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto signal = std::signal(SIGXFSZ, SIG_IGN);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(2);
    QVTFileRows rows(dir / "i.qvt", {}, 80000);
    try {
        WriteAnymapFile(rows, dir / "o.ppm", true);
        ADD_FAILURE() << "written";
    } catch (const ImageFileError& error) {
        EXPECT_EQ(error.Code(), static_cast<std::uint32_t>(EFBIG));
    }
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, signal);
    omp_set_num_threads(threads);
}

} // namespace
