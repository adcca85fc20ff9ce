// The strip reader gives, strip after strip, exactly the rows the whole-file reader gives, for
// every binary gray and pixmap variant, 8- and 16-bit maxvals, any strip height, samples above
// maxval and files that end early, and 8-bit rows read at their place are the file's bytes; the
// variants it does not read are left to the whole reader.
#include "anymap_file.h"
#include "anymap_strips.h"
#include "qvt_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <omp.h>

namespace {

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
                // Samples up to maxval + 1 where the width allows it, so clamping is exercised
                // too; the truncated files have their header on one line.
                const std::uint32_t top = maxval == 255 || maxval == 65535 ? maxval : maxval + 1;
                std::string file = Encode({magic, 13, 11, maxval,
                                           RandomSamples(13 * 11 * ChannelsOf(magic), top, maxval)},
                                          truncated);
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

// Rows read at their place, in any order and with any pitch, are the bytes of the file, zeros
// where a short file ends; only files of 8-bit samples at full range are read so.
TEST(AnymapStrips, RowsReadAtTheirPlaceAreTheStoredBytes) {
    TempDir dir;
    const std::string path = dir / "in.ppm";
    const std::string full = Encode({6, 13, 11, 255, RandomSamples(13 * 11 * 3, 255, 7)}, false);
    const std::size_t rowBytes = 13 * 3;
    for (const bool truncated : {false, true}) {
        WriteBytes(path, truncated ? full.substr(0, full.size() - 100) : full);
        std::string expected = full.substr(full.size() - 11 * rowBytes);
        if (truncated) std::fill(expected.end() - 100, expected.end(), '\0');
        const auto reader = CAnymapStripReader::Open(path);
        ASSERT_TRUE(reader->ReadsRowsAsStored());
        // Rows 4 … 10 packed as in the file, then rows 0 … 3 five bytes apart.
        std::string rows(11 * rowBytes, 'x');
        reader->ReadRowsAsStored(4, 7, reinterpret_cast<std::uint8_t*>(&rows[4 * rowBytes]),
                                 static_cast<std::ptrdiff_t>(rowBytes));
        std::string apart(4 * (rowBytes + 5), 'x');
        reader->ReadRowsAsStored(0, 4, reinterpret_cast<std::uint8_t*>(apart.data()),
                                 static_cast<std::ptrdiff_t>(rowBytes + 5));
        for (std::size_t y = 0; y < 4; ++y)
            rows.replace(y * rowBytes, rowBytes, apart, y * (rowBytes + 5), rowBytes);
        EXPECT_EQ(rows, expected) << "truncated " << truncated;
        EXPECT_EQ(reader->Incomplete(), truncated);
    }
    WriteBytes(dir / "a.pgm", Encode({5, 2, 2, 100, RandomSamples(4, 100, 1)}, false));
    EXPECT_FALSE(CAnymapStripReader::Open(dir / "a.pgm")->ReadsRowsAsStored());
}

// Coding strip by strip writes the bytes coding the whole image writes, halved chroma and stored
// maximum included, on one thread and with strips read and imported on several; rows must be
// asked for in order.
TEST(AnymapStrips, QVTWrittenFromStripsIsTheWholeImageFile) {
    const int threads = omp_get_max_threads();
    TempDir dir;
    const std::string path = dir / "in.pnm";
    for (const int magic : {5, 6}) {
        for (const std::uint32_t maxval : {255u, 1000u}) {
            WriteBytes(path, Encode({magic, 37, 29, maxval,
                                     RandomSamples(37 * 29 * ChannelsOf(magic), maxval, maxval)},
                                    false));
            RasterImage whole = ReadAnymapFile(path);
            for (const int quality : {0, 8}) {
                const QVTWriteOptions options{.quality = quality, .levels = 2};
                WriteQVTFile(whole, dir / "whole.qvt", options);
                for (const int team : {1, 3}) {
                    omp_set_num_threads(team);
                    AnymapFileRows rows(CAnymapStripReader::Open(path), 200);
                    WriteQVTFile(rows, dir / "strips.qvt", options);
                    EXPECT_EQ(ReadBytes(dir / "strips.qvt"), ReadBytes(dir / "whole.qvt"))
                        << "P" << magic << " maxval " << maxval << " quality " << quality
                        << " threads " << team;
                }
            }
        }
    }
    omp_set_num_threads(threads);
    AnymapFileRows rows(CAnymapStripReader::Open(path), 200);
    std::ptrdiff_t pitch = 0;
    EXPECT_THROW(rows.Rows(1, 1, pitch), ImageFileError);
}

} // namespace
