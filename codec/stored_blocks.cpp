#include "stored_blocks.h"

#include "band_order.h"
#include "qvt_error.h"
#include "scaled_copy.h"

#include <algorithm>
#include <limits>
#include <new>

namespace {

constexpr std::uint64_t kNoBlock = std::numeric_limits<std::uint64_t>::max();

} // namespace

CStoredBlocks::CStoredBlocks(CBlockDecoder& decoder, std::uint64_t count, int slots,
                             const std::vector<std::uint64_t>& starts, std::uint64_t codeBytes) {
    CBlockDecoder::Waiting waiting = decoder.TakeWaiting();
    m_waiting = std::move(waiting.values);
    m_readError = waiting.error;
    try {
        m_blocks = CoderBlocks<CDecodeBlock>(slots, true);
    } catch (const std::bad_alloc&) {
        ThrowCodecError(ErrorOutOfMemory);
    }
    m_slotBlock.assign(static_cast<std::size_t>(slots), kNoBlock);
    const std::uint64_t waitingCount = m_waiting.size();
    const std::uint64_t blocks =
        count > waitingCount ? (count - waitingCount + kBlockValues - 1) / kBlockValues : 0;
    // The stream cannot hold more words than its bytes, whatever the header says.
    const std::uint64_t room =
        std::min(codeBytes / 4, std::min(blocks, codeBytes) * std::uint64_t{kBlockWords});
    m_code = TryAllocateHeld<std::uint32_t>(room);
    if (!m_code) ThrowCodecError(ErrorOutOfMemory);
    std::uint64_t used = 0;
    // A block that failed to decode, or bytes that could not be read, end what the stream gives.
    for (std::uint64_t b = 0; b < blocks && m_readError == 0; ++b) {
        m_starts.push_back(used);
        std::uint16_t header = 0;
        try {
            used += decoder.ReadBlockCode(header, m_code.get() + used, room - used);
        } catch (const IOException& error) {
            m_starts.pop_back();
            m_readError = error.error;
        }
    }
    m_starts.push_back(used);
    m_decoded.assign(m_starts.size() - 1, false);
    for (const std::uint64_t start : starts)
        if (start > waitingCount && (start - waitingCount) % kBlockValues != 0)
            m_shared.emplace((start - waitingCount) / kBlockValues, std::vector<std::int32_t>());
}

void CStoredBlocks::Decode(CDecodeBlock& into, std::uint64_t block) {
    const std::uint64_t from = m_starts[block];
    const auto words = static_cast<std::uint32_t>(m_starts[block + 1] - from);
    std::copy_n(m_code.get() + from, words, into.codeWords.begin());
    into.wordCount = words;
    into.header = static_cast<std::uint16_t>(kBlockValues);
    into.DecodeBitPlanes();
    m_decoded[block] = true;
}

void CStoredBlocks::Fail(std::uint64_t block, std::uint32_t error) {
    // The blocks before the failing one that no range has needed yet must decode first.
    const std::uint64_t read = m_decoded.size();
    if (block >= read) {
        block = read;
        error = m_readError != 0 ? m_readError : ErrorShortRead;
    }
    for (std::uint64_t b = 0; b < block; ++b) {
        if (m_decoded[b]) continue;
        try {
            Decode(*m_blocks[0], b);
        } catch (const IOException& earlier) {
            error = earlier.error;
            break;
        }
    }
    std::fill(m_slotBlock.begin(), m_slotBlock.end(), kNoBlock);
    ThrowCodecError(error);
}

const std::int32_t* CStoredBlocks::BlockValues(int slot, std::uint64_t block) {
    std::uint64_t& held = m_slotBlock[static_cast<std::size_t>(slot)];
    CDecodeBlock& into = *m_blocks[static_cast<std::size_t>(slot)];
    if (held == block) return into.values.data();
    const auto shared = m_shared.find(block);
    if (shared != m_shared.end() && !shared->second.empty()) return shared->second.data();
    if (block >= m_decoded.size()) Fail(block, m_readError);
    held = kNoBlock;
    try {
        Decode(into, block);
    } catch (const IOException& error) {
        Fail(block, error.error);
    }
    held = block;
    if (shared != m_shared.end())
        shared->second.assign(into.values.begin(), into.values.begin() + kBlockValues);
    return into.values.data();
}

const std::int32_t* CStoredBlocks::ValuesAt(int slot, std::uint64_t v, std::uint32_t& run) {
    if (v < m_waiting.size()) {
        run =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(m_waiting.size() - v, kBlockValues));
        return m_waiting.data() + v;
    }
    const std::uint64_t offset = v - m_waiting.size();
    const auto inBlock = static_cast<std::uint32_t>(offset % kBlockValues);
    run = kBlockValues - inBlock;
    return BlockValues(slot, offset / kBlockValues) + inBlock;
}

void CStoredBlocks::Place(int slot, std::uint64_t first, std::uint32_t width, std::uint32_t rows,
                          std::int32_t* to, std::uint64_t pitch, int shift) {
    std::uint64_t v = first;
    ForEachPieceIn8x8Order(
        width, rows, 0, pitch,
        [&](std::uint64_t index) {
            std::uint32_t run = 0;
            const std::int32_t* values = ValuesAt(slot, v, run);
            if (run < 64) return false;
            PlaceSquare(to + index, pitch, values, shift);
            v += 64;
            return true;
        },
        [&](std::uint64_t index, std::uint32_t count) {
            while (count > 0) {
                std::uint32_t run = 0;
                const std::int32_t* values = ValuesAt(slot, v, run);
                const std::uint32_t take = std::min(count, run);
                CopyScaled(to + index, values, take, shift);
                index += take;
                v += take;
                count -= take;
            }
        });
}
