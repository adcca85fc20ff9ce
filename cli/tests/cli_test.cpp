// End-to-end tests of pictor-cli: they run the built program as a user would and check the files
// it writes and the messages and exit statuses it gives. Every raw mode must survive a lossless
// QVT round trip byte for byte, anymaps and Qt formats (16-bit ones too) must pass through
// unchanged, a region or level decode must equal the crop of a full decode, and bad input must
// fail with the right text naming the file.
#include "cli_fixture.h"

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>

namespace {

using namespace cli_test;

TEST_F(Cli, EveryRawModeSurvivesALosslessRoundTrip) {
    const ImageMode modes[] = {ModeBitmap, ModeGray,  ModeRGB,   ModeCMYK,   ModeLab,
                               ModeGray16, ModeRGB48, ModeLab48, ModeCMYK64, ModeARGB,
                               ModeGray32, ModeRGB12, ModeRGB16};
    for (const ImageMode mode : modes) {
        for (const char* options : {"--levels 3", "--roi --quality 0"}) {
            const std::string raw = RandomRaw(mode, 37, 21, mode);
            WriteBytes(Path("in.raw"), raw);
            Ok("encode " + Path("in.raw") + " " + Path("m.qvt") + " " + RawArgument(mode, 37, 21) +
               " " + options);
            Ok("decode " + Path("m.qvt") + " " + Path("out.raw"));
            EXPECT_EQ(ReadBytes(Path("out.raw")), raw) << ImageModeName(mode) << " " << options;
        }
    }
}

// Anymaps of every variant pass through QVT and back in the same variant, those laid out as
// other writers lay them out in the program's own layout.
TEST_F(Cli, AnymapsPassThroughQVTUnchanged) {
    const std::pair<std::string, std::string> files[] = {
        {"P1 10#\n2\n1011001011\n0000000001",
         "P1\n10 2\n1 0 1 1 0 0 1 0 1 1 \n0 0 0 0 0 0 0 0 0 1 \n"},
        {"P2\n2 2\n1000\n0 999 \n1000 500 \n", ""},
        {"P3 1 2 40000\t40000 1 2\r\n3 4 5", "P3\n1 2\n40000\n40000 1 2 \n3 4 5 \n"},
        {std::string("P4\n9 2\n\xA5\x80\x01\x00", 11), ""},
        {std::string("P5 3 1 4095 \x0F\xFF\x00\x00\x0A\x0A", 18),
         std::string("P5\n3 1\n4095\n\x0F\xFF\x00\x00\x0A\x0A", 18)},
        {std::string("P6\n2 1\n65535\n\xFF\xFF\x00\x01\x80\x00\x12\x34\x00\x00\xFF\xFE", 25), ""},
    };
    for (const auto& [content, written] : files) {
        WriteBytes(Path("in.pnm"), content);
        const std::string expected = written.empty() ? content : written;
        Ok("encode " + Path("in.pnm") + " " + Path("v.qvt"));
        Ok("decode " + Path("v.qvt") + " " + Path("out.pnm") +
           (expected[1] <= '3' ? " --plain" : ""));
        EXPECT_EQ(ReadBytes(Path("out.pnm")), expected) << content;
    }
}

QImage RandomImage(QImage::Format format, int width, int height, std::uint32_t seed) {
    QImage image(width, height, format);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (qsizetype i = 0; i < image.bytesPerLine(); ++i)
            row[i] = static_cast<uchar>(random());
    }
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < 256; ++i)
            table.push_back(qRgb(i * 3 % 256, i, 255 - i));
        image.setColorTable(table);
    }
    if (format == QImage::Format_Mono) image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    if (format == QImage::Format_RGBX64)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                reinterpret_cast<QRgba64*>(image.scanLine(y))[x].setAlpha(65535);
    return image;
}

// Compared at 16 bits a channel, so deep images must match exactly too.
bool SamePicture(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_RGBA64) == b.convertToFormat(QImage::Format_RGBA64);
}

TEST_F(Cli, QtFormatsPassThroughQVTUnchanged) {
    struct Case {
        QImage::Format format;
        const char* name;
        const char* mode;
    };
    for (const Case c : {Case{QImage::Format_RGB888, "rgb.png", "RGB"},
                         Case{QImage::Format_ARGB32, "argb.png", "ARGB"},
                         Case{QImage::Format_Grayscale8, "gray.png", "Gray"},
                         Case{QImage::Format_Indexed8, "indexed.bmp", "Indexed"},
                         Case{QImage::Format_Mono, "mono.bmp", "Bitmap"},
                         Case{QImage::Format_Grayscale16, "gray16.png", "Gray16"},
                         Case{QImage::Format_RGBX64, "rgb48.tif", "RGB48"}}) {
        const QImage original = RandomImage(c.format, 29, 17, c.format);
        ASSERT_TRUE(original.save(QString::fromStdString(Path(c.name))));
        const Outcome info = Run("info " + Path(c.name));
        EXPECT_NE(info.out.find(std::string("Mode: ") + c.mode + " "), std::string::npos)
            << c.name << "\n"
            << info.out;
        Ok("encode " + Path(c.name) + " " + Path("q.qvt"));
        const std::string back = Path(std::string("back_") + c.name);
        Ok("decode " + Path("q.qvt") + " " + back);
        EXPECT_TRUE(SamePicture(QImage(QString::fromStdString(back)), original)) << c.name;
    }
}

// Qt and the dozens of libraries behind it are loaded only for the formats that need them, so
// QVT and anymap work starts in a fraction of the time.
TEST_F(Cli, QtLoadsOnlyForTheFormatsThatNeedIt) {
    WriteBytes(Path("a.pgm"), std::string("P5\n2 2\n255\n\x01\x02\x03\x04", 15));
    const std::string showLoads = "LD_DEBUG=files";
    const Outcome native = Run("encode " + Path("a.pgm") + " " + Path("a.qvt"), showLoads);
    ASSERT_EQ(native.status, 0) << native.err;
    EXPECT_EQ(native.err.find("libQt6"), std::string::npos);
    const Outcome png = Run("convert " + Path("a.qvt") + " " + Path("a.png"), showLoads);
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_NE(png.err.find("libQt6Gui"), std::string::npos);
    Ok("convert " + Path("a.png") + " " + Path("b.pgm"));
    EXPECT_EQ(ReadBytes(Path("b.pgm")), ReadBytes(Path("a.pgm")));
}

// Idle OpenMP workers sleep after a brief spin rather than spin on, whatever the user's
// environment; a tool with the runtime linked in chooses that before the runtime starts, and so
// starts once rather than twice.
TEST_F(Cli, StartsWithSleepingOpenMPWorkers) {
    const Outcome outcome =
        Run("--help", "env -u OMP_WAIT_POLICY -u GOMP_SPINCOUNT OMP_DISPLAY_ENV=verbose");
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const std::string begin = "OPENMP DISPLAY ENVIRONMENT BEGIN";
    const std::size_t last = outcome.err.rfind(begin);
    ASSERT_NE(last, std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("GOMP_SPINCOUNT = '1000'", last), std::string::npos) << outcome.err;
    if (PICTOR_CLI_OPENMP_LINKED_IN) {
        EXPECT_EQ(outcome.err.find(begin), last) << outcome.err;
    }
}

// A region at level L is the crop of that level's full decode whose edges are ceil(edge / 2^L)
// of the given ones, at least one pixel wide and high (the level's last one at its border), for
// files with and without region support.
TEST_F(Cli, RegionsAndLevelsMatchCropsOfFullDecodes) {
    const std::uint32_t width = 64;
    const std::uint32_t height = 48;
    WriteBytes(Path("p.raw"), RandomRaw(ModeRGB, width, height, 7));
    const std::string raw = " " + RawArgument(ModeRGB, width, height);
    struct Region {
        std::uint32_t x, y, w, h;
    };
    for (const char* options : {"--roi --levels 4", "--roi --levels 4 --quality 2", "--levels 4"}) {
        Ok("encode " + Path("p.raw") + " " + Path("r.qvt") + raw + " " + options);
        for (const int level : {0, 1, 2}) {
            const std::string at = " --level " + std::to_string(level);
            Ok("decode " + Path("r.qvt") + " " + Path("full.raw") + at);
            const auto up = [level](std::uint32_t v) { return (v + (1u << level) - 1) >> level; };
            // [begin, end) of one axis at the level, whose size is `size`.
            const auto span = [&up](std::uint32_t begin, std::uint32_t end, std::uint32_t size) {
                std::pair<std::uint32_t, std::uint32_t> edges{up(begin), std::min(up(end), size)};
                if (edges.second <= edges.first) {
                    edges.first = std::min(edges.first, size - 1);
                    edges.second = edges.first + 1;
                }
                return edges;
            };
            for (const Region r : {Region{8, 4, 20, 16}, Region{5, 3, 17, 13}, Region{9, 10, 1, 2},
                                   Region{63, 45, 1, 3}}) {
                const std::string region = std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                                           std::to_string(r.w) + "," + std::to_string(r.h);
                Ok("decode " + Path("r.qvt") + " " + Path("part.raw") + at + " --region " + region);
                const auto [left, right] = span(r.x, r.x + r.w, up(width));
                const auto [top, bottom] = span(r.y, r.y + r.h, up(height));
                const std::string crop =
                    CropRaw(ReadBytes(Path("full.raw")), 3, up(width), left, top, right, bottom);
                EXPECT_EQ(ReadBytes(Path("part.raw")), crop) << options << at << " " << region;
            }
        }
        // The codec may use fewer levels than asked for a small image; info tells how many.
        const std::string info = Run("info " + Path("r.qvt")).out;
        const int levels = std::atoi(info.c_str() + info.find("Levels: ") + 8);
        ASSERT_GE(levels, 2);
        const std::uint32_t coarsest = static_cast<std::uint32_t>(levels - 1);
        Ok("decode " + Path("r.qvt") + " " + Path("thumb.raw") + " --thumbnail");
        Ok("decode " + Path("r.qvt") + " " + Path("coarsest.raw") + " --level " +
           std::to_string(coarsest));
        EXPECT_EQ(ReadBytes(Path("thumb.raw")).size(), std::size_t{((width - 1) >> coarsest) + 1} *
                                                           (((height - 1) >> coarsest) + 1) * 3);
        EXPECT_EQ(ReadBytes(Path("thumb.raw")), ReadBytes(Path("coarsest.raw")));
    }
}

// Every failure names the file it concerns, as "pictor-cli: FILE: MESSAGE"; every reader of a file
// reports its faults alike.
TEST_F(Cli, BadInputsGiveTheirMessageAndStatus) {
    WriteBytes(Path("bad.pgm"), "P5\n0 0\n255\n");
    WriteBytes(Path("text.png"), "not an image at all");
    WriteBytes(Path("rgb.ppm"), "P6\n2 2\n255\n" + std::string(12, 'x'));
    WriteBytes(Path("short.ppm"), "P6\n4 4\n255\n" + std::string(20, 'x'));
    WriteBytes(Path("junk.pgm"), "P2\n2 2\n255\n7 8\n9 OK\n");
    std::filesystem::create_directory(Path("folder.ppm"));
    Ok("encode " + Path("rgb.ppm") + " " + Path("ok.qvt"));
    WriteBytes(Path("noise.ppm"), "P6\n64 64\n255\n" + RandomRaw(ModeRGB, 64, 64, 1));
    Ok("kle create " + Path("n.kle") + " --size 64x64 --mode RGB --from " + Path("noise.ppm"));
    const std::string qvt = ReadBytes(Path("ok.qvt"));
    WriteBytes(Path("cut.qvt"), qvt.substr(0, 10));
    // "pictor-cli: FILE: " for a file of this test's folder.
    const auto about = [this](const char* name) { return "pictor-cli: " + Path(name) + ": "; };
    const std::string junk =
        "The image data holds \"OK\" where a sample belongs (row 2, column 2).";

    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"", 2, "usage: pictor-cli"},
        {"frobnicate a b", 2, "unknown command"},
        {"encode " + Path("rgb.ppm"), 2, "usage: pictor-cli encode"},
        {"encode " + Path("rgb.ppm") + " " + Path("x.qvt") + " --quality 32", 2, "--quality"},
        {"encode " + Path("rgb.ppm") + " " + Path("x.qvt") + " --levels 0", 2, "--levels"},
        {"encode " + Path("rgb.ppm") + " " + Path("x.png"), 2, ".qvt"},
        {"encode " + Path("rgb.ppm") + " " + Path("x.qvt") + " --bogus", 2, "unknown option"},
        {"decode " + Path("ok.qvt") + " " + Path("x.png") + " --level 1 --thumbnail", 2, "exclude"},
        {"decode " + Path("ok.qvt") + " " + Path("x.png") + " --region 1,2,3", 2, "--region"},
        {"convert " + Path("rgb.ppm") + " " + Path("x.png") + " --mode Purple", 2, "unknown mode"},
        {"convert " + Path("in.raw") + " " + Path("x.png"), 2, "--raw"},
        {"convert " + Path("rgb.ppm") + " " + Path("x.raw") + " --raw 2x2:RGB", 2, ".raw input"},
        {"convert " + Path("missing.ppm") + " " + Path("x.png"), 1,
         about("missing.ppm") + "No such file or directory"},
        {"decode " + Path("missing.qvt") + " " + Path("x.ppm"), 1,
         about("missing.qvt") + "No such file or directory"},
        {"psnr " + Path("rgb.ppm") + " " + Path("missing.ppm"), 1,
         about("missing.ppm") + "No such file or directory"},
        {"kle write " + Path("n.kle") + " " + Path("missing.ppm") + " --at 0,0", 1,
         about("missing.ppm") + "No such file or directory"},
        {"info " + Path("folder.ppm"), 1, about("folder.ppm") + "Is a directory"},
        {"kle write " + Path("n.kle") + " " + Path("folder.ppm") + " --at 0,0", 1,
         about("folder.ppm") + "Is a directory"},
        {"decode " + Path("ok.qvt") + " " + Path("no/x.ppm"), 1,
         about("no/x.ppm") + "No such file or directory"},
        {"decode " + Path("ok.qvt") + " " + Path("no/x.png"), 1,
         about("no/x.png") + "No such file or directory"},
        {"decode " + Path("ok.qvt") + " " + Path("x.ppm") + " --region 0,2,1,1", 1,
         about("ok.qvt") + "The region lies outside the 2 x 2 image."},
        {"convert " + Path("bad.pgm") + " " + Path("x.png"), 1,
         about("bad.pgm") + "Cannot read image header."},
        {"convert " + Path("text.png") + " " + Path("x.bmp"), 1, about("text.png") + "QVT error: "},
        {"decode " + Path("cut.qvt") + " " + Path("x.png"), 1, about("cut.qvt") + "QVT error: "},
        {"info " + Path("cut.qvt"), 1, about("cut.qvt") + "QVT error: "},
        {"info " + Path("junk.pgm"), 1, about("junk.pgm") + junk},
        {"convert " + Path("junk.pgm") + " " + Path("x.ppm"), 1, about("junk.pgm") + junk},
        {"encode " + Path("junk.pgm") + " " + Path("x.qvt"), 1, about("junk.pgm") + junk},
        {"kle create " + Path("x.kle") + " --size 2x2 --mode Gray --from " + Path("junk.pgm"), 1,
         about("junk.pgm") + junk},
        {"convert " + Path("rgb.ppm") + " " + Path("x.png") + " --mode CMYK", 1,
         about("x.png") + "Cannot save image.\nThere is no suitable image format."},
        {"convert " + Path("rgb.ppm") + " " + Path("x.ppm") + " --mode Bitmap", 1,
         about("rgb.ppm") + "An image in mode RGB cannot be converted to Bitmap."},
        {"convert " + Path("short.ppm") + " " + Path("x.ppm"), 0,
         about("short.ppm") + "warning: The file ends before its image data"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.arguments << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                  << outcome.err;
    }
    // A write the system cuts short fails, whichever encoder writes, naming the file written
    // (here: files of at most 2 KiB, the limit's signal ignored so that writes fail with EFBIG).
    for (const char* name : {"big.png", "big.tif", "big.ppm", "big.qvt", "big.kle"}) {
        const std::string from = name == std::string("big.kle") ? "kle reorganize " + Path("n.kle")
                                                                : "convert " + Path("noise.ppm");
        const Outcome outcome = Run(from + " " + Path(name), "trap '' XFSZ; ulimit -f 4;");
        EXPECT_EQ(outcome.status, 1) << name;
        EXPECT_NE(outcome.err.find(about(name) + "File too large"), std::string::npos)
            << outcome.err;
    }
}

// On one thread a decode into an anymap decodes the last level while it writes the rows: a file
// whose last block is cut fails naming it, and leaves no half-written output.
TEST_F(Cli, AFileCutInItsLastLevelFailsAndLeavesNoOutput) {
    // Rows of 2304 bytes: a mebibyte strip holds fewer than the 512 rows.
    WriteBytes(Path("noise.ppm"), "P6\n768 512\n255\n" + RandomRaw(ModeRGB, 768, 512, 3));
    Ok("encode " + Path("noise.ppm") + " " + Path("n.qvt"));
    const std::string qvt = ReadBytes(Path("n.qvt"));
    WriteBytes(Path("cut.qvt"), qvt.substr(0, qvt.size() - 10));
    // Two threads decode the last level in two runs; only the lower one fails.
    for (const char* threads : {"OMP_NUM_THREADS=1", "OMP_NUM_THREADS=2"}) {
        const Outcome outcome = Run("decode " + Path("cut.qvt") + " " + Path("out.ppm"), threads);
        EXPECT_EQ(outcome.status, 1) << threads;
        EXPECT_NE(outcome.err.find("pictor-cli: " + Path("cut.qvt") + ": QVT error: "),
                  std::string::npos)
            << outcome.err;
        EXPECT_FALSE(std::filesystem::exists(Path("out.ppm"))) << threads;
    }
}

TEST_F(Cli, PsnrGivesTheComparisonMessages) {
    WriteBytes(Path("a.ppm"), "P6\n2 1\n255\n\x10\x20\x30\x40\x50\x60");
    WriteBytes(Path("b.ppm"), "P6\n2 1\n255\n\x10\x20\x30\x40\x50\x61");
    WriteBytes(Path("g.pgm"), "P5\n2 1\n255\n\x10\x20");
    EXPECT_EQ(Run("psnr " + Path("a.ppm") + " " + Path("a.ppm")).out,
              "There is no difference. Lossless quality!\n");
    // Raw rows hold blue, green, red.
    WriteBytes(Path("a.raw"), "\x30\x20\x10\x60\x50\x40");
    EXPECT_EQ(Run("psnr " + Path("a.ppm") + " " + Path("a.raw") + " --raw 2x1:rgb").out,
              "There is no difference. Lossless quality!\n");
    const Outcome incompatible = Run("psnr " + Path("a.ppm") + " " + Path("g.pgm"));
    EXPECT_EQ(incompatible.out, "The two images are incompatible. The PSNR cannot be computed.\n");
    EXPECT_EQ(incompatible.status, 1);
    // One blue sample off by one in six: MSE 1/6 overall, 1/2 in blue (stored first).
    EXPECT_EQ(Run("psnr " + Path("a.ppm") + " " + Path("b.ppm")).out,
              "The PSNR is 55.9 dB.\n[B: 51.1, G: 100.0, R: 100.0]\n");
}

} // namespace
