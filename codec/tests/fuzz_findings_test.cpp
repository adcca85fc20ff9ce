// Keeps the inputs that fuzzing found to hang, crash or over-allocate the decoder: each must
// now end in its clean error, the way a document would read it, level by level.
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

} // namespace
