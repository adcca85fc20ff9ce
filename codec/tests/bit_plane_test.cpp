// Bit-plane coding of single blocks: known code words pin the layout to the bit, random blocks of
// every shape decode to exactly their input, stale buffer contents never reach the code, an
// incompressible 32-plane block is refused instead of overflowing, and any code, valid or
// damaged, decodes as a plain transcription of the rules does.
#include "bit_plane_decoder.h"
#include "bit_plane_encoder.h"
#include "bit_plane_reference.h"
#include "error_of.h"
#include "qvt_error.h"

#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace {

std::vector<std::uint32_t> Encode(CEncodeBlock& block, const std::vector<std::int32_t>& values,
                                  std::uint16_t header, bool favorSpeed = false) {
    block.valuePos = 0;
    for (const std::int32_t v : values)
        block.Append(v);
    block.header = header;
    block.EncodeBitPlanes(favorSpeed);
    return {block.codeWords.begin(), block.codeWords.begin() + WordsForBits(block.codePos)};
}

std::vector<std::int32_t> Decode(CDecodeBlock& block, const std::vector<std::uint32_t>& code,
                                 std::uint16_t header) {
    block.header = header;
    block.wordCount = static_cast<std::uint32_t>(code.size());
    std::copy(code.begin(), code.end(), block.codeWords.begin());
    block.DecodeBitPlanes();
    const std::uint32_t n = header & kValueCountMask;
    return {block.values.begin(), block.values.begin() + n};
}

// Values whose magnitudes are spread over `bits` bits, nonzero with probability `density`.
std::vector<std::int32_t> RandomValues(std::mt19937& rng, std::uint32_t n, int bits,
                                       double density) {
    std::bernoulli_distribution nonzero(density);
    std::vector<std::int32_t> values(n);
    for (auto& v : values) {
        if (!nonzero(rng)) continue;
        const std::uint32_t magnitude =
            bits >= 32 ? rng() : rng() & ((std::uint32_t{1} << bits) - 1);
        v = static_cast<std::int32_t>(rng() & 1 ? 0u - magnitude : magnitude);
    }
    return values;
}

struct Blocks {
    std::unique_ptr<CEncodeBlock> encoder = std::make_unique<CEncodeBlock>();
    std::unique_ptr<CDecodeBlock> decoder = std::make_unique<CDecodeBlock>();
};

} // namespace

TEST(BitPlaneCode, KnownCodeWords) {
    Blocks blocks;
    const std::vector<std::uint32_t> zeros = {0x000006E1, 0x00008011};
    EXPECT_EQ(Encode(*blocks.encoder, std::vector<std::int32_t>(16384, 0), 16384), zeros);
    EXPECT_EQ(Decode(*blocks.decoder, zeros, 16384), std::vector<std::int32_t>(16384, 0));

    const std::vector<std::uint32_t> three = {0x24200262, 0x00000000, 0x00000001};
    EXPECT_EQ(Encode(*blocks.encoder, {3}, 1), three);
    EXPECT_EQ(Decode(*blocks.decoder, three, 1), std::vector<std::int32_t>{3});

    const std::vector<std::uint32_t> emptyTileEnd = {0x00000001, 0x00000000};
    EXPECT_EQ(Encode(*blocks.encoder, {}, kTileEndBit), emptyTileEnd);
    EXPECT_TRUE(Decode(*blocks.decoder, emptyTileEnd, kTileEndBit).empty());
}

// 8 zeros give one 0 bit (k becomes 4); 3 zeros and a value then give 1, the run 3 in 4 bits
// (k becomes 3), the sign; the terminator closes with 1, run 0 in 3 bits, 1.
TEST(BitPlaneCode, RunLengthStateFollowsTheRuns) {
    Blocks blocks;
    std::vector<std::int32_t> values(12, 0);
    values[11] = -1;
    const auto code = Encode(*blocks.encoder, values, 12);
    const std::uint32_t codeLen = (code[0] >> 6) & 0x7FFF;
    EXPECT_EQ(code[0] & 0x3F, 0x21u); // one plane, form A
    EXPECT_EQ(codeLen, 1u + 1 + 4 + 1 + 1 + 3 + 1);
    // From bit 21: 0, then 1, 3 in 4 bits, 1 (negative), then the terminator 1, 0 in 3 bits, 1.
    EXPECT_EQ(code[0] >> 21, 0u | 1u << 1 | 3u << 2 | 1u << 6 | 1u << 7);
    EXPECT_EQ(code[1] & 1, 1u);
    EXPECT_EQ(Decode(*blocks.decoder, code, 12), values);
}

// Worked by hand. Plane 1: 1 (run 1 in 3 bits) +, 1 (run 1 in 2 bits) -, a full run of 2, the
// terminator. Plane 0: the run of 2 crosses the significant value 1 and ends exactly where the
// gap before value 3 ends, so value 4 is the new significant one; refinement bits 0, 0 follow.
TEST(BitPlaneCode, RunsCarryAcrossSignificantValues) {
    Blocks blocks;
    const std::vector<std::int32_t> values = {0, 2, 0, -2, 1, 0, 0, 0};
    const std::vector<std::uint32_t> code = {0xAC6003A2, 0x00000006, 0x01E50013, 0x00000000};
    EXPECT_EQ(Encode(*blocks.encoder, values, 8), code);
    EXPECT_EQ(Decode(*blocks.decoder, code, 8), values);
}

// Worked by hand: 64 values alternating -1 and 0 cost 132 bits of run-length code, more than
// plain bits (64 + 32 + 30), so form B stores them. Its 32 negative signs become the run-length
// code 1 1 1 1 1 (runs of 1, 2, 4, 8, 16), then 0 and the last run 1 in 5 bits: 11 bits.
TEST(BitPlaneCode, DensePlaneUsesPlainSignificanceWithSignRuns) {
    Blocks blocks;
    std::vector<std::int32_t> values(64, 0);
    for (std::size_t i = 0; i < values.size(); i += 2)
        values[i] = -1;
    const std::vector<std::uint32_t> coded = {0x02E01001, 0x00000BE0, 0x55555555, 0x55555555};
    EXPECT_EQ(Encode(*blocks.encoder, values, 64), coded);
    EXPECT_EQ(Decode(*blocks.decoder, coded, 64), values);
    const std::vector<std::uint32_t> plain = {0x08001001, 0x00000000, 0xFFFFFFFF, 0x55555555,
                                              0x55555555};
    EXPECT_EQ(Encode(*blocks.encoder, values, 64, true), plain);
    EXPECT_EQ(Decode(*blocks.decoder, plain, 64), values);
}

TEST(BitPlaneCode, RandomBlocksDecodeToTheirInput) {
    std::mt19937 rng(20261206);
    Blocks blocks;
    const std::uint32_t sizes[] = {1, 2, 7, 31, 32, 33, 100, 1000, 4097, 16384};
    const double densities[] = {0.0, 0.002, 0.1, 0.5, 1.0};
    const int widths[] = {1, 2, 5, 16, 31, 32};
    for (const std::uint32_t n : sizes)
        for (const double density : densities)
            for (const int bits : widths) {
                if (n == 16384 && bits >= 31 && density > 0.2) continue; // cannot fit, see below
                const auto values = RandomValues(rng, n, bits, density);
                for (const bool favorSpeed : {false, true}) {
                    const auto header = static_cast<std::uint16_t>(n | (n & 1 ? kTileEndBit : 0));
                    const auto code = Encode(*blocks.encoder, values, header, favorSpeed);
                    ASSERT_EQ(Decode(*blocks.decoder, code, header), values)
                        << "n " << n << " density " << density << " bits " << bits;
                }
            }
}

TEST(BitPlaneCode, ExtremeMagnitudesSurvive) {
    Blocks blocks;
    std::vector<std::int32_t> values = {INT32_MIN, INT32_MAX, -INT32_MAX, 0, 1, -1, INT32_MIN};
    const auto code = Encode(*blocks.encoder, values, 7);
    EXPECT_EQ(code[0] & 31, 0u); // 32 planes are stored as 0
    EXPECT_EQ(Decode(*blocks.decoder, code, 7), values);
}

// Long runs of negative values make the run-length coded signs pay off in form B.
TEST(BitPlaneCode, SignRunsAreCodedUnlessSpeedIsFavoured) {
    Blocks blocks;
    std::vector<std::int32_t> values(16384, -1);
    for (std::size_t i = 0; i < values.size(); i += 1000)
        values[i] = 1;
    const auto coded = Encode(*blocks.encoder, values, 16384, false);
    const auto plain = Encode(*blocks.encoder, values, 16384, true);
    EXPECT_LT(coded.size(), plain.size());
    EXPECT_EQ(Decode(*blocks.decoder, coded, 16384), values);
    EXPECT_EQ(Decode(*blocks.decoder, plain, 16384), values);
}

// Runs of negative signs of every length, short ones decoded several at a time and long ones
// across words, come back in order.
TEST(BitPlaneCode, SignRunsOfEveryLengthDecodeInOrder) {
    std::mt19937 rng(7);
    Blocks blocks;
    for (const std::uint32_t longest : {12u, 40u, 3000u}) {
        std::vector<std::int32_t> values(16384, 1);
        for (std::size_t i = 0; i < values.size(); ++i)
            for (std::size_t run = 1 + rng() % longest; run > 0 && i < values.size(); --run)
                values[i++] = -1;
        const auto code = Encode(*blocks.encoder, values, 16384);
        EXPECT_LT(code.size(), Encode(*blocks.encoder, values, 16384, true).size()) << longest;
        EXPECT_EQ(Decode(*blocks.decoder, code, 16384), values) << longest;
    }
}

// The same input gives the same words whether the block was fresh or had coded other data, so
// stored bytes depend on nothing but the values.
TEST(BitPlaneCode, CodeNeverCarriesStaleBits) {
    std::mt19937 rng(99);
    Blocks fresh;
    Blocks used;
    for (int round = 0; round < 40; ++round) {
        const auto noise = RandomValues(rng, 16384, 12, 1.0);
        Encode(*used.encoder, noise, 16384);
        const std::uint32_t n = 1 + rng() % 3000;
        const auto values = RandomValues(rng, n, 1 + static_cast<int>(rng() % 20), 0.3);
        const auto favorSpeed = round % 2 == 0;
        const auto header = static_cast<std::uint16_t>(n);
        fresh.encoder = std::make_unique<CEncodeBlock>();
        ASSERT_EQ(Encode(*used.encoder, values, header, favorSpeed),
                  Encode(*fresh.encoder, values, header, favorSpeed));
    }
}

TEST(BitPlaneCode, IncompressibleBlockIsRefusedNotOverflowed) {
    Blocks blocks;
    std::mt19937 rng(3);
    const auto noise = RandomValues(rng, 16384, 32, 1.0);
    EXPECT_EQ(ErrorOf([&] { Encode(*blocks.encoder, noise, 16384); }), ErrorWrongFormat);
    // The block stays usable afterwards.
    const std::vector<std::uint32_t> three = {0x24200262, 0x00000000, 0x00000001};
    EXPECT_EQ(Encode(*blocks.encoder, {3}, 1), three);
}

TEST(BitPlaneCode, CorruptCodeIsRejectedCleanly) {
    Blocks blocks;
    EXPECT_EQ(ErrorOf([&] { Decode(*blocks.decoder, {}, 1); }), ErrorWrongFormat);
    EXPECT_EQ(ErrorOf([&] { Decode(*blocks.decoder, {0x24200262, 0}, 1); }), ErrorWrongFormat);
    EXPECT_EQ(ErrorOf([&] { Decode(*blocks.decoder, {0x24200262}, 0x7FFF); }), ErrorWrongFormat);
    blocks.decoder->wordCount = kBlockWords + 1;
    EXPECT_EQ(ErrorOf([&] { blocks.decoder->DecodeBitPlanes(); }), ErrorWrongFormat);
    // A single plane whose stored lengths reach past the block's words: the run-length form
    // with a code of 32767 bits in a 1-word block, the plain form with 16384 significance bits
    // in a 2-word block. Both would be read from the words behind the block's own.
    const std::uint32_t onePlane = 1;
    const std::uint32_t runLengthForm = 1u << 5;
    EXPECT_EQ(
        ErrorOf([&] { Decode(*blocks.decoder, {onePlane | runLengthForm | 0x7FFFu << 6}, 1); }),
        ErrorWrongFormat);
    EXPECT_EQ(ErrorOf([&] {
                  Decode(*blocks.decoder, {onePlane | 16384u << 6, 0}, 16384);
              }),
              ErrorWrongFormat);

    // Valid, flipped, cut and random codes decode as the plain rules say, or are refused where
    // they refuse; the sanitizers watch for anything else.
    std::mt19937 rng(11);
    int rejected = 0;
    for (int round = 0; round < 600; ++round) {
        const std::uint32_t n = round % 50 == 0 ? 16384 : 1 + rng() % 2000;
        const auto values =
            RandomValues(rng, n, 1 + static_cast<int>(rng() % 32), round % 5 == 0 ? 0.9 : 0.2);
        std::vector<std::uint32_t> code;
        try {
            code = Encode(*blocks.encoder, values, static_cast<std::uint16_t>(n), round % 3 == 0);
        } catch (const IOException&) {
            continue; // incompressible: refused by the encoder, tested above
        }
        if (round % 4 == 0) {
            code.resize(rng() % code.size());
        } else if (round % 4 == 1) {
            for (int flips = 0; flips < 3; ++flips) {
                const std::size_t bit = rng() % (code.size() * 32);
                code[bit / 32] ^= 1u << (bit % 32);
            }
        } else if (round % 4 == 2) {
            for (std::size_t w = 1 + rng() % code.size(); w < code.size(); ++w)
                code[w] = rng() & rng();
        }
        const auto header = static_cast<std::uint16_t>(n);
        std::vector<std::int32_t> expected;
        const std::uint32_t expectedError =
            ErrorOf([&] { expected = ReferenceDecodeBlock(code, header); });
        std::vector<std::int32_t> decoded;
        ASSERT_EQ(ErrorOf([&] { decoded = Decode(*blocks.decoder, code, header); }), expectedError)
            << "round " << round;
        ASSERT_EQ(decoded, expected) << "round " << round;
        rejected += expectedError != 0;
    }
    EXPECT_GT(rejected, 100);
}
