// Proves that the container's write functions make the header the commit point: a change that
// writes a tile, the index and the preview at fresh offsets and then commits the layout leaves,
// when a write fails at any step, a file that opens with the old or the new content.
#include "kld_ext.h"

#include "container_fixture.h"
#include "failing_stream.h"

#include <gtest/gtest.h>

namespace {

// Appends a record for `tile` behind the preview, then a new index and the preview behind it,
// then commits; stops with the stream's exception wherever a write fails.
void AppendTile(CKLDExt& container, CQVTStream& stream, std::uint32_t tile) {
    const KLDExtLayout old = container.Layout();
    stream.SetPos(PosFromEnd, 0);
    const std::uint64_t recordOffset = stream.GetPos(); // behind the preview, the file's end
    const Bytes record{'K', 'L', 'D', 3, 1, 2, 3, 4, 5};
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(recordOffset));
    WriteBytes(stream, record.data(), record.size());

    CIndex index = container.Index();
    const bool added = index.FindEntry(tile) == nullptr;
    index.MergeIndex(CIndex(std::vector<IndexEntry>{
                         {tile, static_cast<std::uint32_t>(record.size()), recordOffset}}),
                     added ? 1 : 0);
    KLDExtLayout layout = old;
    layout.indexOffset = recordOffset + record.size();
    layout.indexLength = 16 * index.Count();
    layout.previewOffset =
        layout.indexOffset + container.WriteIndex(index, stream, layout.indexOffset);
    container.WritePreview(stream, layout.previewOffset);
    container.CommitLayout(stream, layout);
    container.Index() = index;
}

TEST(CommitPoint, AFailedWriteLeavesTheOldOrTheNewContainer) {
    for (std::uint8_t compression : {IndexPlain, IndexZlib}) {
        KLDExtHeader header = MakeHeader(900, 600, 100, 100);
        header.indexCompression = compression;
        const BuiltContainer built = BuildContainer(header, 6, {5, 6});
        std::vector<IndexEntry> withNewTile;
        for (int failAt = 0;; ++failAt) {
            Bytes bytes = built.bytes;
            CQVTMemoryStream memory(8192);
            WriteBytes(memory, bytes.data(), bytes.size());
            CKLDExt container;
            container.Open(std::make_unique<CQVTMemoryStream>(bytes.data(), bytes.size()), 0, 0);
            CFailingStream failing(memory, failAt);
            bool finished = true;
            try {
                AppendTile(container, failing, 3);
            } catch (const IOException& e) {
                EXPECT_EQ(e.error, std::uint32_t{ENOSPC});
                EXPECT_EQ(container.Layout(), built.layout) << "adopted before the commit";
                finished = false;
            }
            Bytes after = StreamBytes(memory);
            CKLDExt reopened;
            ASSERT_NO_THROW(OpenBytes(reopened, after)) << "failed at write " << failAt;
            if (!finished) {
                EXPECT_EQ(reopened.Index().Entries(), built.entries) << failAt;
                continue;
            }
            EXPECT_EQ(reopened.Index().Count(), built.entries.size() + 1);
            EXPECT_EQ(reopened.Index().FindEntry(3)->length, 9u);
            EXPECT_TRUE(reopened.Preview()->EqualRect(
                reopened.Preview()->Rect(), *container.Preview(), container.Preview()->Rect()));
            EXPECT_GE(failAt, 4); // record, index, preview, fixed part
            break;
        }
    }
}

} // namespace
