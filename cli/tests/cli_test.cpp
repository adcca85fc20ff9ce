// End-to-end tests of pictor-cli: they run the built program as a user would and check the files
// it writes and the messages and exit statuses it gives. Every raw mode must survive a lossless
// QVT round trip byte for byte, anymaps and Qt formats must pass through unchanged, a region or
// level decode must equal the crop of a full decode, and bad input must fail with the right text.
#include "cli_fixture.h"

#include <QImage>

#include <cstdlib>
#include <random>

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

TEST_F(Cli, DeepAnymapsKeepSamplesAndMaxvalThroughQVT) {
    for (const char* maxval : {"256", "1000", "4095", "65535"}) {
        const std::uint32_t top = static_cast<std::uint32_t>(std::atoi(maxval));
        std::mt19937 random(top);
        for (const char* kind : {"pgm", "ppm"}) {
            const int channels = kind[1] == 'p' ? 3 : 1;
            std::string file =
                std::string(channels == 3 ? "P6" : "P5") + "\n13 7\n" + maxval + "\n";
            for (int i = 0; i < 13 * 7 * channels; ++i) {
                const std::uint32_t v = i == 0 ? top : random() % (top + 1);
                file += static_cast<char>(v >> 8);
                file += static_cast<char>(v & 0xFF);
            }
            const std::string in = Path(std::string("in.") + kind);
            const std::string out = Path(std::string("out.") + kind);
            WriteBytes(in, file);
            Ok("encode " + in + " " + Path("d.qvt") + " --roi");
            Ok("decode " + Path("d.qvt") + " " + out);
            EXPECT_EQ(ReadBytes(out), file) << kind << " maxval " << maxval;
            Ok("info " + Path("d.qvt"));
        }
    }
}

TEST_F(Cli, EveryAnymapVariantIsWrittenBackUnchanged) {
    const std::pair<std::string, std::string> files[] = {
        {"a.pbm", "P1\n10 2\n1 0 1 1 0 0 1 0 1 1 \n0 0 0 0 0 0 0 0 0 1 \n"},
        {"b.pgm", "P2\n3 2\n15\n0 7 15 \n1 2 3 \n"},
        {"c.pgm", "P2\n2 2\n1000\n0 999 \n1000 500 \n"},
        {"d.ppm", "P3\n2 1\n255\n255 0 10 1 2 3 \n"},
        {"e.ppm", "P3\n1 2\n40000\n40000 1 2 \n3 4 5 \n"},
        {"f.pbm", std::string("P4\n9 2\n\xA5\x80\x01\x00", 11)},
        {"g.pgm", std::string("P5\n3 1\n100\n\x00\x32\x64", 14)},
        {"h.ppm", std::string("P6\n1 1\n300\n\x01\x2C\x00\x00\x00\x05", 17)},
    };
    for (const auto& [name, content] : files) {
        WriteBytes(Path(name), content);
        const bool plain = content[1] <= '3';
        const std::string out = Path(std::string("out_") + name);
        Ok("convert " + Path(name) + " " + out + (plain ? " --plain" : ""));
        EXPECT_EQ(ReadBytes(out), content) << name;
        // Through QVT and back, in the same variant.
        Ok("encode " + Path(name) + " " + Path("v.qvt"));
        Ok("decode " + Path("v.qvt") + " " + out + (plain ? " --plain" : ""));
        // 8-bit files with a small maxval are held scaled to 0 ... 255; QVT keeps those values
        // and reports 255, so only the others come back byte for byte.
        if (content.find("\n15\n") == std::string::npos &&
            content.find("\n100\n") == std::string::npos) {
            EXPECT_EQ(ReadBytes(out), content) << name << " through QVT";
        }
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
    return image;
}

bool SamePicture(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

TEST_F(Cli, QtFormatsPassThroughQVTAndAnymapsUnchanged) {
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
                         Case{QImage::Format_Grayscale16, "gray16.png", "Gray16"}}) {
        const QImage original = RandomImage(c.format, 29, 17, c.format);
        ASSERT_TRUE(original.save(QString::fromStdString(Path(c.name))));
        const Outcome info = Run("info " + Path(c.name));
        EXPECT_NE(info.out.find(std::string("Mode: ") + c.mode + " "), std::string::npos)
            << c.name << "\n"
            << info.out;
        Ok("encode " + Path(c.name) + " " + Path("q.qvt"));
        if (c.format == QImage::Format_Grayscale16) {
            // 16-bit samples leave through a raw file; Qt encoders take the display modes only.
            EXPECT_EQ(Run("decode " + Path("q.qvt") + " " + Path("back.png")).status, 1);
            Ok("decode " + Path("q.qvt") + " " + Path("back.raw"));
            const QImage gray = original.convertToFormat(QImage::Format_Grayscale16);
            std::string expected;
            for (int y = 0; y < gray.height(); ++y)
                expected.append(reinterpret_cast<const char*>(gray.constScanLine(y)), 29 * 2);
            EXPECT_EQ(ReadBytes(Path("back.raw")), expected);
            continue;
        }
        Ok("decode " + Path("q.qvt") + " " + Path("back.png"));
        EXPECT_TRUE(SamePicture(QImage(QString::fromStdString(Path("back.png"))), original))
            << c.name;
    }
    // Display-held modes written through Qt encoders by extension.
    ASSERT_TRUE(
        RandomImage(QImage::Format_RGB888, 8, 8, 1).save(QString::fromStdString(Path("s.png"))));
    for (const char* target : {"t.bmp", "t.ppm", "t.tif", "t.webp"}) {
        if (std::string(target) == "t.tif" || std::string(target) == "t.webp") {
            const Outcome outcome = Run("convert " + Path("s.png") + " " + Path(target));
            if (outcome.status != 0) continue; // the plug-in may be missing on a bare machine
        }
        Ok("convert " + Path("s.png") + " " + Path(target));
        Ok("convert " + Path(target) + " " + Path("u.png"));
        if (std::string(target) != "t.webp") {
            EXPECT_TRUE(SamePicture(QImage(QString::fromStdString(Path("u.png"))),
                                    QImage(QString::fromStdString(Path("s.png")))))
                << target;
        }
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

TEST_F(Cli, RegionsAndLevelsMatchCropsOfFullDecodes) {
    const std::uint32_t width = 64;
    const std::uint32_t height = 48;
    WriteBytes(Path("p.raw"), RandomRaw(ModeRGB, width, height, 7));
    const std::string raw = " " + RawArgument(ModeRGB, width, height);
    for (const char* options : {"--roi --levels 4", "--roi --levels 4 --quality 2", "--levels 4"}) {
        Ok("encode " + Path("p.raw") + " " + Path("r.qvt") + raw + " " + options);
        for (const int level : {0, 1, 2}) {
            const std::string at = " --level " + std::to_string(level);
            Ok("decode " + Path("r.qvt") + " " + Path("full.raw") + at);
            Ok("decode " + Path("r.qvt") + " " + Path("part.raw") + at + " --region 8,4,20,16");
            const auto up = [level](std::uint32_t v) { return (v + (1u << level) - 1) >> level; };
            const std::string crop =
                CropRaw(ReadBytes(Path("full.raw")), 3, up(width), up(8), up(4), up(28), up(20));
            EXPECT_EQ(ReadBytes(Path("part.raw")), crop) << options << at;
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

TEST_F(Cli, BadInputsGiveTheirMessageAndStatus) {
    WriteBytes(Path("bad.pgm"), "P5\n0 0\n255\n");
    WriteBytes(Path("huge.pgm"), "P5\n90000 90000\n65535\n\x01");
    WriteBytes(Path("text.png"), "not an image at all");
    WriteBytes(Path("rgb.ppm"), "P6\n2 2\n255\n" + std::string(12, 'x'));
    WriteBytes(Path("short.ppm"), "P6\n4 4\n255\n" + std::string(20, 'x'));
    Ok("encode " + Path("rgb.ppm") + " " + Path("ok.qvt"));
    const std::string qvt = ReadBytes(Path("ok.qvt"));
    WriteBytes(Path("cut.qvt"), qvt.substr(0, 10));
    WriteBytes(Path("nosig.qvt"), "XYZ" + qvt.substr(3));

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
        {"convert " + Path("missing.ppm") + " " + Path("x.png"), 1, "No such file or directory"},
        {"convert " + Path("bad.pgm") + " " + Path("x.png"), 1, "Cannot read image header."},
        {"convert " + Path("huge.pgm") + " " + Path("x.png"), 1, "Cannot read image header."},
        {"convert " + Path("text.png") + " " + Path("x.bmp"), 1, "QVT error: "},
        {"decode " + Path("cut.qvt") + " " + Path("x.png"), 1, "QVT error: "},
        {"decode " + Path("nosig.qvt") + " " + Path("x.png"), 1, "QVT error: "},
        {"info " + Path("cut.qvt"), 1, "QVT error: "},
        {"convert " + Path("rgb.ppm") + " " + Path("x.png") + " --mode CMYK", 1,
         "Cannot save image.\nThere is no suitable image format."},
        {"convert " + Path("rgb.ppm") + " " + Path("x.unknownformat"), 1,
         "Cannot save image.\nThere is no suitable image format."},
        {"convert " + Path("rgb.ppm") + " " + Path("x.raw") + " --mode Indexed", 1,
         "Cannot save image.\nThere is no suitable image format."},
        {"convert " + Path("rgb.ppm") + " " + Path("x.ppm") + " --mode Bitmap", 1,
         "cannot be converted"},
        {"convert " + Path("short.ppm") + " " + Path("x.ppm"), 0, "warning"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.arguments << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                  << outcome.err;
    }
}

TEST_F(Cli, TruncatedQVTFilesFailCleanlyAtEveryCut) {
    WriteBytes(Path("p.raw"), RandomRaw(ModeRGB, 40, 30, 3));
    Ok("encode " + Path("p.raw") + " " + Path("whole.qvt") + " --roi " +
       RawArgument(ModeRGB, 40, 30));
    const std::string qvt = ReadBytes(Path("whole.qvt"));
    for (std::size_t cut = 0; cut < qvt.size(); cut += 1 + qvt.size() / 8) {
        WriteBytes(Path("cut.qvt"), qvt.substr(0, cut));
        for (const char* options : {"", " --thumbnail", " --region 3,3,9,9"}) {
            const Outcome outcome =
                Run("decode " + Path("cut.qvt") + " " + Path("x.ppm") + options);
            EXPECT_EQ(outcome.status, 1) << "cut at " << cut << options << "\n" << outcome.err;
        }
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

TEST_F(Cli, EverySubcommandHasHelp) {
    for (const char* name : {"info", "encode", "decode", "convert", "psnr"}) {
        const Outcome outcome = Run(std::string(name) + " --help");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out.rfind(std::string("usage: pictor-cli ") + name, 0), 0u)
            << outcome.out;
    }
    EXPECT_EQ(Run("--help").status, 0);
}

} // namespace
