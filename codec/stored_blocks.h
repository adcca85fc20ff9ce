// The code blocks of the levels still to come, read ahead whole and decoded as ranges of values
// ask for them, in any order: a level's bands can then be taken a strip of rows at a time, or a
// stretch of them on each thread, though the stream holds them one after the other.
#pragma once

#include "block_decoder.h"
#include "coder_blocks.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class CStoredBlocks {
public:
    // Values 0 … count - 1 of the levels to come: first those the decoder holds decoded and not
    // yet taken, then kBlockValues a block from the blocks that follow in its stream, which are
    // read now.
    // `codeBytes` bounds the bytes left in the stream. `slots` ranges are placed piece by
    // piece, each keeping its last block decoded between pieces; `starts` lists where the ranges
    // begin, so that a block shared by two of them is decoded once. Errors wait until a value
    // needs them (see Place).
    CStoredBlocks(CBlockDecoder& decoder, std::uint64_t count, int slots,
                  const std::vector<std::uint64_t>& starts, std::uint64_t codeBytes);
    // Another reader of the same blocks, with slots of its own, for another thread: the blocks
    // are read once and shared.
    std::unique_ptr<CStoredBlocks> Share() const;

    // The code bytes of the blocks read that hold values first … first + count - 1: a measure
    // of the work of decoding them.
    std::uint64_t CodeBytes(std::uint64_t first, std::uint64_t count) const;

    // Places values first … first + width × rows - 1 into the width × rows window at `to` (row
    // pitch `pitch`) in 8 × 8 order, multiplied by 2^max(0, shift), with the blocks of `slot`.
    // A value whose block cannot be read or decoded throws the error a decoder taking the
    // blocks one after the other would have met first: that of the first block in the stream
    // that fails.
    void Place(int slot, std::uint64_t first, std::uint32_t width, std::uint32_t rows,
               std::int32_t* to, std::uint64_t pitch, int shift);

private:
    struct Code {
        std::vector<std::int32_t> waiting;
        // The blocks as stored; block b's words[b] code words begin at byte starts[b]. The
        // error ended the blocks before block starts.size() (0: every block was read).
        std::unique_ptr<std::uint8_t[], FreeDeleter> bytes;
        std::vector<std::uint64_t> starts;
        std::vector<std::uint16_t> words;
        std::uint32_t readError = 0;
    };

    static std::shared_ptr<const Code> ReadCode(CBlockDecoder& decoder, std::uint64_t count,
                                                std::uint64_t codeBytes);
    CStoredBlocks(std::shared_ptr<const Code> code, std::size_t slots);

    // Value v and how many follow it in the same block (or in the waiting values).
    const std::int32_t* ValuesAt(int slot, std::uint64_t v, std::uint32_t& run);
    const std::int32_t* BlockValues(int slot, std::uint64_t block);
    void Decode(CDecodeBlock& into, std::uint64_t block);
    [[noreturn]] void Fail(std::uint64_t block, std::uint32_t error);

    std::shared_ptr<const Code> m_code;
    // The blocks this reader decoded, which so cannot fail.
    std::vector<bool> m_decoded;
    // One block per slot and the block last decoded there; slot 0's also checks the blocks
    // before a failing one.
    CoderBlocks<CDecodeBlock> m_blocks;
    std::vector<std::uint64_t> m_slotBlock;
    // The values of the blocks that two ranges share; empty until decoded.
    std::map<std::uint64_t, std::vector<std::int32_t>> m_shared;
};
