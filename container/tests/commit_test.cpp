// Proves that the fixed part is the commit point of every change: a write or preview rebuild that
// fails at any write of the file, or is cancelled, leaves a file that opens with every tile and
// the preview either old or new, and an object that agrees with that file and stays usable; the
// fixed part is written between two flushes, so a power loss cannot commit bytes that never
// reached the disk.
#include "container_fixture.h"
#include "tile_codec.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr std::uint32_t kWidth = 300;
constexpr std::uint32_t kHeight = 200;
const PixRect kWhole{0, 0, kWidth, kHeight};
const PixRect kPatch{40, 30, 280, 180};

struct Versions {
    Bytes bytes;
    std::unique_ptr<CPixMap> old;
    std::unique_ptr<CPixMap> updated;
    std::unique_ptr<CPixMap> patch;
};

// A container holding `old` everywhere, and the patch that turns it into `updated`.
Versions TwoVersions() {
    MemoryContainer open(CreatedBytes(MakeHeader(kWidth, kHeight, 64, 64), 60, 40));
    Versions versions;
    versions.old = Pattern(kWhole, 6);
    open.container.WriteRegion(*versions.old, 255, 0, 2, KLD::KindPng);
    versions.bytes = open.Contents();
    versions.patch = Pattern(kPatch, 7);
    versions.updated = Pattern(kWhole, 6);
    versions.patch->CopyRect(kPatch, *versions.updated, kPatch);
    return versions;
}

// Every tile of `container` holds its pixels from `first` or from `second`.
void ExpectEachTileOneOf(CKLDExt& container, const CPixMap& first, const CPixMap& second) {
    const auto read = ReadRect(container, kWhole);
    for (std::uint32_t tile = 0; tile < container.TileColumns() * container.TileRows(); ++tile) {
        const PixRect rect = container.GetTileRect(tile);
        EXPECT_TRUE(read->EqualRect(rect, first, rect) || read->EqualRect(rect, second, rect))
            << "tile " << tile;
    }
}

// Runs `change` on containers over `bytes` that stop it at its k-th step, for k = 0, 1, … until
// it completes: a write of the file that fails as a full disk does or, with `cancel`, a progress
// call that cancels. After each stop the file must open, the object must show what the file
// holds, and the change, tried again, must succeed. The change that completes writes the fixed
// part once, after flushing its data, and flushes it. Returns the number of stops.
template <typename Change, typename Check>
int StopAtEveryStep(const Bytes& bytes, bool cancel, Change change, Check check) {
    const ProgressCallback cancelAtZero = [](double, bool, void* data) {
        return (*static_cast<int*>(data))-- == 0;
    };
    for (int k = 0;; ++k) {
        MemoryContainer open(bytes, 0x500000, cancel ? -1 : k);
        int progressCalls = k;
        bool completed = true;
        try {
            change(open.container, cancel ? cancelAtZero : nullptr, &progressCalls);
        } catch (const IOException& e) {
            EXPECT_EQ(e.error, cancel ? ErrorUserBreak : std::uint32_t{ENOSPC});
            completed = false;
        }
        Bytes after = open.Contents();
        CKLDExt reopened;
        EXPECT_TRUE(OpenBytes(reopened, after)) << "stopped at " << k;
        EXPECT_EQ(reopened.Layout(), open.container.Layout()) << k;
        EXPECT_EQ(reopened.Index().Entries(), open.container.Index().Entries()) << k;
        EXPECT_TRUE(Same(*reopened.Preview(), *open.container.Preview())) << k;
        check(reopened, completed);
        const std::string& log = open.stream->log;
        if (completed) {
            EXPECT_EQ(std::count(log.begin(), log.end(), 'H'), 1) << log;
            EXPECT_TRUE(log.ends_with("DFHF")) << log;
        }
        if (completed || k > 1000) return k;
        change(open.container, nullptr, nullptr);
        check(open.container, true);
    }
}

TEST(Commit, AStoppedWriteLeavesOldOrNewTilesAndAMatchingPreview) {
    const Versions versions = TwoVersions();
    for (const bool cancel : {false, true}) {
        const int stops = StopAtEveryStep(
            versions.bytes, cancel,
            [&](CKLDExt& container, ProgressCallback progress, void* data) {
                container.WriteRegion(*versions.patch, 255, 0, 2, KLD::KindPng, progress, data);
            },
            [&](CKLDExt& container, bool completed) {
                if (completed)
                    EXPECT_TRUE(Same(*ReadRect(container, kWhole), *versions.updated));
                else
                    ExpectEachTileOneOf(container, *versions.old, *versions.updated);
            });
        EXPECT_GE(stops, 4) << cancel; // records, index, preview, fixed part; or tiles
    }
}

TEST(Commit, AStoppedPreviewRebuildKeepsTheOldPreview) {
    const Bytes bytes = TwoVersions().bytes;
    // Drawn from the written pixels, the preview differs from one rebuilt from the tiles.
    MemoryContainer probe(bytes);
    const auto stale = CopyOf(*probe.container.Preview());
    probe.container.BuildPreview();
    const CPixMap& rebuilt = *probe.container.Preview();
    ASSERT_FALSE(Same(rebuilt, *stale));
    for (const bool cancel : {false, true})
        StopAtEveryStep(
            bytes, cancel,
            [](CKLDExt& container, ProgressCallback progress, void* data) {
                container.BuildPreview(progress, data);
            },
            [&](CKLDExt& container, bool completed) {
                EXPECT_TRUE(Same(*container.Preview(), completed ? rebuilt : *stale));
            });
}

} // namespace
