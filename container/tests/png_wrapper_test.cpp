// The libpng wrapper turns libpng's jump-based error exit into png::CError carrying libpng's own
// text, leaves its objects usable for clean destruction afterwards, and counts what it writes.
#include "png_wrapper.h"
#include "tile_test_support.h"

#include <string>

namespace {

png::ImageHeader RgbHeader(std::uint32_t width, std::uint32_t height) {
    png::ImageHeader header;
    header.width = width;
    header.height = height;
    header.bitDepth = 8;
    header.colorType = PNG_COLOR_TYPE_RGB;
    return header;
}

std::string ErrorTextOf(const auto& action) {
    try {
        action();
    } catch (const png::CError& error) {
        return error.what();
    }
    return {};
}

TEST(PngWrapper, LibpngErrorsBecomeCErrorWithTheirText) {
    Bytes garbage(64, 'x');
    CQVTMemoryStream stream(garbage.data(), garbage.size());
    png::CReader reader(stream);
    EXPECT_EQ(ErrorTextOf([&] { reader.ReadHeader(); }), "Not a PNG file");
    EXPECT_STREQ(reader.ErrorText(), "Not a PNG file");

    CQVTMemoryStream sink(0);
    png::CWriter writer(sink);
    png::ImageHeader header = RgbHeader(4, 4);
    header.bitDepth = 3;
    EXPECT_FALSE(ErrorTextOf([&] { writer.WriteHeader(header, nullptr, 0, false); }).empty());
    EXPECT_EQ(writer.BytesWritten(), 0u);
}

TEST(PngWrapper, WriterCountsEveryByteAndReaderGetsTheHeaderBack) {
    CQVTMemoryStream stream(0);
    {
        png::CWriter writer(stream);
        writer.WriteHeader(RgbHeader(5, 3), nullptr, 0, false);
        const Bytes row(15, 0x5A);
        ASSERT_EQ(writer.InterlacePasses(), 1);
        for (int y = 0; y < 3; ++y)
            writer.WriteRow(row.data());
        writer.WriteEnd();
        EXPECT_EQ(writer.BytesWritten(), stream.DataSize());
    }
    stream.SetPos(PosFromStart, 0);
    png::CReader reader(stream);
    reader.ReadHeader();
    const png::ImageHeader header = reader.Header();
    EXPECT_EQ(header.width, 5u);
    EXPECT_EQ(header.height, 3u);
    EXPECT_EQ(header.bitDepth, 8);
    EXPECT_EQ(header.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(reader.Channels(), 3);
    EXPECT_EQ(reader.RowBytes(), 15u);
    Bytes row(15);
    for (int y = 0; y < 3; ++y) {
        reader.ReadRow(row.data());
        EXPECT_EQ(row, Bytes(15, 0x5A));
    }
    // Past the image libpng has no row left to give.
    EXPECT_FALSE(ErrorTextOf([&] { reader.ReadRow(row.data()); }).empty());
}

} // namespace
