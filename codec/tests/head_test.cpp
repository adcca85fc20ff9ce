// Heads written by the head writer read back field for field (colour table, user data, region
// flag, caller bytes after the head, an offset start, raw channels); hand-made heads exercise the
// reader's layout variants and its errors in file order; every truncation of a valid head gives
// ErrorShortRead, and hostile sizes fail before anything large is allocated.
#include "error_of.h"
#include "image_mode.h"
#include "qvt_error.h"
#include "qvt_head.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Planes = std::vector<std::vector<std::int32_t>>;

struct HeadParts {
    QVTHeader header;
    std::uint8_t flags = 0;
    Bytes userData;
    Bytes callerBytes; // written by the caller between the head and the level table
    std::size_t prefix = 0;
    std::vector<std::uint32_t> levelLengths; // level data of these lengths follow
    Planes raw;                              // for levels = 0
};

ColorTable TestColorTable() {
    ColorTable table;
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return table;
}

QVTHeader Completed(QVTHeader header) {
    EXPECT_TRUE(CompleteHeader(header));
    return header;
}

Bytes Contents(const CQVTMemoryStream& stream) {
    return Bytes(stream.Data(), stream.Data() + stream.DataSize());
}

void WriteParts(CQVTStream& stream, const HeadParts& parts) {
    const Bytes prefix(parts.prefix, 0xA5);
    WriteBytes(stream, prefix.data(), prefix.size());
    CQVTHeadWriter writer(stream, parts.flags, parts.header, TestColorTable(), parts.userData);
    WriteBytes(stream, parts.callerBytes.data(), parts.callerBytes.size());
    writer.BeginLevelData(parts.header.levels);
    for (std::size_t level = 0; level < parts.levelLengths.size(); ++level) {
        const Bytes data(parts.levelLengths[level], static_cast<std::uint8_t>(0xC0 + level));
        WriteBytes(stream, data.data(), data.size());
    }
    std::vector<const std::int32_t*> planes;
    for (const auto& plane : parts.raw)
        planes.push_back(plane.data());
    WriteRawChannels(stream, DeriveChannelLayout(parts.header), planes);
    writer.FinishLevelData(parts.levelLengths);
}

Bytes Encode(const HeadParts& parts) {
    CQVTMemoryStream stream(0);
    WriteParts(stream, parts);
    return Contents(stream);
}

QVTHead Decode(const Bytes& bytes, std::size_t offset = 0,
               std::uint32_t policy = kDefaultUserDataPolicy) {
    CQVTMemoryStream stream(0);
    WriteBytes(stream, bytes.data(), bytes.size());
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(offset));
    return ReadHead(stream, policy);
}

std::uint32_t DecodeError(const Bytes& bytes) {
    return ErrorOf([&] { Decode(bytes); });
}

Planes RandomPlanes(const QVTHeader& header, std::uint32_t seed) {
    const ChannelLayout layout = DeriveChannelLayout(header);
    std::mt19937 random(seed);
    Planes planes(header.channels);
    for (std::size_t c = 0; c < planes.size(); ++c) {
        planes[c].resize(std::size_t{layout.widths[c]} * layout.heights[c]);
        for (auto& sample : planes[c])
            sample = static_cast<std::int32_t>(random());
        planes[c].front() = std::numeric_limits<std::int32_t>::min();
        planes[c].back() = std::numeric_limits<std::int32_t>::max();
    }
    return planes;
}

// A head laid out by hand: signature, version, a 2- or 4-byte header size by the version's
// flag, the header bytes, then whatever follows.
Bytes HandMade(std::uint8_t version, std::uint32_t headerSize, const QVTHeader& header,
               std::size_t headerBytes = kHeaderSize, const Bytes& rest = {}) {
    Bytes bytes{'Q', 'V', 'T', version};
    const int sizeBytes = version & kVersionLongHeaderSize ? 4 : 2;
    for (int i = 0; i < sizeBytes; ++i)
        bytes.push_back(static_cast<std::uint8_t>(headerSize >> 8 * i));
    const auto stored = StoreHeader(header);
    bytes.insert(bytes.end(), stored.begin(), stored.begin() + headerBytes);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

const QVTHeader kGray{20, 10, 0, 0, 8, 1, ModeGray, 0, 0};

} // namespace

TEST(HeadRoundTrip, IndexedWithUserDataAtAnyStart) {
    for (std::size_t prefix : {0, 13}) {
        HeadParts parts;
        parts.header = Completed({300, 200, 3, 2, 8, 1, ModeIndexed, 0, 0});
        parts.userData = {1, 2, 3, 4, 5};
        parts.prefix = prefix;
        parts.levelLengths = {5, 17, 40};
        const Bytes bytes = Encode(parts);

        const QVTHead head = Decode(bytes, prefix, 0x80000000);
        EXPECT_EQ(head.leadIn.version, 0x76);
        EXPECT_EQ(head.leadIn.headerSize, 16u + 1024 + 5);
        EXPECT_EQ(head.header, parts.header);
        ASSERT_TRUE(head.hasColorTable);
        EXPECT_EQ(head.colorTable, TestColorTable());
        EXPECT_EQ(head.userDataLength, 5u);
        ASSERT_EQ(head.keptUserDataLength, 5u);
        EXPECT_TRUE(std::equal(parts.userData.begin(), parts.userData.end(), head.userData.get()));
        EXPECT_EQ(head.userDataPosition, prefix + 8 + 16 + 1024);
        EXPECT_EQ(head.levelLengths, parts.levelLengths);
        EXPECT_EQ(head.levelDataSize, 62u);
        EXPECT_EQ(head.startPosition, prefix);
        EXPECT_EQ(head.headLength, 8u + 16 + 1024 + 5 + 12);
        EXPECT_EQ(bytes[head.LevelDataStart()], 0xC0);
        EXPECT_EQ(bytes.size(), head.LevelDataStart() + 62);
    }
}

TEST(HeadRoundTrip, RegionFlagAndCompletedHeader) {
    HeadParts parts;
    parts.header = Completed({1000, 800, 4, 5, 0, 0, ModeNotGiven, 0, 0});
    parts.flags = kVersionRegion;
    parts.levelLengths = {1, 2, 3, 4};
    const QVTHead head = Decode(Encode(parts));
    EXPECT_EQ(head.leadIn.version, 0x7E);
    EXPECT_EQ(head.header, parts.header);
    EXPECT_EQ(head.header.mode, ModeRGB);
    EXPECT_FALSE(head.hasColorTable);
    EXPECT_EQ(head.userData, nullptr);
    EXPECT_EQ(head.headLength, 8u + 16 + 16);
    EXPECT_TRUE(head.layout.chromaHalved);
    EXPECT_EQ(head.layout.quantisation, 4);
    EXPECT_EQ(head.layout.widths[2], 500u);
}

TEST(HeadRoundTrip, CallerBytesAfterTheHeadJoinTheHeader) {
    HeadParts parts;
    parts.header = Completed({64, 64, 2, 0, 24, 3, ModeRGB, 0, 0});
    parts.prefix = 11;
    parts.callerBytes = {9, 8, 7, 6, 5, 4, 3};
    parts.levelLengths = {6, 9};
    const Bytes bytes = Encode(parts);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 11), Bytes(11, 0xA5));
    EXPECT_EQ(bytes[11 + 4], 16 + 7); // the rewritten header size

    const QVTHead head = Decode(bytes, 11, 0xFFFFFFFE);
    EXPECT_EQ(head.leadIn.headerSize, 16u + 7);
    EXPECT_EQ(head.userDataLength, 7u);
    EXPECT_TRUE(
        std::equal(parts.callerBytes.begin(), parts.callerBytes.end(), head.userData.get()));
    EXPECT_EQ(head.levelLengths, parts.levelLengths);
    EXPECT_EQ(bytes[head.LevelDataStart() + 6], 0xC1);
}

TEST(HeadRoundTrip, RawChannelsOfImagesWithoutLevels) {
    const QVTHeader headers[] = {
        {9, 9, 0, 4, 24, 3, ModeRGB, 0, 0},    // halved chroma: 9 × 9, 5 × 5, 5 × 5
        {9, 9, 0, 3, 24, 3, ModeRGB, 0, 0},    // full size
        {1, 7, 0, 0, 8, 1, ModeIndexed, 0, 0}, // behind a colour table
        {4, 3, 0, 9, 64, 4, ModeCMYK64, 0, 0},
    };
    for (const QVTHeader& header : headers) {
        HeadParts parts;
        parts.header = Completed(header);
        parts.raw = RandomPlanes(parts.header, header.width * 31 + header.quality);
        CQVTMemoryStream stream(0);
        WriteParts(stream, parts);
        stream.SetPos(PosFromStart, 0);
        const QVTHead head = ReadHead(stream);
        const auto planes = ReadRawChannels(stream, head);
        ASSERT_EQ(planes.size(), parts.raw.size());
        for (std::size_t c = 0; c < planes.size(); ++c)
            EXPECT_TRUE(std::equal(parts.raw[c].begin(), parts.raw[c].end(), planes[c].get()));
        EXPECT_EQ(RemainingBytes(stream), 0u);
    }
    // 9 × 9 RGB at quality 4: (81 + 2 × 25) samples of 4 bytes right after a 24-byte head.
    HeadParts rgb;
    rgb.header = Completed(headers[0]);
    rgb.raw = RandomPlanes(rgb.header, 1);
    const Bytes bytes = Encode(rgb);
    EXPECT_EQ(bytes.size(), 24u + 4 * (81 + 2 * 25));
    EXPECT_EQ(bytes[24], 0x00); // INT32_MIN, little-endian
    EXPECT_EQ(bytes[27], 0x80);
}

// Older layouts: a 2-byte header size puts the header at offset 6, version 0 has neither
// extension nor level table, and a header shorter than 16 bytes keeps the defaults beyond it.
TEST(HeadLayouts, OlderFilesKeepTheirOwnLayout) {
    QVTHead head = Decode(HandMade(0x16, 16, kGray));
    EXPECT_EQ(head.header.width, 20u);
    EXPECT_EQ(head.header.mode, ModeGray);
    EXPECT_EQ(head.headLength, 6u + 16);

    QVTHeader indexed = kGray;
    indexed.levels = 2;
    indexed.mode = ModeIndexed;
    head = Decode(HandMade(0x00, 40, indexed));
    EXPECT_FALSE(head.hasColorTable);
    EXPECT_EQ(head.userDataLength, 0u);
    EXPECT_TRUE(head.levelLengths.empty());
    EXPECT_EQ(head.headLength, 6u + 16);

    // 12 bytes: width, height, levels, quality, bits per pixel, channels; mode stays 255.
    head = Decode(HandMade(0x36, 12, {7, 5, 0, 0, 8, 1, 0, 0, 0}, 12));
    EXPECT_EQ(head.header.mode, ModeGray); // completed from 8 bits per pixel
    EXPECT_EQ(head.headLength, 8u + 12);
}

TEST(HeadLayouts, IndexedImagesNeedRoomForTheColourTable) {
    QVTHeader indexed = kGray;
    indexed.mode = ModeIndexed;
    EXPECT_EQ(DecodeError(HandMade(0x76, 16 + 1023, indexed, 16, Bytes(1023))), ErrorWrongFormat);
    const QVTHead head = Decode(HandMade(0x76, 16 + 1024, indexed, 16, Bytes(1024, 0x3C)));
    EXPECT_TRUE(head.hasColorTable);
    EXPECT_EQ(head.colorTable[1023], 0x3C);
    EXPECT_EQ(head.userDataLength, 0u);
}

TEST(HeadLayouts, ChannelAndLevelLimits) {
    QVTHeader multi = kGray;
    multi.mode = ModeMultichannel;
    multi.bitsPerPixel = 0;
    multi.channels = 0;
    EXPECT_EQ(DecodeError(HandMade(0x76, 16, multi)), ErrorWrongFormat);
    multi.channels = 2;
    EXPECT_EQ(Decode(HandMade(0x76, 16, multi)).header.channels, 2);
    multi.channels = 8;
    EXPECT_EQ(Decode(HandMade(0x76, 16, multi)).header.channels, 8);
    multi.channels = 9; // more than an image object holds
    EXPECT_EQ(DecodeError(HandMade(0x76, 16, multi)), ErrorWrongFormat);

    QVTHeader deep = kGray;
    deep.levels = 30;
    EXPECT_EQ(Decode(HandMade(0x76, 16, deep, 16, Bytes(4 * 30))).levelLengths.size(), 30u);
    deep.levels = 31;
    EXPECT_EQ(DecodeError(HandMade(0x76, 16, deep, 16, Bytes(4 * 31))), ErrorWrongFormat);
    // The table is read before the level count is judged.
    EXPECT_EQ(DecodeError(HandMade(0x76, 16, deep, 16, Bytes(4 * 30))), ErrorShortRead);
}

TEST(HeadLayouts, ErrorsNameTheFirstPieceThatFails) {
    Bytes wrong = HandMade(0x76, 16, kGray);
    wrong[2] = 'X';
    EXPECT_EQ(DecodeError(wrong), ErrorWrongFormat);
    EXPECT_EQ(DecodeError(Bytes(wrong.begin(), wrong.begin() + 7)), ErrorShortRead);
    QVTHeader invalid = kGray;
    invalid.bitsPerPixel = 16;
    EXPECT_EQ(DecodeError(HandMade(0x76, 16, invalid)), ErrorWrongFormat);
}

TEST(HeadUserData, PolicyDecidesHowMuchIsKept) {
    HeadParts parts;
    parts.header = Completed(kGray);
    parts.header.levels = 1;
    parts.userData = {10, 11, 12, 13, 14};
    parts.levelLengths = {3};
    const Bytes bytes = Encode(parts);
    const std::pair<std::uint32_t, std::uint32_t> policies[] = {
        {2, 2},          {0, 0},          {4, 4},          {0x7FFFFFFF, 5},
        {0xFFFFFFFF, 0}, {0xFFFFFFFE, 5}, {0x80000000, 5}, {0x80000001, 5},
    };
    for (const auto& [policy, kept] : policies) {
        const QVTHead head = Decode(bytes, 0, policy);
        EXPECT_EQ(head.userDataLength, 5u);
        ASSERT_EQ(head.keptUserDataLength, kept) << policy;
        EXPECT_EQ(head.userData != nullptr, kept > 0);
        if (kept > 0) {
            EXPECT_TRUE(std::equal(head.userData.get(), head.userData.get() + kept,
                                   parts.userData.begin()));
        }
        EXPECT_EQ(head.levelLengths, parts.levelLengths); // the rest was skipped exactly
    }
}

TEST(HeadTruncation, EveryCutIsAShortRead) {
    HeadParts indexed;
    indexed.header = Completed({50, 40, 3, 0, 8, 1, ModeIndexed, 0, 0});
    indexed.userData = Bytes(9, 0x42);
    indexed.levelLengths = {2, 3, 4};

    HeadParts raw;
    raw.header = Completed({9, 9, 0, 4, 24, 3, ModeRGB, 0, 0});
    raw.userData = {1, 2, 3};
    raw.raw = RandomPlanes(raw.header, 7);

    for (const HeadParts& parts : {indexed, raw}) {
        const Bytes full = Encode(parts);
        // Everything up to the level data belongs to the head.
        const std::size_t end = parts.levelLengths.empty() ? full.size() : full.size() - 9;
        for (std::uint32_t policy : {kDefaultUserDataPolicy, 0x80000000u}) {
            for (std::size_t cut = 0; cut < end; ++cut) {
                CQVTMemoryStream stream(0);
                WriteBytes(stream, full.data(), cut);
                stream.SetPos(PosFromStart, 0);
                const auto error = ErrorOf([&] {
                    const QVTHead head = ReadHead(stream, policy);
                    if (head.header.levels == 0) ReadRawChannels(stream, head);
                });
                ASSERT_EQ(error, ErrorShortRead) << "cut at " << cut;
            }
        }
    }
}

TEST(HeadHostileSizes, CorruptedBytesGiveACodeOrAHead) {
    HeadParts parts;
    parts.header = Completed({9, 7, 0, 5, 32, 4, ModeARGB, 0, 0});
    parts.userData = {4, 5};
    parts.raw = RandomPlanes(parts.header, 3);
    const Bytes full = Encode(parts);
    // Mutating the head (not the samples, which carry no structure) must never crash or hang.
    for (std::size_t at = 0; at < 8 + 16 + 2; ++at) {
        for (std::uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
            Bytes bytes = full;
            bytes[at] = value;
            CQVTMemoryStream stream(bytes.data(), bytes.size());
            const auto error = ErrorOf([&] {
                const QVTHead head = ReadHead(stream, 0x80000000);
                if (head.header.levels == 0) ReadRawChannels(stream, head);
            });
            EXPECT_TRUE(error == 0 || error == ErrorShortRead || error == ErrorWrongFormat ||
                        error == ErrorOutOfMemory)
                << at << " " << error;
        }
    }
}

TEST(HeadHostileSizes, FailBeforeAllocating) {
    // Raw planes larger than the stream: a short read, not a 16 GiB allocation.
    QVTHeader huge{0x10000, 0x10000, 0, 0, 32, 1, ModeGray32, 0, 0};
    CQVTMemoryStream stream(0);
    const Bytes head = HandMade(0x76, 16, huge);
    WriteBytes(stream, head.data(), head.size());
    stream.SetPos(PosFromStart, 0);
    const QVTHead parsed = ReadHead(stream);
    EXPECT_EQ(ErrorOf([&] { ReadRawChannels(stream, parsed); }), ErrorShortRead);

    // Sizes whose byte count does not even fit 64 bits cannot be allocated.
    huge.width = huge.height = 0xFFFFFFFF;
    const Bytes giant = HandMade(0x76, 16, huge);
    CQVTMemoryStream giantStream(0);
    WriteBytes(giantStream, giant.data(), giant.size());
    giantStream.SetPos(PosFromStart, 0);
    const QVTHead giantHead = ReadHead(giantStream);
    EXPECT_EQ(ErrorOf([&] { ReadRawChannels(giantStream, giantHead); }), ErrorOutOfMemory);

    // Declared user data far beyond the stream, with a policy that would keep it all.
    const Bytes userData = HandMade(0x76, 0xFFFFFFF0, kGray, 16, Bytes(100));
    EXPECT_EQ(ErrorOf([&] { Decode(userData, 0, 0x80000000); }), ErrorShortRead);
}
