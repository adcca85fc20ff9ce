// Keeps the files that fuzzing found to crash, hang or over-allocate the image readers: each
// must now fail with its message. The fuzz targets replay the same files under their memory
// limits, where an allocation for an announced size shows up as a finding of its own.
#include "qt_image_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FuzzFindings, EachFailsWithItsMessage) {
    // 20000 × 20000 RGBA announced in 80 bytes: Qt allocated 1.6 GB before reading a row. A
    // 19789 × 10752 logical screen in 43 bytes, a size Qt learns only while decoding: it
    // allocated and cleared 851 MB.
    for (const char* name : {"qt/huge_header.png", "qt/huge_screen.gif"}) {
        try {
            ReadQtImageFile(std::string(PICTOR_IMAGEIO_TEST_DATA) + "/" + name);
            ADD_FAILURE() << name;
        } catch (const ImageFileError& error) {
            EXPECT_STREQ(error.what(), kCannotReadHeader) << name;
        }
    }
}

} // namespace
