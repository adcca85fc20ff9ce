// One code block of the decoder: the code words as read and the values they decode to.
#pragma once

#include "code_bits.h"

#include <array>
#include <cstdint>

class CDecodeBlock {
public:
    // Rebuilds values[0 .. n) (n = header bits 0-14) from codeWords[0 .. wordCount) and sets
    // valuePos to 0. Every field is checked against the word count and every count against n,
    // so hostile code never reads or writes outside the block: a violation throws
    // IOException(ErrorWrongFormat).
    void DecodeBitPlanes();

    std::uint32_t ValueCount() const { return header & kValueCountMask; }
    bool EndsTile() const { return (header & kTileEndBit) != 0; }

    std::uint16_t header = 0;
    std::array<std::int32_t, kBlockValues> values{};
    // One word more than the largest block, so a field can always be loaded as a word pair.
    std::array<std::uint32_t, kBlockWords + 1> codeWords{};
    std::uint32_t valuePos = 0;
    // Number of code words read for this block.
    std::uint32_t wordCount = 0;
    // One flag per value plus the sentinel, padded so the search for the next set flag can
    // load 8 flags at a time.
    std::array<bool, kBlockValues + 8> sigFlag{};

private:
    std::uint32_t NextSignificant(std::uint32_t i, std::uint32_t bound) const;
    template <typename SignSource>
    std::uint32_t DecodePlainSignificance(std::uint32_t mask, std::uint32_t n, std::uint64_t sigPos,
                                          std::uint64_t refPos, SignSource signs);
    std::uint32_t DecodeRunLengthSignificance(std::uint32_t mask, std::uint32_t n,
                                              std::uint64_t codePos, std::uint64_t codeEnd,
                                              std::uint64_t refPos);
    std::uint64_t Refine(std::uint32_t& i, std::uint32_t n, std::uint32_t mask,
                         std::uint64_t refPos);
    void MakeSignificant(std::uint32_t i, std::uint32_t mask, bool negative);
};
