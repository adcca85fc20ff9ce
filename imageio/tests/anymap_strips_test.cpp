// The strip reader gives, strip after strip, exactly the rows the whole-file reader gives, for
// every binary gray and pixmap variant, 8- and 16-bit maxvals, any strip height, samples above
// maxval and files that end early; the variants it does not read are left to the whole reader.
#include "anymap_file.h"
#include "anymap_strips.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string BinaryAnymap(int magic, std::uint32_t width, std::uint32_t height, std::uint32_t maxval,
                         std::uint32_t seed) {
    const std::size_t count = std::size_t{width} * height * (magic == 6 ? 3 : 1);
    // Samples up to maxval + 1 where the width allows it, so clamping is exercised too.
    const std::uint32_t top = maxval == 255 || maxval == 65535 ? maxval : maxval + 1;
    std::string file = "P" + std::to_string(magic) + "\n" + std::to_string(width) + " " +
                       std::to_string(height) + "\n" + std::to_string(maxval) + "\n";
    for (const std::uint32_t sample : RandomSamples(count, top, seed)) {
        if (maxval > 255) file += static_cast<char>(sample >> 8);
        file += static_cast<char>(sample & 0xFF);
    }
    return file;
}

// The rows of a map as bytes, one row after the other.
std::string Rows(const CPixMap& map) {
    std::string rows;
    const std::size_t rowBytes = std::size_t{map.Width()} * map.BitsPerPixel() / 8;
    for (std::uint32_t y = 0; y < map.Height(); ++y)
        rows.append(reinterpret_cast<const char*>(map.Row(y)), rowBytes);
    return rows;
}

TEST(AnymapStrips, StripsTogetherAreTheWholeFile) {
    TempDir dir;
    const std::string path = dir / "in.pnm";
    for (const int magic : {5, 6}) {
        for (const std::uint32_t maxval : {255u, 100u, 1000u, 65535u}) {
            for (const bool truncated : {false, true}) {
                std::string file = BinaryAnymap(magic, 13, 11, maxval, magic * maxval);
                if (truncated) file.resize(file.size() - file.size() / 3);
                WriteBytes(path, file);
                RasterImage whole = ReadAnymapFile(path);
                const std::string expected = Rows(*ImagePixels(whole));
                for (const std::uint32_t stripHeight : {1u, 3u, 4u, 11u, 20u}) {
                    const auto reader = CAnymapStripReader::Open(path);
                    ASSERT_TRUE(reader);
                    EXPECT_EQ(reader->Mode(), whole.Mode());
                    EXPECT_EQ(reader->MaxChannelValue(), whole.maxChannelValue);
                    std::string rows;
                    while (reader->NextRow() < reader->Height()) {
                        const std::uint32_t top = reader->NextRow();
                        const auto strip = reader->ReadStrip(stripHeight);
                        EXPECT_EQ(strip->Rect().top, top);
                        EXPECT_EQ(strip->Height(), std::min(stripHeight, 11 - top));
                        rows += Rows(*strip);
                    }
                    EXPECT_EQ(rows, expected)
                        << "P" << magic << " maxval " << maxval << " strips of " << stripHeight;
                    EXPECT_EQ(reader->Incomplete(), truncated);
                }
            }
        }
    }
}

TEST(AnymapStrips, OtherVariantsAreLeftToTheWholeReaderAndLiesAreRefused) {
    TempDir dir;
    for (const char* file :
         {"P1\n2 1\n1 0\n", "P2\n1 1\n255\n7\n", "P3\n1 1\n255\n1 2 3\n", "P4\n8 1\n\xA5"}) {
        WriteBytes(dir / "a.pnm", file);
        EXPECT_EQ(CAnymapStripReader::Open(dir / "a.pnm"), nullptr) << file;
    }
    WriteBytes(dir / "huge.ppm", "P6\n90000 90000\n255\n\x01");
    EXPECT_THROW(CAnymapStripReader::Open(dir / "huge.ppm"), ImageFileError);
    EXPECT_THROW(CAnymapStripReader::Open(dir / "missing.ppm"), ImageFileError);
}

} // namespace
