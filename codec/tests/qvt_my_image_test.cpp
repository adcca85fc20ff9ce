// Files on disk: a saved image opens and decodes, and every failure reaches the reporter with
// the text a user should read instead of escaping as an exception. Also the calls that are
// made at the wrong moment fail cleanly.
#include "error_of.h"
#include "qvt_my_image.h"
#include "temp_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

struct CollectingReporter : CodecErrorReporter {
    std::vector<std::pair<std::uint32_t, std::string>> errors;
    void ShowError(std::uint32_t code, const std::string& text) override {
        errors.emplace_back(code, text);
    }
};

QVTHeader GrayHeader(std::uint32_t width, std::uint32_t height) {
    QVTHeader header;
    header.width = width;
    header.height = height;
    header.mode = ModeGray;
    return header;
}

std::vector<std::uint8_t> Ramp(std::size_t count) {
    std::vector<std::uint8_t> pixels(count);
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 5);
    return pixels;
}

// Prepares `writer` for a 64 × 48 gray image of `pixels`.
void Prepare(CQVTMyImage& writer, const std::vector<std::uint8_t>& pixels) {
    writer.SetHeader(GrayHeader(64, 48));
    writer.ImportPixels(64, pixels.data(), 8);
}

TEST(QVTFileImage, SavedFileOpensAndDecodes) {
    TempFile file;
    const std::vector<std::uint8_t> pixels = Ramp(64 * 48);
    CQVTMyImage writer;
    Prepare(writer, pixels);
    CollectingReporter reporter;
    ASSERT_TRUE(writer.SavePath(file.path, nullptr, nullptr, &reporter));

    CQVTMyImage reader;
    ASSERT_TRUE(reader.OpenPath(file.path, &reporter));
    reader.Read(0);
    reader.ClosePath();
    std::vector<std::uint8_t> decoded(pixels.size());
    reader.ExportPixels(64, decoded.data(), 8);
    EXPECT_EQ(decoded, pixels);
    EXPECT_TRUE(reporter.errors.empty());
}

TEST(QVTFileImage, FailuresReachTheReporter) {
    CollectingReporter reporter;
    CQVTMyImage image;
    TempFile notQvt;
    // A folder no other test or program can have made.
    const std::string missing = notQvt.path + ".absent/picture.qvt";
    EXPECT_FALSE(image.OpenPath(missing, &reporter));
    ASSERT_EQ(::write(notQvt.fd, "P5\n1 1\n255\n\0", 12), 12);
    EXPECT_FALSE(image.OpenPath(notQvt.path, &reporter));
    image.SetHeader(GrayHeader(4, 4));
    EXPECT_FALSE(image.SavePath(missing, nullptr, nullptr, &reporter));

    ASSERT_EQ(reporter.errors.size(), 3u);
    EXPECT_EQ(reporter.errors[0].first, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(reporter.errors[0].second, std::strerror(ENOENT));
    EXPECT_EQ(reporter.errors[1].first, ErrorWrongFormat);
    EXPECT_EQ(reporter.errors[1].second, "QVT error: wrong data file format");
    EXPECT_EQ(reporter.errors[2].first, static_cast<std::uint32_t>(ENOENT));
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator{}));
}

TEST(QVTFileImage, ASaveEndedByAForeignExceptionClosesItsFile) {
    TempFile file;
    CQVTMyImage writer;
    Prepare(writer, Ramp(64 * 48));
    const std::size_t before = OpenDescriptors();
    const auto refuse = [](double, bool, void*) -> bool { throw std::runtime_error("stop"); };
    EXPECT_THROW(writer.SavePath(file.path, refuse), std::runtime_error);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(QVTFileImage, CallsAtTheWrongMomentFailCleanly) {
    TempFile file;
    const std::vector<std::uint8_t> pixels = Ramp(120 * 120);
    CQVTMyImage writer;
    writer.SetHeader(GrayHeader(120, 120), kVersionRegion);
    writer.ImportPixels(120, pixels.data(), 8);
    ASSERT_TRUE(writer.SavePath(file.path));

    CQVTMyImage reader;
    ASSERT_TRUE(reader.OpenPath(file.path));
    std::vector<std::uint8_t> out(pixels.size());
    EXPECT_EQ(ErrorOf([&] { reader.ExportPixels(120, out.data(), 8); }),
              static_cast<std::uint32_t>(EINVAL))
        << "nothing decoded yet";
    EXPECT_EQ(ErrorOf([&] {
                  reader.ReadRegion({50, 10, 50, 90}, 0);
              }),
              static_cast<std::uint32_t>(EINVAL))
        << "empty rectangle";
    EXPECT_EQ(ErrorOf([&] {
                  reader.ReadRegion({90, 10, 80, 90}, 0);
              }),
              static_cast<std::uint32_t>(EINVAL))
        << "inverted rectangle";
    reader.Read(1);
    reader.ClosePath();
    EXPECT_EQ(ErrorOf([&] { reader.Read(0); }), static_cast<std::uint32_t>(EBADF))
        << "the file is closed";
    EXPECT_EQ(reader.CurrentLevel(), 1);
    EXPECT_EQ(ErrorOf([&] { reader.ExportPixels(60, out.data(), 8); }), 0u)
        << "what was decoded stays";
}

} // namespace
