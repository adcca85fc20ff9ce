// Keeps the files that fuzzing found to crash, hang or over-allocate the image readers: each
// must now fail with its message. The fuzz targets replay the same files under their memory
// limits, where an allocation for an announced size shows up as a finding of its own.
#include "anymap_file.h"
#include "qt_image_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace {

std::string DataPath(const std::string& name) {
    return std::string(PICTOR_IMAGEIO_TEST_DATA) + "/" + name;
}

std::optional<std::string> ReadError(const std::function<RasterImage(const std::string&)>& read,
                                     const std::string& name) {
    try {
        read(DataPath(name));
    } catch (const ImageFileError& e) {
        return e.what();
    }
    return std::nullopt;
}

struct Finding {
    const char* file;
    std::function<RasterImage(const std::string&)> read;
    const char* message;
};

TEST(FuzzFindings, EachFailsWithItsMessage) {
    const Finding findings[] = {
        // 20000 × 20000 RGBA announced in 80 bytes: Qt allocated 1.6 GB before reading a row.
        {"qt/huge_header.png", ReadQtImageFile, kCannotReadHeader},
        // A 19789 × 10752 logical screen in 43 bytes, a size Qt learns only while decoding: it
        // allocated and cleared 851 MB.
        {"qt/huge_screen.gif", ReadQtImageFile, kCannotReadHeader},
    };
    for (const Finding& finding : findings)
        EXPECT_EQ(ReadError(finding.read, finding.file), finding.message) << finding.file;
}

} // namespace
