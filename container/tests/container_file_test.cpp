// Proves the container file's bytes: the fixed part of a fresh file to the byte, header
// completion, index round trips plain and compressed, older "QVE" files with shorter headers and
// records placed by earlier writers, and user data that can only shrink.
#include "kld_ext.h"

#include "byte_order64.h"
#include "container_fixture.h"
#include "image_mode.h"
#include "index_io.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <string>

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes LE32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
Bytes LE64(std::uint64_t v) {
    return Concat({LE32(std::uint32_t(v)), LE32(std::uint32_t(v >> 32))});
}

// The preview of a fresh container: the background in the preview mode, losslessly stored.
void ExpectBackgroundPreview(const CKLDExt& container, std::uint32_t width, std::uint32_t height) {
    const CPixMap* preview = container.Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->Rect(), (PixRect{0, 0, width, height}));
    EXPECT_EQ(preview->GetMode(), PreviewMode(container.Mode()));
    const std::uint8_t* background = container.Header().background.data();
    const auto expected = CreatePixMap(preview->Rect(), preview->GetMode(), background, 3);
    EXPECT_TRUE(preview->EqualRect(preview->Rect(), *expected, expected->Rect()));
}

// Through a file descriptor, which the container never closes.
TEST(ContainerFile, FreshFileLayoutToTheByte) {
    KLDExtHeader header = MakeHeader(1000, 1000, 200, 200);
    header.bitsPerPixel = 0; // completed from the mode
    header.channels = 0;
    std::string path = "/tmp/kle_test_XXXXXX";
    const int fd = ::mkstemp(path.data());
    ASSERT_GE(fd, 0);
    CKLDExt container;
    container.Create(fd, header, 500, 500, {});

    const Bytes expected = Concat({
        {'K', 'L', 'E', 3},
        LE32(22),
        {24, 3}, // bits per pixel, mode
        LE32(1000),
        LE32(1000),            // width, height
        {3, 0x10, 0x20, 0x30}, // channels, background blue, green, red
        {200, 0, 200, 0},      // tile width, height
        {1, 0, 8, 2},          // compression, ordering, bits per channel, quality
        LE64(56),
        LE32(0),
        LE64(56),
        LE32(0),         // index offset, length, preview offset, user data
        {0, 0},          // up to the first 4-aligned offset
        {'Q', 'V', 'T'}, // the preview, the last thing in the file
    });
    Bytes bytes(59);
    ASSERT_EQ(::pread(fd, bytes.data(), bytes.size(), 0), 59);
    EXPECT_EQ(bytes, expected);

    CKLDExt reopened;
    EXPECT_TRUE(reopened.Open(fd, 0x500000, 0x400000));
    EXPECT_EQ(reopened.Header(), container.Header());
    EXPECT_EQ(reopened.Layout(), (KLDExtLayout{56, 0, 56, 0}));
    EXPECT_EQ(reopened.Index().Count(), 0u);
    ExpectBackgroundPreview(reopened, 500, 500);
    EXPECT_EQ(reopened.TileColumns(), 5u);
    EXPECT_EQ(reopened.DecodedCacheCapacity(), 131u); // 5 MiB of 200 × 200 tiles
    container.Close();
    reopened.Close();
    EXPECT_EQ(::close(fd), 0); // still open: the container left it to us
    ::unlink(path.c_str());
}

// Readers of regions and of the header open without decoding the preview, but its head and
// length are checked as a full open checks them, so a file cut or damaged there still fails.
TEST(ContainerFile, OpeningForRegionsChecksThePreviewWithoutDecodingIt) {
    Bytes bytes = CreatedBytes(MakeHeader(300, 200, 64, 64), 40, 30);
    const auto headOnly = [](Bytes& file) {
        CKLDExt container;
        container.Open(std::make_unique<CQVTMemoryStream>(file.data(), file.size()), 0x500000,
                       0x400000, CKLDExt::PreviewReading::HeadOnly);
        return container.Layout().previewOffset;
    };
    CKLDExt container;
    container.Open(std::make_unique<CQVTMemoryStream>(bytes.data(), bytes.size()), 0x500000,
                   0x400000, CKLDExt::PreviewReading::HeadOnly);
    EXPECT_EQ(container.Preview(), nullptr);
    EXPECT_EQ(container.PreviewWidth(), 40u);
    EXPECT_EQ(container.PreviewHeight(), 30u);
    const auto region = CreatePixMap(PixRect{10, 20, 90, 70}, ModeRGB);
    container.ReadRegion(*region, 0);
    const std::uint8_t* background = container.Header().background.data();
    const auto expected = CreatePixMap(region->Rect(), ModeRGB, background, 3);
    EXPECT_TRUE(region->EqualRect(region->Rect(), *expected, expected->Rect()));
    EXPECT_EQ(ErrorOf([&] { container.WriteRegion(*region, 0, 0, 0, 1); }), ErrorWrongFormat);

    const std::uint64_t previewAt = headOnly(bytes);
    Bytes cut(bytes.begin(), bytes.end() - 1);
    Bytes damaged = bytes;
    damaged[previewAt] ^= 0xFF;
    for (Bytes* file : {&cut, &damaged}) {
        CKLDExt full;
        const std::uint32_t error = ErrorOf([&] { OpenBytes(full, *file); });
        EXPECT_NE(error, 0u);
        EXPECT_EQ(ErrorOf([&] { headOnly(*file); }), error);
    }
}

TEST(ContainerFile, HeaderCompletionTable) {
    struct Case {
        std::uint8_t mode, bitsPerPixel, channels;
        std::uint8_t wantMode, wantBits, wantChannels;
    };
    const Case cases[] = {
        {1, 0, 0, 1, 8, 1},    {2, 0, 0, 2, 8, 1},    {3, 0, 0, 3, 24, 3},   {9, 0, 0, 9, 24, 3},
        {4, 0, 0, 4, 32, 4},   {17, 0, 0, 17, 32, 4}, {10, 0, 0, 10, 16, 1}, {11, 0, 0, 11, 48, 3},
        {12, 0, 0, 12, 48, 3}, {13, 0, 0, 13, 64, 4}, {18, 0, 0, 18, 32, 1}, {19, 0, 0, 19, 12, 3},
        {20, 0, 0, 20, 16, 3}, {7, 40, 5, 7, 40, 5}, // other modes keep what they were given
        {0, 1, 0, 0, 1, 1},    {0, 8, 0, 1, 8, 1},    {0, 12, 0, 19, 12, 3}, {0, 16, 0, 10, 16, 1},
        {0, 32, 0, 17, 32, 4}, {0, 48, 0, 11, 48, 3}, {0, 64, 0, 13, 64, 4}, {0, 24, 0, 3, 24, 3},
        {0, 40, 2, 3, 40, 2},
    };
    for (const Case& c : cases) {
        KLDExtHeader header;
        header.mode = c.mode;
        header.bitsPerPixel = c.bitsPerPixel;
        header.channels = c.channels;
        NormalizeKLDExtHeader(header);
        EXPECT_EQ(header.mode, c.wantMode) << int(c.mode) << "/" << int(c.bitsPerPixel);
        EXPECT_EQ(header.bitsPerPixel, c.wantBits) << int(c.mode) << "/" << int(c.bitsPerPixel);
        EXPECT_EQ(header.channels, c.wantChannels) << int(c.mode) << "/" << int(c.bitsPerPixel);
    }
}

TEST(ContainerFile, PreviewModeTable) {
    const std::pair<std::uint8_t, std::uint8_t> cases[] = {
        {0, 0},  {1, 1},  {10, 1}, {18, 1}, {2, 3},  {3, 3},   {4, 3},   {9, 3},
        {11, 3}, {12, 3}, {13, 3}, {19, 3}, {20, 3}, {17, 17}, {5, 255}, {7, 255}};
    for (const auto& [mode, preview] : cases)
        EXPECT_EQ(PreviewMode(mode), preview) << int(mode);
}

class IndexRoundTrip : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(IndexRoundTrip, ThousandEntriesReadBackExactly) {
    KLDExtHeader header = MakeHeader(1000, 1000, 10, 10); // 10 000 tiles
    header.indexCompression = GetParam();
    BuiltContainer built = BuildContainer(header, 1000);
    const std::uint64_t stored = built.layout.previewOffset - built.layout.indexOffset;
    const std::uint8_t* storedBytes = built.bytes.data() + built.layout.indexOffset;
    const Bytes records = CIndex(built.entries).StoreEntries();
    ASSERT_EQ(records.size(), 16000u);
    if (GetParam() == IndexPlain) {
        EXPECT_EQ(Bytes(storedBytes, storedBytes + stored), records);
    } else {
        Bytes inflated(records.size());
        uLongf size = inflated.size();
        ASSERT_EQ(uncompress(inflated.data(), &size, storedBytes, stored), Z_OK);
        EXPECT_EQ(inflated, records);
        EXPECT_LT(stored, records.size());
    }
    CKLDExt container;
    EXPECT_TRUE(OpenBytes(container, built.bytes));
    EXPECT_EQ(container.Index().Entries(), built.entries);
    EXPECT_EQ(container.Index().MaxEntryLength(), 26u);
    EXPECT_EQ(container.Layout(), built.layout);
}

INSTANTIATE_TEST_SUITE_P(Compression, IndexRoundTrip, ::testing::Values(IndexPlain, IndexZlib));

// Entries missing from a short inflated index would be whatever memory held; Open's later checks
// hide that, so the read itself must refuse it.
TEST(ContainerFile, ACompressedIndexInflatesToExactlyItsLength) {
    const CIndex index(std::vector<IndexEntry>{{1, 10, 100}, {3, 10, 200}});
    CQVTMemoryStream stream(64);
    WriteBytes(stream, Bytes(8).data(), 8);
    const std::uint64_t stored = WriteIndex(index, stream, IndexZlib, 8);
    EXPECT_EQ(ReadIndex(stream, IndexZlib, 8, 32, stored).Entries(), index.Entries());
    EXPECT_EQ(ErrorOf([&] { ReadIndex(stream, IndexZlib, 8, 48, stored); }), ErrorWrongFormat);
    EXPECT_EQ(ErrorOf([&] { ReadIndex(stream, IndexZlib, 8, 16, stored); }), ErrorZlib);
}

// An older file: magic "QVE", an 18-byte header (no compression, ordering, bits per channel or
// quality bytes) and the layout block right after it. Four more bytes of user data make its
// fixed part as long as the current one, so tiles, index and preview keep their offsets.
TEST(ContainerFile, OldShortHeaderOpensAndAsksForReorganising) {
    KLDExtHeader header = MakeHeader(600, 400, 100, 100);
    header.indexCompression = IndexPlain;
    header.defaultQuality = 0;
    header.bitsPerChannel = 0;
    const BuiltContainer current = BuildContainer(header, 5, {1, 2, 3});
    const Bytes userData{1, 2, 3, 4, 5, 6, 7};
    KLDExtLayout layout = current.layout;
    layout.userDataLength = static_cast<std::uint32_t>(userData.size());
    const auto fullHeader = StoreKLDExtHeader(header);
    const auto layoutBytes = StoreKLDExtLayout(layout);
    Bytes old = Concat({{'Q', 'V', 'E', 1},
                        LE32(18),
                        Bytes(fullHeader.begin(), fullHeader.begin() + 18),
                        Bytes(layoutBytes.begin(), layoutBytes.end()),
                        userData});
    old.insert(old.end(), current.bytes.begin() + 57, current.bytes.end());
    ASSERT_EQ(old.size(), current.bytes.size());

    CKLDExt container;
    EXPECT_FALSE(OpenBytes(container, old));
    EXPECT_EQ(container.StoredHeaderLength(), 18);
    EXPECT_EQ(container.Header(), header);
    EXPECT_EQ(container.UserData(), userData);
    EXPECT_EQ(container.TileDataBegin(), 57u);
    EXPECT_EQ(container.Index().Entries(), current.entries);

    // Its shorter fixed part is never overwritten in place; a copy gets the current one.
    const Bytes before = old;
    try {
        container.WriteHeader(*container.Stream());
        ADD_FAILURE() << "an older fixed part was overwritten";
    } catch (const IOException& e) {
        EXPECT_EQ(e.error, std::uint32_t{ErrorWrongVersion});
    }
    EXPECT_EQ(old, before);
    CQVTMemoryStream copy(64);
    container.WriteHeader(copy);
    EXPECT_EQ(copy.DataSize(), 54u + userData.size());
    EXPECT_EQ(copy.Data()[0], 'K');

    CKLDExt headerOnly;
    CQVTMemoryStream stream(old.data(), old.size());
    EXPECT_FALSE(headerOnly.ReadHeader(stream));
    headerOnly.ReadPreview(stream, -1);
    ASSERT_NE(headerOnly.Preview(), nullptr);
    EXPECT_EQ(headerOnly.Preview()->Height(), 30u);
}

TEST(ContainerFile, OnlyTheLowSixteenBitsOfTheHeaderLengthCount) {
    BuiltContainer built = BuildContainer(MakeHeader(600, 400, 100, 100), 3);
    StoreLE32(&built.bytes[4], 0x00070016);
    CKLDExt container;
    EXPECT_TRUE(OpenBytes(container, built.bytes));
}

TEST(ContainerFile, UserDataShrinkButNeverGrowInPlace) {
    const Bytes userData{'a', 'b', 'c', 'd', 'e'};
    auto owned = std::make_unique<CQVTMemoryStream>(64);
    CQVTMemoryStream& stream = *owned;
    CKLDExt container;
    container.Create(std::move(owned), MakeHeader(600, 400, 100, 100), 6, 4, userData);
    EXPECT_EQ(container.Layout().indexOffset, 60u); // (54 + 5 + 3) rounded down to 4
    EXPECT_EQ(Bytes(stream.Data() + 54, stream.Data() + 59), userData);

    container.WriteHeader(stream, Bytes{'x', 'y', 'z', 'w', 'v', 'u', 't'});
    EXPECT_EQ(Bytes(stream.Data() + 54, stream.Data() + 59), (Bytes{'x', 'y', 'z', 'w', 'v'}));
    container.WriteHeader(stream, Bytes{'1', '2'});
    EXPECT_EQ(container.Layout().userDataLength, 2u);
    EXPECT_EQ(LoadLE32(stream.Data() + 50), 2u);
    EXPECT_EQ(container.UserData(), (Bytes{'1', '2'}));
}

TEST(ContainerFile, CreateRefusesHeadersNoContainerCanHold) {
    for (auto [width, height, tile] : {std::tuple{100u, 100u, 0}, std::tuple{100u, 50u, 64}}) {
        CKLDExt container;
        EXPECT_THROW(container.Create(std::make_unique<CQVTMemoryStream>(64),
                                      MakeHeader(width, height, std::uint16_t(tile), 64), 0, 0, {}),
                     IOException);
    }
}

// Earlier writers could put a record in the padding before the aligned start of the tile data;
// such files stay readable, and reorganizing lays them out from the aligned start.
TEST(ContainerFile, RecordsBeforeTheAlignedStartStayReadable) {
    const BuiltContainer built = BuildContainer(MakeHeader(600, 400, 100, 100), 3, {}, 54);
    Bytes bytes = built.bytes;
    CKLDExt container;
    ASSERT_TRUE(OpenBytes(container, bytes));
    EXPECT_EQ(container.Index().Entries(), built.entries);
    EXPECT_EQ(built.entries.back().offset, 54u);
    CQVTMemoryStream target(1024);
    container.Reorganize(target);
    Bytes copy = StreamBytes(target);
    CKLDExt compact;
    ASSERT_TRUE(OpenBytes(compact, copy));
    EXPECT_EQ(compact.Index().Entry(0)->offset, 56u);
}

} // namespace
