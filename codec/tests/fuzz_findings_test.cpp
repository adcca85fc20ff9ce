// Keeps the inputs that fuzzing found to hang, crash, over-allocate or mislead the decoder: each
// must now end in its clean error, the way a document would read it, level by level, or give
// the pixels it should.
#include "qvt_error.h"
#include "qvt_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadData(const std::string& name) {
    std::ifstream file(std::string(PICTOR_CODEC_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::optional<std::uint32_t> DecodeError(std::vector<std::uint8_t> bytes) {
    CQVTMemoryStream stream(bytes.data(), bytes.size());
    CQVTImage qvt;
    qvt.SetThreadCount(1);
    try {
        qvt.Open(stream);
        for (int level = std::max(0, qvt.Header().levels - 1); level >= 0; --level)
            qvt.Read(level);
    } catch (const IOException& e) {
        return e.error;
    }
    return std::nullopt;
}

struct Finding {
    const char* file;
    std::uint32_t error;
};

TEST(FuzzFindings, EachEndsInItsError) {
    const Finding findings[] = {
        // Width 0x1F000018 and height 0: the band walk visited every column of nothing.
        {"zero_height_wide.qvt", ErrorWrongFormat},
    };
    for (const Finding& finding : findings) {
        const auto bytes = ReadData(finding.file);
        ASSERT_FALSE(bytes.empty()) << finding.file;
        EXPECT_EQ(DecodeError(bytes), finding.error) << finding.file;
    }
}

// An older bitmap file (a byte of 8 pixels per sample) 230 pixels wide: its last sample of a
// row carries bits past the image, which must not reach the exported rows.
TEST(FuzzFindings, OlderBitmapRowsEndAtTheirLastPixel) {
    auto bytes = ReadData("older_bitmap_padding.qvt");
    ASSERT_FALSE(bytes.empty());
    CQVTMemoryStream stream(bytes.data(), bytes.size());
    CQVTImage qvt;
    qvt.SetThreadCount(1);
    qvt.Open(stream);
    qvt.Read(0);
    ASSERT_EQ(qvt.ExportWidth(), 230u);
    const std::uint32_t height = qvt.ExportHeight();
    const std::ptrdiff_t pitch = 32;
    std::vector<std::uint8_t> rows(pitch * height, 0xFF);
    qvt.ExportPixels(pitch, rows.data(), 1);
    int rowsWithPixelsInTheLastByte = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t lastByte = rows[y * pitch + 28]; // pixels 224 ... 229, then 2 spare bits
        EXPECT_EQ(lastByte & 0x03, 0) << "row " << y;
        rowsWithPixelsInTheLastByte += (lastByte & 0xFC) != 0;
    }
    EXPECT_GT(rowsWithPixelsInTheLastByte, 0); // the byte was written, not skipped
}

} // namespace
