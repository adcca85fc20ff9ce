// Keeps the containers that fuzzing found to crash, hang or over-allocate: each must open and
// read a view-sized region at a coarse and the full level, or fail with its error, the way a
// document would use it.
#include "container_fixture.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

Bytes ReadData(const std::string& name) {
    std::ifstream file(std::string(PICTOR_CONTAINER_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::optional<std::uint32_t> OpenAndReadError(Bytes bytes) {
    CKLDExt container;
    try {
        OpenBytes(container, bytes);
        const PixRect view{0, 0, std::min(container.Width(), 256u),
                           std::min(container.Height(), 256u)};
        for (const int level : {2, 0}) {
            auto map = CreatePixMap(view, container.Mode());
            container.ReadRegion(*map, level);
        }
    } catch (const IOException& e) {
        return e.error;
    }
    return std::nullopt;
}

struct Finding {
    const char* file;
    std::optional<std::uint32_t> error;
};

TEST(FuzzFindings, EachReadsOrEndsInItsError) {
    const Finding findings[] = {
        // 2 × 24 tiles: the caches made 87 000 and 70 000 slots up front for 70 tiles.
        {"tiny_tiles.kle", std::nullopt},
        // 65535 × 65535 tiles over 70000 × 70000 pixels: opening allocated a 14.7 GB scratch map.
        {"huge_tiles.kle", ErrorWrongFormat},
        // Gray32 with four channels: written tiles were stored as 8-bit samples and read back
        // clamped, though the write reported success.
        {"gray32_four_channels.kle", ErrorWrongFormat},
        // Tiles of up to 256 MiB never written: every read filled whole tiles with background.
        {"huge_empty_tiles.kle", std::nullopt},
    };
    for (const Finding& finding : findings) {
        const Bytes bytes = ReadData(finding.file);
        ASSERT_FALSE(bytes.empty()) << finding.file;
        EXPECT_EQ(OpenAndReadError(bytes), finding.error) << finding.file;
    }
}

} // namespace
