// Anymap files: every variant opens with the samples and maxval of the file, an unchanged image
// is written back with the same samples and maxval, no written sample exceeds its maxval, and
// hostile or truncated headers are refused or flagged instead of allocating or wrapping.
#include "anymap_file.h"
#include "mul_div.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

struct Anymap {
    int magic;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t maxval;
    std::vector<std::uint32_t> samples; // file order: red, green, blue for pixmaps
};

int ChannelsOf(int magic) { return magic == 3 || magic == 6 ? 3 : 1; }

// Writes the file as any anymap writer would; plain rows packed on one line each.
std::string Encode(const Anymap& image) {
    std::ostringstream out;
    out << "P" << image.magic << "\n" << image.width << " " << image.height << "\n";
    if (image.magic != 1 && image.magic != 4) out << image.maxval << "\n";
    const std::size_t perRow = std::size_t{image.width} * ChannelsOf(image.magic);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint32_t* row = image.samples.data() + y * perRow;
        if (image.magic <= 3) {
            for (std::size_t i = 0; i < perRow; ++i)
                out << row[i] << ' ';
            out << '\n';
        } else if (image.magic == 4) {
            for (std::uint32_t x = 0; x < image.width; x += 8) {
                std::uint8_t byte = 0;
                for (std::uint32_t b = 0; b < 8 && x + b < image.width; ++b)
                    byte |= static_cast<std::uint8_t>(row[x + b] << (7 - b));
                out.put(static_cast<char>(byte));
            }
        } else {
            for (std::size_t i = 0; i < perRow; ++i) {
                if (image.maxval > 255) out.put(static_cast<char>(row[i] >> 8));
                out.put(static_cast<char>(row[i] & 0xFF));
            }
        }
    }
    return out.str();
}

// Parses a file written by WriteAnymapFile (one header element per line, no comments).
Anymap Decode(const std::string& bytes) {
    std::istringstream in(bytes);
    Anymap image{};
    std::string magic;
    in >> magic >> image.width >> image.height;
    image.magic = magic[1] - '0';
    image.maxval = 1;
    if (image.magic != 1 && image.magic != 4) in >> image.maxval;
    in.get();
    const std::size_t perRow = std::size_t{image.width} * ChannelsOf(image.magic);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        if (image.magic <= 3) {
            for (std::size_t i = 0; i < perRow; ++i) {
                std::uint32_t v = 0;
                in >> v;
                image.samples.push_back(v);
            }
        } else if (image.magic == 4) {
            std::vector<char> row((image.width + 7) / 8);
            in.read(row.data(), static_cast<std::streamsize>(row.size()));
            for (std::uint32_t x = 0; x < image.width; ++x)
                image.samples.push_back(static_cast<std::uint8_t>(row[x / 8]) >> (7 - x % 8) & 1);
        } else {
            for (std::size_t i = 0; i < perRow; ++i) {
                std::uint32_t v = static_cast<std::uint8_t>(in.get());
                if (image.maxval > 255) v = v << 8 | static_cast<std::uint8_t>(in.get());
                image.samples.push_back(v);
            }
        }
    }
    return image;
}

// The display sample of pixel (x, y) channel c in file order.
std::uint32_t DisplaySample(const RasterImage& image, int channels, std::uint32_t x,
                            std::uint32_t y, int c) {
    const std::uint8_t* row = image.display->TopRow() + std::ptrdiff_t{image.display->Pitch()} * y;
    return row[std::size_t{x} * channels + static_cast<std::size_t>(channels - 1 - c)];
}

std::uint32_t DeepSample(const RasterImage& image, int channels, std::uint32_t x, std::uint32_t y,
                         int c) {
    std::uint16_t s;
    std::memcpy(&s,
                image.pixMap->Row(y) +
                    (std::size_t{x} * channels + static_cast<std::size_t>(channels - 1 - c)) * 2,
                2);
    return s;
}

struct Variant {
    int magic;
    std::uint32_t maxval;
};

class AnymapVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(AnymapVariants, OpensWithFileSamplesAndWritesThemBackUnchanged) {
    const auto [magic, maxval] = GetParam();
    const int channels = ChannelsOf(magic);
    TempDir dir;
    for (const std::uint32_t width : {1u, 7u, 8u, 9u, 100u}) {
        const std::uint32_t height = 3;
        const Anymap original{magic, width, height, maxval,
                              RandomSamples(std::size_t{width} * height * channels, maxval, width)};
        WriteBytes(dir / "in.pnm", Encode(original));
        RasterImage image = ReadAnymapFile(dir / "in.pnm");
        ASSERT_FALSE(image.incomplete);
        ASSERT_EQ(image.Width(), width);
        EXPECT_EQ(image.pixMap != nullptr, maxval > 255);

        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                for (int c = 0; c < channels; ++c) {
                    const std::uint32_t v = original.samples[(y * width + x) * channels + c];
                    if (magic == 1 || magic == 4) {
                        const std::uint8_t* row =
                            image.display->TopRow() + std::ptrdiff_t{image.display->Pitch()} * y;
                        ASSERT_EQ(row[x / 8] >> (7 - x % 8) & 1, v);
                        continue;
                    }
                    ASSERT_EQ(DisplaySample(image, channels, x, y, c), MulDiv(v, 255, maxval));
                    if (maxval > 255) {
                        ASSERT_EQ(DeepSample(image, channels, x, y, c), v);
                    }
                }

        for (const bool binary : {true, false}) {
            WriteAnymapFile(image, dir / "out.pnm", binary);
            const Anymap written = Decode(ReadBytes(dir / "out.pnm"));
            EXPECT_EQ(written.magic, binary ? (magic - 1) % 3 + 4 : (magic - 1) % 3 + 1);
            EXPECT_EQ(written.maxval, maxval);
            EXPECT_EQ(written.samples, original.samples) << "width " << width;
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

TEST(Anymap, CommentLinesBeforeEachHeaderLine) {
    TempDir dir;
    WriteBytes(dir / "c.pgm", "# a\nP2\n# b\n# c\n2 1\n#d\n9\n3 9\n");
    RasterImage image = ReadAnymapFile(dir / "c.pgm");
    EXPECT_EQ(image.Width(), 2u);
    EXPECT_EQ(image.maxChannelValue, 9u);
    EXPECT_EQ(image.display->TopRow()[1], 255);
}

TEST(Anymap, BinaryBitmapRowsAreWholeBytes) {
    TempDir dir;
    std::string file = "P4\n100 2\n" + std::string(13, '\xFF') + std::string(13, '\x00');
    WriteBytes(dir / "b.pbm", file);
    RasterImage image = ReadAnymapFile(dir / "b.pbm");
    EXPECT_FALSE(image.incomplete);
    WriteAnymapFile(image, dir / "o.pbm", true);
    // The bits past the width are cleared on the way through.
    file[9 + 12] = '\xF0';
    EXPECT_EQ(ReadBytes(dir / "o.pbm"), file);
}

TEST(Anymap, HostileHeadersAreRefusedBeforeAllocating) {
    TempDir dir;
    const std::string header = "Cannot read image header.";
    const std::string wrongFormat = ErrorMessageForCode(ErrorWrongFormat);
    const std::pair<std::string, std::string> cases[] = {
        {"P5\n0 5\n255\n", header},
        {"P5\n5 -1\n255\n", header},
        {"P5\n5\n255\n", header},
        {"P5\n5 5\n0\n", header},
        {"P5\n5 5\n65536\n", header},
        {"P5\n5 5\n-3\n", header},
        {"P5\n2147483648 1\n255\n", header},
        {"P5\n99999999999999999999 1\n255\n", header},
        {"P6\n100000 100000\n65535\n\x01\x02", header},
        {"P1\n50000 50000\n0 1", header},
        {"P5\n5 5\n" + std::string(2000, '9') + "\n", header},
        {"P5\n", header},
        {"P7\n1 1\n255\n\x01", wrongFormat},
        {"GIF89a", wrongFormat},
        {"P0\n1 1\n", wrongFormat},
    };
    for (const auto& [bytes, message] : cases) {
        WriteBytes(dir / "bad.pnm", bytes);
        try {
            ReadAnymapFile(dir / "bad.pnm");
            ADD_FAILURE() << "opened: " << bytes.substr(0, 40);
        } catch (const ImageFileError& error) {
            EXPECT_EQ(error.what(), message) << bytes.substr(0, 40);
        }
    }
}

TEST(Anymap, MissingFileGivesTheSystemText) {
    try {
        ReadAnymapFile("/nonexistent/x.pgm");
        ADD_FAILURE();
    } catch (const ImageFileError& error) {
        EXPECT_EQ(error.Code(), std::uint32_t{ENOENT});
    }
}

TEST(Anymap, ShortRasterOpensIncompleteWithZeros) {
    TempDir dir;
    for (const std::string& file :
         {std::string("P5\n4 2\n65535\n\x12\x34\x56"), std::string("P2\n4 2\n255\n1 2 3 4 5"),
          std::string("P4\n8 3\n\xFF"), std::string("P3\n2 1\n255\n1 2 3 4 x 6")}) {
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
    EXPECT_EQ(DeepSample(deep, 1, 0, 0, 0), 0x1234u);
    EXPECT_EQ(DeepSample(deep, 1, 1, 0, 0), 0u);
}

TEST(Anymap, SamplesAboveMaxvalAreClampedSoNoneIsWrittenBack) {
    TempDir dir;
    // 5000 and 4096 exceed 4095; 300 exceeds 255 in the plain file.
    WriteBytes(dir / "a.pgm", std::string("P5\n3 1\n4095\n\x13\x88\x10\x00\x0F\xFF", 18));
    RasterImage deep = ReadAnymapFile(dir / "a.pgm");
    EXPECT_EQ(DeepSample(deep, 1, 0, 0, 0), 4095u);
    EXPECT_EQ(deep.display->TopRow()[1], 255);
    WriteAnymapFile(deep, dir / "b.pgm", false);
    EXPECT_EQ(Decode(ReadBytes(dir / "b.pgm")).samples,
              (std::vector<std::uint32_t>{4095, 4095, 4095}));

    WriteBytes(dir / "c.pgm", "P2\n2 1\n255\n300 7\n");
    RasterImage narrow = ReadAnymapFile(dir / "c.pgm");
    WriteAnymapFile(narrow, dir / "d.pgm", true);
    EXPECT_EQ(Decode(ReadBytes(dir / "d.pgm")).samples, (std::vector<std::uint32_t>{255, 7}));
}

TEST(Anymap, OtherModesAreRefusedWithoutTouchingTheFile) {
    TempDir dir;
    WriteBytes(dir / "i.ppm", "P6\n1 1\n255\n\x01\x02\x03");
    RasterImage image = ReadAnymapFile(dir / "i.ppm");
    image.pixMap = CreatePixMap({0, 0, 1, 1}, ModeCMYK);
    EXPECT_THROW(WriteAnymapFile(image, dir / "o.ppm", true), ImageFileError);
    EXPECT_FALSE(std::filesystem::exists(dir / "o.ppm"));
}

} // namespace
