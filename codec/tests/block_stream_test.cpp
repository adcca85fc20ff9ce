// Block streams end to end: bands written level by level (plain and tiled) or whole at once read
// back exactly, the stored bytes and the decoded values do not depend on the number of blocks per
// batch, each level-length prefix of the data suffices to decode its levels, tiles are skipped in
// memory and in the stream, and damaged streams end in the same clean error whatever the batch
// size or the order the blocks are needed in, or the threads that place a level.
#include "block_decoder.h"
#include "block_encoder.h"
#include "error_of.h"
#include "qvt_error.h"
#include "qvt_head.h"
#include "qvt_stream.h"
#include "stored_bands.h"
#include "stored_blocks.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

std::vector<std::uint8_t> BytesOf(const CQVTMemoryStream& stream) {
    return {stream.Data(), stream.Data() + stream.DataSize()};
}

// A stream holding `bytes`, positioned at `pos`.
std::unique_ptr<CQVTMemoryStream> StreamOver(const std::vector<std::uint8_t>& bytes,
                                             std::uint64_t pos) {
    auto stream = std::make_unique<CQVTMemoryStream>(bytes.size());
    WriteBytes(*stream, bytes.data(), bytes.size());
    stream->SetPos(PosFromStart, static_cast<std::int64_t>(pos));
    return stream;
}

struct Part {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::int32_t> samples;
};

// A level is a list of tiles, a tile a list of band windows. Plain streams ignore the tiling.
using Tile = std::vector<Part>;
using Level = std::vector<Tile>;

struct Options {
    bool regionBlocks = false;
    int threads = 1;
    bool wholeBands = false; // plain streams only: every level's windows as whole bands at once
};

Part RandomPart(std::mt19937& rng, std::uint32_t width, std::uint32_t height, int bits) {
    Part part{width, height, std::vector<std::int32_t>(std::size_t{width} * height)};
    for (auto& v : part.samples)
        v = static_cast<std::int32_t>(rng() % (2u << bits)) - (1 << bits);
    return part;
}

// Levels with tiles of very different sizes: empty ones, small ones and ones spanning blocks.
std::vector<Level> RandomLevels(std::mt19937& rng, int levelCount, int tilesPerLevel) {
    std::vector<Level> levels(static_cast<std::size_t>(levelCount));
    for (auto& level : levels) {
        for (int t = 0; t < tilesPerLevel; ++t) {
            Tile tile;
            for (int band = 0; band < 3; ++band) {
                const std::uint32_t kind = rng() % 10;
                const std::uint32_t width = kind == 0  ? 0
                                            : kind < 8 ? 1 + rng() % 20
                                                       : 100 + rng() % 60;
                const std::uint32_t height = kind == 0  ? 0
                                             : kind < 8 ? 1 + rng() % 20
                                                        : 90 + rng() % 60;
                tile.push_back(RandomPart(rng, width, height, 1 + static_cast<int>(rng() % 12)));
            }
            level.push_back(std::move(tile));
        }
    }
    return levels;
}

struct Encoded {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> levelLengths;
    std::uint64_t dataLength = 0;
};

// The level-length table and the blocks behind it, without the head before them.
Encoded Encode(const std::vector<Level>& levels, const Options& options) {
    CQVTMemoryStream stream(0);
    QVTHeader header;
    header.levels = static_cast<std::uint8_t>(levels.size());
    CQVTHeadWriter head(stream, 0, header, ColorTable{});
    head.BeginLevelData(header.levels);
    CBlockEncoder encoder(stream, header.levels, true, options.threads);
    encoder.SetUseRegionBlocks(options.regionBlocks);
    encoder.StartLevelLengths();
    if (options.wholeBands) {
        std::vector<WholeBand> bands;
        std::vector<std::uint64_t> levelEnds;
        std::uint64_t values = 0;
        for (const Level& level : levels) {
            for (const Tile& tile : level)
                for (const Part& part : tile) {
                    bands.push_back({part.samples.data(), part.width, part.height, part.width});
                    values += part.samples.size();
                }
            levelEnds.push_back(values);
        }
        int levelsDone = 0;
        encoder.AddWholeBands(bands, levelEnds, [&](int level) { EXPECT_EQ(level, levelsDone++); });
        EXPECT_EQ(levelsDone, static_cast<int>(levels.size()));
    } else {
        for (std::size_t l = 0; l < levels.size(); ++l) {
            for (std::size_t t = 0; t < levels[l].size(); ++t) {
                for (const Part& part : levels[l][t])
                    encoder.AddSamples(part.samples.data(), part.width, part.height, 0, part.width);
                if (t + 1 == levels[l].size()) encoder.MarkLevelEnd(static_cast<std::int32_t>(l));
                if (options.regionBlocks) encoder.FinishTile();
            }
        }
    }
    encoder.FlushLast();
    const std::uint64_t tableAndData = head.FinishLevelData(encoder.LevelLengths());
    EXPECT_EQ(stream.GetPos(), stream.DataSize());
    std::vector<std::uint8_t> bytes = BytesOf(stream);
    bytes.erase(bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(head.LevelTablePosition()));
    return {bytes, encoder.LevelLengths(), tableAndData - levels.size() * 4};
}

struct Decoded {
    std::uint32_t error = 0;
    std::vector<std::vector<std::int32_t>> parts; // in reading order, skipped tiles left out
};

// Reads `levelCount` levels; tiles for which skip(level, tile) holds are skipped.
Decoded Decode(const std::vector<std::uint8_t>& bytes, const std::vector<Level>& levels,
               std::size_t levelCount, const Options& options, const auto& skip) {
    const auto stream = StreamOver(bytes, levels.size() * 4);
    Decoded decoded;
    try {
        CBlockDecoder decoder(*stream, true, options.threads);
        decoder.SetUseRegionBlocks(options.regionBlocks);
        for (std::size_t l = 0; l < levelCount; ++l) {
            for (std::size_t t = 0; t < levels[l].size(); ++t) {
                if (options.regionBlocks) {
                    if (skip(l, t)) {
                        decoder.SkipTile();
                        continue;
                    }
                    decoder.NextBlock();
                }
                for (const Part& part : levels[l][t]) {
                    std::vector<std::int32_t> samples(part.samples.size(), 0x5EED);
                    decoder.PlaceValues(samples.data(), part.width, part.height, 0, part.width, 0);
                    decoded.parts.push_back(std::move(samples));
                }
            }
        }
    } catch (const IOException& e) {
        decoded.error = e.error;
    }
    return decoded;
}

std::vector<std::vector<std::int32_t>> Expected(const std::vector<Level>& levels,
                                                const auto& skip) {
    std::vector<std::vector<std::int32_t>> parts;
    for (std::size_t l = 0; l < levels.size(); ++l)
        for (std::size_t t = 0; t < levels[l].size(); ++t)
            if (!skip(l, t))
                for (const Part& part : levels[l][t])
                    parts.push_back(part.samples);
    return parts;
}

const auto kReadAll = [](std::size_t, std::size_t) { return false; };

// Walks the stored blocks: (bytes of each block with its prefix).
std::vector<std::uint64_t> StoredBlockSizes(const std::vector<std::uint8_t>& bytes,
                                            std::size_t start, bool regionBlocks) {
    std::vector<std::uint64_t> sizes;
    for (std::size_t pos = start; pos < bytes.size();) {
        const std::uint64_t words = bytes[pos] | bytes[pos + 1] << 8;
        const std::uint64_t size = (regionBlocks ? 4 : 2) + words * 4;
        sizes.push_back(size);
        pos += size;
    }
    return sizes;
}

} // namespace

TEST(BlockStream, PlainAndTiledStreamsReadBackAtEveryBatchSize) {
    std::mt19937 rng(1);
    for (const bool regionBlocks : {false, true}) {
        auto levels = RandomLevels(rng, 3, 5);
        // A window of 15 values first, so that 8 × 8 squares of the next one straddle blocks.
        Tile& first = levels[0][0];
        first.insert(first.begin(), {RandomPart(rng, 3, 5, 4), RandomPart(rng, 136, 128, 6)});
        const Encoded reference = Encode(levels, {regionBlocks, 1});
        EXPECT_EQ(reference.dataLength, reference.bytes.size() - levels.size() * 4);
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < levels.size(); ++i) {
            std::uint32_t stored = 0;
            std::memcpy(&stored, &reference.bytes[i * 4], 4);
            EXPECT_EQ(stored, reference.levelLengths[i]);
            sum += stored;
        }
        EXPECT_EQ(sum, reference.dataLength);
        for (const int threads : {1, 2, 3, 5}) {
            const Options options{regionBlocks, threads};
            EXPECT_EQ(Encode(levels, options).bytes, reference.bytes) << threads;
            if (!regionBlocks) {
                EXPECT_EQ(Encode(levels, {false, threads, true}).bytes, reference.bytes) << threads;
            }
            const Decoded decoded =
                Decode(reference.bytes, levels, levels.size(), options, kReadAll);
            EXPECT_EQ(decoded.error, 0u);
            EXPECT_EQ(decoded.parts, Expected(levels, kReadAll)) << threads;
        }
    }
}

// Entry i counts every block whose first value lies in level i, so the head plus entries 0..i
// decode levels 0..i, and a block holding the end of one level and the start of the next is
// counted with the earlier one.
TEST(BlockStream, LevelLengthPrefixesDecodeTheirLevels) {
    std::mt19937 rng(3);
    for (const bool regionBlocks : {false, true}) {
        const auto levels = RandomLevels(rng, 4, 4);
        for (const int threads : {1, 3}) {
            const Options options{regionBlocks, threads};
            const Encoded encoded = Encode(levels, options);
            if (!regionBlocks) {
                EXPECT_EQ(Encode(levels, {false, threads, true}).levelLengths,
                          encoded.levelLengths);
            }
            std::size_t end = levels.size() * 4;
            for (std::size_t l = 0; l < levels.size(); ++l) {
                end += encoded.levelLengths[l];
                const std::vector<std::uint8_t> prefix(encoded.bytes.begin(),
                                                       encoded.bytes.begin() +
                                                           static_cast<std::ptrdiff_t>(end));
                const Decoded decoded = Decode(prefix, levels, l + 1, options, kReadAll);
                ASSERT_EQ(decoded.error, 0u) << "level " << l;
                auto expected = Expected(levels, kReadAll);
                expected.resize(decoded.parts.size());
                EXPECT_EQ(decoded.parts, expected);
            }
        }
    }
}

TEST(BlockStream, PlainStreamPadsOnlyTheLastBlock) {
    std::mt19937 rng(4);
    std::vector<Level> levels = {{{RandomPart(rng, 200, 100, 5)}}, {{RandomPart(rng, 70, 3, 5)}}};
    const Encoded encoded = Encode(levels, {false, 2});
    // 20000 + 210 values: two stored blocks, the second padded; both start in the first level.
    EXPECT_EQ(StoredBlockSizes(encoded.bytes, 8, false).size(), 2u);
    EXPECT_EQ(encoded.levelLengths,
              (std::vector<std::uint32_t>{static_cast<std::uint32_t>(encoded.dataLength), 0}));
    EXPECT_EQ(Encode(levels, {false, 2, true}).bytes, encoded.bytes);
    // Levels that end with their blocks: no block is padded, and each level has its own.
    levels = {{{RandomPart(rng, 128, 128, 5)}}, {{RandomPart(rng, 128, 128, 5)}}};
    const Encoded whole = Encode(levels, {false, 2, true});
    EXPECT_EQ(StoredBlockSizes(whole.bytes, 8, false).size(), 2u);
    const Encoded added = Encode(levels, {false, 2});
    EXPECT_EQ(whole.bytes, added.bytes);
    EXPECT_EQ(whole.levelLengths, added.levelLengths);
    EXPECT_NE(whole.levelLengths[1], 0u);
}

// Positions as in a file whose stored blocks lie 3 GiB apart, without holding any of it.
class FarApartBlocks final : public CQVTStream {
public:
    void Write(std::int32_t& count, const void*) override {
        m_pos += static_cast<std::uint64_t>(count);
        // Each block's code words come in one write after its 2- or 4-byte prefix.
        if (count > 4) m_pos += std::uint64_t{3} << 30;
    }
    void Read(std::int32_t& count, void*) override { count = 0; }
    void SetPos(std::int16_t, std::int64_t offset) override {
        m_pos = static_cast<std::uint64_t>(offset);
    }
    std::uint64_t GetPos() override { return m_pos; }
    bool IsValid() const override { return true; }

private:
    std::uint64_t m_pos = 0;
};

// An entry has 32 bits; a level of 4 GiB or more (a large lossless image) is stored as the
// largest entry, a lower bound, never as its length modulo 2^32.
TEST(BlockStream, LevelLengthsSaturateInsteadOfWrapping) {
    FarApartBlocks stream;
    CBlockEncoder encoder(stream, 2, false);
    encoder.StartLevelLengths();
    const std::vector<std::int32_t> values(3 * 16384, 5);
    encoder.AddSamples(values.data(), 16384, 3, 0, 16384); // three blocks
    encoder.MarkLevelEnd(0);
    encoder.AddValue(-5);
    encoder.FlushLast();
    const std::vector<std::uint32_t>& lengths = encoder.LevelLengths();
    EXPECT_EQ(lengths[0], 0xFFFFFFFFu);
    EXPECT_GT(lengths[1], 3u << 30);
    EXPECT_LT(lengths[1], 0xFFFFFFFFu);
}

// Without a level end the blocks of a batch wait; flushing writes them all the same.
TEST(BlockStream, FlushWritesBlocksHandedOverEarlier) {
    std::vector<std::vector<std::uint8_t>> streams;
    for (const int threads : {1, 3}) {
        CQVTMemoryStream stream(0);
        CBlockEncoder encoder(stream, 1, true, threads);
        encoder.SetUseRegionBlocks(true);
        for (std::int32_t tile = 0; tile < 2; ++tile) {
            encoder.AddValue(3 - 6 * tile); // each block holds 3 words of code
            encoder.FinishTile();
        }
        encoder.FlushLast();
        streams.push_back(BytesOf(stream));
    }
    EXPECT_EQ(streams[0].size(), 2u * (4 + 3 * 4));
    EXPECT_EQ(streams[1], streams[0]);
}

TEST(BlockStream, SkippedTilesLeaveTheOthersIntact) {
    std::mt19937 rng(5);
    const auto levels = RandomLevels(rng, 3, 9);
    const auto everyOther = [](std::size_t l, std::size_t t) { return (l + t) % 2 == 0; };
    const auto allButLast = [&](std::size_t l, std::size_t t) { return t + 1 < levels[l].size(); };
    const auto allOfLevel1 = [](std::size_t l, std::size_t) { return l == 1; };
    const Encoded encoded = Encode(levels, {true, 1});
    for (const int threads : {1, 2, 4}) {
        const Options options{true, threads};
        for (const auto& skip : std::vector<std::function<bool(std::size_t, std::size_t)>>{
                 everyOther, allButLast, allOfLevel1}) {
            const Decoded decoded = Decode(encoded.bytes, levels, levels.size(), options, skip);
            EXPECT_EQ(decoded.error, 0u);
            EXPECT_EQ(decoded.parts, Expected(levels, skip)) << threads;
        }
    }
}

TEST(BlockStream, RestartAfterResetReadsFromTheNewPosition) {
    std::mt19937 rng(6);
    const auto levels = RandomLevels(rng, 2, 6);
    for (const int threads : {1, 3}) {
        const Options options{true, threads};
        const Encoded encoded = Encode(levels, options);
        const auto stream = StreamOver(encoded.bytes, 8);
        CBlockDecoder decoder(*stream, true, threads);
        decoder.SetUseRegionBlocks(true);
        const auto readTile = [&](const Tile& tile) {
            std::vector<std::vector<std::int32_t>> parts;
            decoder.NextBlock();
            for (const Part& part : tile) {
                std::vector<std::int32_t> samples(part.samples.size());
                decoder.PlaceValues(samples.data(), part.width, part.height, 0, part.width, 0);
                parts.push_back(samples);
            }
            return parts;
        };
        readTile(levels[0][0]);
        readTile(levels[0][1]);
        stream->SetPos(PosFromStart, 8);
        decoder.ResetBatch();
        for (const Tile& tile : levels[0]) {
            std::vector<std::vector<std::int32_t>> expected;
            for (const Part& part : tile)
                expected.push_back(part.samples);
            EXPECT_EQ(readTile(tile), expected);
        }
    }
}

TEST(BlockStream, ExhaustedStreamNeverYieldsStaleValues) {
    CQVTMemoryStream stream(0);
    CBlockEncoder encoder(stream, 0, false);
    for (std::int32_t v = 1; v <= 10; ++v)
        encoder.AddValue(v);
    encoder.FlushLast();
    for (const int threads : {1, 2}) {
        stream.SetPos(PosFromStart, 0);
        CBlockDecoder decoder(stream, true, threads);
        std::int32_t out[kBlockValues];
        decoder.PlaceValues(out, kBlockValues, 1, 0, kBlockValues, 0);
        EXPECT_EQ(out[9], 10);
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(ErrorOf([&] { decoder.TakeValue(0); }), ErrorShortRead);
    }
    CQVTMemoryStream empty(0);
    CBlockDecoder decoder(empty, false);
    EXPECT_THROW(decoder.NextBlock(), IOException);
}

TEST(BlockStream, IncompressibleBlockFailsCleanly) {
    std::mt19937 rng(7);
    std::vector<std::int32_t> noise(kBlockValues);
    for (auto& v : noise)
        v = static_cast<std::int32_t>(rng());
    for (const int threads : {1, 2}) {
        CQVTMemoryStream stream(0);
        CBlockEncoder encoder(stream, 1, true, threads);
        encoder.AddSamples(noise.data(), kBlockValues, 1, 0, kBlockValues);
        EXPECT_EQ(ErrorOf([&] { encoder.FlushLast(); }), ErrorWrongFormat);
    }
}

// Cuts and byte flips of valid streams: the decode ends in a clean error or in values, and the
// outcome, including every value delivered before an error, is the same for every batch size.
TEST(BlockStream, DamagedStreamsGiveTheSameOutcomeAtEveryBatchSize) {
    std::mt19937 rng(8);
    for (const bool regionBlocks : {false, true}) {
        const auto levels = RandomLevels(rng, 2, 4);
        const auto skip = [&](std::size_t l, std::size_t t) {
            return regionBlocks && (l + t) % 3 == 1;
        };
        const Encoded encoded = Encode(levels, {regionBlocks, 1});
        const std::size_t head = levels.size() * 4;
        for (int round = 0; round < 60; ++round) {
            auto bytes = encoded.bytes;
            if (round % 3 == 0) {
                bytes.resize(head + rng() % (bytes.size() - head));
            } else {
                const std::size_t flips = 1 + rng() % 3;
                for (std::size_t f = 0; f < flips; ++f)
                    bytes[head + rng() % (bytes.size() - head)] ^=
                        static_cast<std::uint8_t>(1 + rng() % 255);
            }
            const Decoded one = Decode(bytes, levels, levels.size(), {regionBlocks, 1}, skip);
            EXPECT_TRUE(one.error == 0 || one.error == ErrorShortRead ||
                        one.error == ErrorWrongFormat)
                << std::hex << one.error;
            for (const int threads : {2, 3}) {
                const Decoded many =
                    Decode(bytes, levels, levels.size(), {regionBlocks, threads}, skip);
                ASSERT_EQ(many.error, one.error) << "round " << round << " threads " << threads;
                ASSERT_EQ(many.parts, one.parts) << "round " << round << " threads " << threads;
            }
        }
    }
}

// Blocks decoded in another order than stored still fail as a decoder taking them in order
// fails: with the error of the first block in the stream that cannot be read or decoded.
TEST(StoredBlocks, TheFirstFailingBlockInTheStreamDecidesWhicheverIsNeededFirst) {
    CQVTMemoryStream coded(0);
    {
        CBlockEncoder encoder(coded, 1, false);
        for (std::uint32_t i = 0; i < 3 * kBlockValues; ++i)
            encoder.AddValue(static_cast<std::int32_t>(i % 97) - 48);
        encoder.FlushLast();
    }
    const std::vector<std::uint8_t> bytes = BytesOf(coded);
    // Each stored block: a 16-bit word count and the words.
    std::vector<std::size_t> starts{0};
    for (int b = 0; b < 3; ++b)
        starts.push_back(starts.back() + 2 +
                         4 * (bytes[starts.back()] | bytes[starts.back() + 1] << 8));
    std::vector<std::int32_t> out(kBlockValues);
    const auto placeBlock = [&](CStoredBlocks& blocks, std::uint64_t b) {
        blocks.Place(0, b * kBlockValues, kBlockValues, 1, out.data(), kBlockValues, 0);
    };
    auto intact = StreamOver(bytes, 0);
    CBlockDecoder intactDecoder(*intact, false);
    CStoredBlocks whole(intactDecoder, 3 * kBlockValues, 1, {0}, bytes.size());
    for (const std::uint64_t b : {2u, 0u, 1u}) {
        placeBlock(whole, b);
        EXPECT_EQ(out[5], static_cast<std::int32_t>((b * kBlockValues + 5) % 97) - 48) << b;
    }
    // Block 1 holds no code word, which no block decodes from; the stream ends inside block 2.
    std::vector<std::uint8_t> damaged(bytes.begin(), bytes.begin() + starts[1]);
    damaged.insert(damaged.end(), {0, 0});
    damaged.insert(damaged.end(), bytes.begin() + starts[2], bytes.begin() + starts[3] - 4);
    auto stream = StreamOver(damaged, 0);
    CBlockDecoder decoder(*stream, false);
    CStoredBlocks blocks(decoder, 3 * kBlockValues, 1, {0}, damaged.size());
    EXPECT_EQ(ErrorOf([&] { placeBlock(blocks, 2); }), ErrorWrongFormat);
    placeBlock(blocks, 0);
    EXPECT_EQ(ErrorOf([&] { placeBlock(blocks, 1); }), ErrorWrongFormat);
}

// A level's bands placed on several threads, each through a reader of its own over a stretch of
// the values, land where one reader puts them, and fail as one reader fails: with the error of
// the first block in the stream that fails, whichever stretch meets it.
TEST(StoredBands, StretchesOnThreadsPlaceAndFailAsOneReaderDoes) {
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes{
        {1000, 203}, {161, 45}, {7, 9}};
    std::uint64_t count = 0;
    for (const auto& [width, height] : sizes)
        count += std::uint64_t{width} * height;
    CQVTMemoryStream coded(0);
    {
        std::mt19937 rng(5);
        CBlockEncoder encoder(coded, 1, false);
        for (std::uint64_t i = 0; i < count; ++i)
            encoder.AddValue(static_cast<std::int32_t>(rng() % 201) - 100);
        encoder.FlushLast();
    }
    const std::vector<std::uint8_t> bytes = BytesOf(coded);
    struct Outcome {
        std::vector<std::vector<std::int32_t>> bands;
        std::uint32_t error = 0;
        bool operator==(const Outcome&) const = default;
    };
    const auto place = [&](const std::vector<std::uint8_t>& file, std::size_t threads) {
        auto stream = StreamOver(file, 0);
        CBlockDecoder decoder(*stream, false);
        std::vector<std::unique_ptr<CStoredBlocks>> readers;
        readers.push_back(std::make_unique<CStoredBlocks>(
            decoder, count, 1, std::vector<std::uint64_t>{0}, file.size()));
        while (readers.size() < threads)
            readers.push_back(readers.front()->Share());
        Outcome outcome;
        std::vector<StoredBand> bands;
        std::uint64_t first = 0;
        for (const auto& [width, height] : sizes) {
            // Rows a little wider than the band, so that a row put at another's place shows.
            auto& samples = outcome.bands.emplace_back(std::size_t{width + 3} * height, -999);
            bands.push_back({first, width, height, samples.data(), width + 3, 1});
            first += std::uint64_t{width} * height;
        }
        outcome.error = ErrorOf([&] { PlaceStoredBands(bands, readers); });
        if (outcome.error != 0) outcome.bands.clear();
        return outcome;
    };
    const Outcome one = place(bytes, 1);
    ASSERT_EQ(one.error, 0u);
    EXPECT_EQ(place(bytes, 2), one);
    EXPECT_EQ(place(bytes, 3), one);
    std::mt19937 rng(6);
    for (int trial = 0; trial < 60; ++trial) {
        std::vector<std::uint8_t> damaged = bytes;
        if (trial % 3 == 0) damaged.resize(rng() % bytes.size());
        for (int flip = 0; flip < 1 + trial % 4; ++flip)
            if (!damaged.empty())
                damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        const Outcome alone = place(damaged, 1);
        EXPECT_EQ(place(damaged, 2), alone) << "trial " << trial;
        EXPECT_EQ(place(damaged, 3), alone) << "trial " << trial;
    }
}
