// Anymap files: every variant opens with the samples and maxval of the file however its header
// and separators are laid out, and an unchanged image is written back in the program's own
// layout byte for byte; files of the standard toolkit read exactly; no written sample exceeds its
// maxval and a failed write is reported, as is the first failing strip of those made on several
// threads; hostile headers are refused before allocating; a raster that ends early opens
// flagged, while one holding something other than samples is refused with what was found and
// where.
#include "anymap_file.h"
#include "mul_div.h"
#include "qvt_error.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <omp.h>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// Sample c (file order) of pixel (x, y): the display image's, or the pixel map's with `deep`.
std::uint32_t SampleAt(const RasterImage& image, bool deep, std::uint32_t x, std::uint32_t y,
                       int c) {
    const int channels = image.display->BitsPerPixel() == 24 ? 3 : 1;
    const std::size_t at = std::size_t{x} * channels + static_cast<std::size_t>(channels - 1 - c);
    if (!deep) return (image.display->TopRow() + std::ptrdiff_t{image.display->Pitch()} * y)[at];
    std::uint16_t s;
    std::memcpy(&s, image.pixMap->Row(y) + at * 2, 2);
    return s;
}

std::uint32_t BitAt(const RasterImage& image, std::uint32_t x, std::uint32_t y) {
    return (image.display->TopRow() + std::ptrdiff_t{image.display->Pitch()} * y)[x / 8] >>
               (7 - x % 8) &
           1;
}

struct Variant {
    int magic;
    std::uint32_t maxval;
};

class AnymapVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(AnymapVariants, OpensWithFileSamplesAndWritesThemBackInItsOwnLayout) {
    const auto [magic, maxval] = GetParam();
    const int channels = ChannelsOf(magic);
    TempDir dir;
    for (const std::uint32_t width : {1u, 7u, 8u, 9u, 100u}) {
        const std::uint32_t height = 3;
        Anymap original{magic, width, height, maxval,
                        RandomSamples(std::size_t{width} * height * channels, maxval, width)};
        for (const bool compact : {false, true}) {
            SCOPED_TRACE("P" + std::to_string(magic) + " width " + std::to_string(width) +
                         (compact ? " compact" : ""));
            WriteBytes(dir / "in.pnm", Encode(original, compact));
            RasterImage image = ReadAnymapFile(dir / "in.pnm");
            ASSERT_FALSE(image.incomplete);
            ASSERT_EQ(image.Width(), width);
            ASSERT_EQ(image.pixMap != nullptr, maxval > 255);
            for (std::uint32_t y = 0; y < height; ++y)
                for (std::uint32_t x = 0; x < width; ++x)
                    for (int c = 0; c < channels; ++c) {
                        const std::uint32_t v = original.samples[(y * width + x) * channels + c];
                        if (magic == 1 || magic == 4) {
                            ASSERT_EQ(BitAt(image, x, y), v);
                            continue;
                        }
                        ASSERT_EQ(SampleAt(image, false, x, y, c), MulDiv(v, 255, maxval));
                        if (maxval > 255) {
                            ASSERT_EQ(SampleAt(image, true, x, y, c), v);
                        }
                    }
            for (const bool binary : {true, false}) {
                WriteAnymapFile(image, dir / "out.pnm", binary);
                original.magic = (magic - 1) % 3 + (binary ? 4 : 1);
                EXPECT_EQ(ReadBytes(dir / "out.pnm"), Encode(original, false));
                original.magic = magic;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, AnymapVariants,
                         ::testing::Values(Variant{1, 1}, Variant{4, 1}, Variant{2, 255},
                                           Variant{2, 15}, Variant{2, 1000}, Variant{2, 65535},
                                           Variant{5, 1}, Variant{5, 255}, Variant{5, 256},
                                           Variant{5, 4095}, Variant{5, 65535}, Variant{3, 255},
                                           Variant{3, 7}, Variant{3, 40000}, Variant{6, 255},
                                           Variant{6, 100}, Variant{6, 1023}, Variant{6, 65535}));

// Plain files as the toolkit's writers lay them out (bitmap digits without separators, lines
// broken anywhere) give exactly the image of its binary file of the same picture.
TEST(Anymap, PlainFilesOfTheStandardToolkitReadExactly) {
    TempDir dir;
    for (const std::string name : {"text", "ramp", "pattern"}) {
        const std::string extension = name == "text" ? ".pbm" : name == "ramp" ? ".pgm" : ".ppm";
        const std::string data = std::string(PICTOR_IMAGEIO_TEST_DATA) + "/netpbm/" + name;
        RasterImage image = ReadAnymapFile(data + "_plain" + extension);
        EXPECT_FALSE(image.incomplete);
        WriteAnymapFile(image, dir / "raw.pnm", true);
        EXPECT_EQ(ReadBytes(dir / "raw.pnm"), ReadBytes(data + "_raw" + extension)) << name;
        // Through the program's own plain layout and back.
        WriteAnymapFile(image, dir / "plain.pnm", false);
        RasterImage again = ReadAnymapFile(dir / "plain.pnm");
        WriteAnymapFile(again, dir / "raw.pnm", true);
        EXPECT_EQ(ReadBytes(dir / "raw.pnm"), ReadBytes(data + "_raw" + extension)) << name;
    }
}

// Header tokens may share lines, comments may stand between any of them, and exactly one
// white-space byte (or a comment through its line end) ends a binary header, so a raster may
// start with bytes that look like white space. Hostile headers are refused before allocating.
TEST(Anymap, HeadersAreTokensAndHostileOnesAreRefused) {
    TempDir dir;
    const std::string header = kCannotReadHeader;
    const std::string wrongFormat = ErrorMessageForCode(ErrorWrongFormat);
    struct Case {
        std::string file;
        std::string error;         // empty for a file that opens
        std::string firstRow = ""; // the display bytes it opens with
    };
    const Case cases[] = {
        {"P5 2 1 255\n\x0A\x20", "", "\x0A\x20"},
        {"P5\n2 1\n255#comment\n\x20\x09", "", "\x20\x09"},
        {"P4 8\n# between width and height\n1\t\x0D", "", "\x0D"},
        {"# a\nP2\n# b\n# c\n2 1\n#d\n9\n3 9\n", "", "\x55\xFF"},
        {"P1#\n3#\n1#\n0 1\n1", "", "\x60"},
        {"P5\n0 5\n255\n", header},
        {"P5\n5 -1\n255\n", header},
        {"P5\n5x 5\n255\n", header},
        {"P5 5 5", header},
        {"P5\n5 5\n0\n", header},
        {"P5\n5 5\n65536\n", header},
        {"P5\n2147483648 1\n255\n", header},
        {"P5\n99999999999999999999 1\n255\n", header},
        {"P6\n100000 100000\n65535\n\x01\x02", header},
        {"P1\n50000 50000\n0 1", header},
        {"P5\n5 5\n" + std::string(2000, '9') + "\n", header},
        {"", header},
        {"P7\n1 1\n255\n\x01", wrongFormat},
        {"P52 2 255\n", wrongFormat},
        {"GIF89a", wrongFormat},
        {"P0\n1 1\n", wrongFormat},
    };
    for (const Case& c : cases) {
        WriteBytes(dir / "h.pnm", c.file);
        try {
            RasterImage image = ReadAnymapFile(dir / "h.pnm");
            EXPECT_EQ(c.error, "") << c.file;
            EXPECT_FALSE(image.incomplete) << c.file;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.display->TopRow()),
                                  c.firstRow.size()),
                      c.firstRow)
                << c.file;
        } catch (const ImageFileError& error) {
            EXPECT_EQ(error.what(), c.error) << c.file.substr(0, 40);
        }
    }
    try {
        ReadAnymapFile(dir / "absent/x.pgm");
        ADD_FAILURE();
    } catch (const ImageFileError& error) {
        EXPECT_EQ(error.Code(), std::uint32_t{ENOENT});
    }
}

TEST(Anymap, ShortRastersOpenIncompleteButJunkIsRefusedWhereItStands) {
    TempDir dir;
    for (const std::string& file :
         {std::string("P5\n4 2\n65535\n\x12\x34\x56"), std::string("P2\n4 2\n255\n1 2 3 4 5"),
          std::string("P4\n8 3\n\xFF"), std::string("P1\n9 2\n011010011\n1"),
          // A fiftieth of a bitmap without separators is a truncation, not a lying header.
          "P1\n2000 100\n" + std::string(4000, '1'), std::string("P3\n2 1\n255\n1 2 3 4\n")}) {
        WriteBytes(dir / "s.pnm", file);
        RasterImage image = ReadAnymapFile(dir / "s.pnm");
        EXPECT_TRUE(image.incomplete) << file;
        const std::uint8_t* last =
            image.display->TopRow() + std::ptrdiff_t{image.display->Pitch()} * (image.Height() - 1);
        // The first byte of the last pixel lies past what the file holds.
        EXPECT_EQ(last[(image.Width() - 1) * image.display->BitsPerPixel() / 8], 0) << file;
    }
    WriteBytes(dir / "s.pnm", "P5\n4 2\n65535\n\x12\x34\x56");
    RasterImage deep = ReadAnymapFile(dir / "s.pnm");
    EXPECT_EQ(SampleAt(deep, true, 0, 0, 0), 0x1234u);
    EXPECT_EQ(SampleAt(deep, true, 1, 0, 0), 0u);

    const std::pair<std::string, std::string> junk[] = {
        {"P2\n3 2\n255\n1 2 3\n4 x 6\n", "\"x\" where a sample belongs (row 2, column 2)"},
        {"P3\n2 1\n255\n1 2 3 4 5x 6", "\"5x\" where a sample belongs (row 1, column 2)"},
        {"P1\n3 2\n010\n1 2 0", "\"2\" where a sample belongs (row 2, column 2)"},
        {"P1\n4 1\n01-1", "\"-1\" where a sample belongs (row 1, column 3)"},
        {"P2\n2 1\n255\n7 \x01\x80y", "\"\\x01\\x80y\" where a sample belongs (row 1, column 2)"},
    };
    for (const auto& [file, message] : junk) {
        WriteBytes(dir / "j.pnm", file);
        try {
            ReadAnymapFile(dir / "j.pnm");
            ADD_FAILURE() << "opened: " << file;
        } catch (const ImageFileError& error) {
            EXPECT_EQ(error.what(), "The image data holds " + message + ".");
        }
    }
}

TEST(Anymap, SamplesAboveMaxvalAreClampedSoNoneIsWrittenBack) {
    TempDir dir;
    // 5000 and 4096 exceed 4095.
    WriteBytes(dir / "a.pgm", std::string("P5\n3 1\n4095\n\x13\x88\x10\x00\x0F\xFF", 18));
    RasterImage deep = ReadAnymapFile(dir / "a.pgm");
    EXPECT_EQ(deep.display->TopRow()[1], 255);
    WriteAnymapFile(deep, dir / "b.pgm", false);
    EXPECT_EQ(ReadBytes(dir / "b.pgm"), "P2\n3 1\n4095\n4095 4095 4095 \n");
}

// A full disk is reported, whether the rows leave through stdio's buffer (a small image) or
// are written straight from the strip (a large one).
TEST(Anymap, WriteFailuresAreReported) {
    TempDir dir;
    for (const std::uint32_t side : {4u, 400u}) {
        const std::string raster(std::size_t{side} * side * 3, '\x7F');
        const std::string size = std::to_string(side);
        WriteBytes(dir / "a.ppm", "P6\n" + size + " " + size + "\n255\n" + raster);
        RasterImage image = ReadAnymapFile(dir / "a.ppm");
        try {
            WriteAnymapFile(image, "/dev/full", true);
            ADD_FAILURE() << "written: " << side;
        } catch (const ImageFileError& error) {
            EXPECT_EQ(error.Code(), static_cast<std::uint32_t>(ENOSPC)) << side;
        }
    }
}

// Rows made on several threads at once, strips in turn or runs of rows each on a thread, still
// reach the file in order, and of two strips that fail, the first in the file is the one
// reported, whichever failed first.
TEST(Anymap, RowsMadeOnEveryThreadLeaveInOrderAndTheFirstFailureIsReported) {
    class GrayRows final : public ImageRowSource {
    public:
        GrayRows(std::vector<std::uint32_t> failingRows, std::vector<std::uint32_t> runs)
            : failing_(std::move(failingRows)), runs_(std::move(runs)), next_(runs_) {}
        ImageMode Mode() const override { return ModeGray; }
        std::uint32_t Width() const override { return 5; }
        std::uint32_t Height() const override { return 40; }
        std::uint32_t MaxChannelValue() const override { return 0; }
        std::uint32_t StripRows() const override { return 3; }
        const std::uint8_t* Rows(std::uint32_t, std::uint32_t, std::ptrdiff_t&) override {
            throw ImageFileError("rows asked for");
        }
        bool RowsRedFirst(std::uint32_t first, std::uint32_t count, std::uint8_t* to,
                          std::ptrdiff_t pitch) override {
            if (!runs_.empty()) {
                const auto run = static_cast<std::size_t>(
                    std::upper_bound(runs_.begin(), runs_.end(), first) - runs_.begin() - 1);
                const std::uint32_t end = run + 1 < runs_.size() ? runs_[run + 1] : Height();
                if (first != next_[run] || count > end - first)
                    throw ImageFileError("rows out of their run");
                next_[run] += count;
            }
            for (const std::uint32_t row : failing_) {
                if (row < first || row >= first + count) continue;
                // A run's earlier failure waits (a while) for the later one in the file.
                if (!runs_.empty() && row == failing_.back())
                    for (int wait = 0; wait < 1000 && !laterFailed_; ++wait)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                laterFailed_ = true;
                throw ImageFileError("row " + std::to_string(row));
            }
            for (std::uint32_t y = 0; y < count; ++y)
                for (std::uint32_t x = 0; x < 5; ++x)
                    to[pitch * y + x] = static_cast<std::uint8_t>((first + y) * 5 + x);
            return true;
        }
        bool RowsRedFirstOnAnyThread() const override { return runs_.empty(); }
        std::vector<std::uint32_t> RowRuns(int runs) override {
            return static_cast<std::size_t>(runs) >= runs_.size() ? runs_
                                                                  : std::vector<std::uint32_t>{};
        }

    private:
        std::vector<std::uint32_t> failing_;
        std::vector<std::uint32_t> runs_;
        std::vector<std::uint32_t> next_;
        std::atomic<bool> laterFailed_{false};
    };
    TempDir dir;
    const int threads = omp_get_max_threads();
    omp_set_num_threads(3);
    std::string raster(200, '\0');
    for (std::size_t i = 0; i < raster.size(); ++i)
        raster[i] = static_cast<char>(i);
    // The strip that fails first lies lower in the file.
    for (const auto& [runs, failing, reported] :
         {std::tuple{std::vector<std::uint32_t>{}, std::vector<std::uint32_t>{33, 12}, "row 12"},
          std::tuple{std::vector<std::uint32_t>{0, 22}, std::vector<std::uint32_t>{22, 20},
                     "row 20"}}) {
        SCOPED_TRACE(runs.size());
        GrayRows whole({}, runs);
        WriteAnymapFile(whole, dir / "a.pgm", true);
        EXPECT_EQ(ReadBytes(dir / "a.pgm"), "P5\n5 40\n255\n" + raster);
        GrayRows broken(failing, runs);
        try {
            WriteAnymapFile(broken, dir / "b.pgm", true);
            ADD_FAILURE() << "written";
        } catch (const ImageFileError& error) {
            EXPECT_STREQ(error.what(), reported);
        }
    }
    omp_set_num_threads(threads);
}

} // namespace
