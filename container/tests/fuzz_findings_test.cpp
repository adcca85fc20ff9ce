// Keeps the containers that fuzzing found to crash, hang, over-allocate or lose written pixels:
// each must open and read a view-sized region at a coarse and the full level, or fail with its
// error, the way a document would use it; on those where a lossless write did not read back, a
// patch written over the centre must read back in its colours.
#include "container_fixture.h"
#include "pixmap_factory.h"
#include "qvt_error.h"
#include "tile_codec.h"

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
        // Indexed tiles of one table under a patch of another, stored: the patch read back in the
        // nearest colours of the tiles' table.
        {"indexed_patch_other_table.kle", std::nullopt},
    };
    for (const Finding& finding : findings) {
        const Bytes bytes = ReadData(finding.file);
        ASSERT_FALSE(bytes.empty()) << finding.file;
        EXPECT_EQ(OpenAndReadError(bytes), finding.error) << finding.file;
    }
}

// The fuzz target's patch: its test pattern over the image's centre, 40 pixels a side.
TEST(FuzzFindings, LosslessWritesReadBack) {
    for (const char* file : {"indexed_patch_other_table.kle"}) {
        MemoryContainer open(ReadData(file));
        CKLDExt& container = open.container;
        const std::uint32_t left = (container.Width() - 40) / 2;
        const std::uint32_t top = (container.Height() - 40) / 2;
        auto patch = CreatePixMap({left, top, left + 40, top + 40}, container.Mode());
        Pattern({0, 0, 40, 40}, 5)->ConvertTo(*patch);
        container.WriteRegion(*patch, 0, 0, 2, KLD::KindPng);
        EXPECT_TRUE(Same(*InRgb(*ReadRect(container, patch->Rect())), *InRgb(*patch))) << file;
    }
}

} // namespace
