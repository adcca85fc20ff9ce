#include "stored_blocks.h"

#include "band_order.h"
#include "qvt_error.h"
#include "scaled_copy.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::uint64_t kNoBlock = std::numeric_limits<std::uint64_t>::max();

} // namespace

std::shared_ptr<const CStoredBlocks::Code>
CStoredBlocks::ReadCode(CBlockDecoder& decoder, std::uint64_t count, std::uint64_t codeBytes) {
    auto code = std::make_shared<Code>();
    CBlockDecoder::Waiting waiting = decoder.TakeWaiting();
    code->waiting = std::move(waiting.values);
    code->readError = waiting.error;
    if (code->readError != 0) return code;
    const std::uint64_t waitingCount = code->waiting.size();
    const std::uint64_t blocks =
        count > waitingCount ? (count - waitingCount + kBlockValues - 1) / kBlockValues : 0;
    // The stream cannot hold more bytes than it has, whatever the header says.
    constexpr std::uint64_t kMostBlockBytes = 2 + 4 * std::uint64_t{kBlockWords};
    const std::uint64_t room = std::min(codeBytes, std::min(blocks, codeBytes) * kMostBlockBytes);
    code->bytes = TryAllocateHeld<std::uint8_t>(room);
    if (!code->bytes) ThrowCodecError(ErrorOutOfMemory);
    // One read takes them all: block by block, a read would cost more than the copy.
    const CBlockDecoder::StoredBytes read = decoder.ReadStoredBytes(code->bytes.get(), room);
    const std::uint8_t* bytes = code->bytes.get();
    std::uint64_t at = 0;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        // A block too large to code, or cut off, ends what the stream gives.
        const std::uint64_t left = read.count - at;
        const std::uint32_t words = left >= 2 ? bytes[at] | std::uint32_t{bytes[at + 1]} << 8 : 0;
        if (left >= 2 && words > kBlockWords) {
            code->readError = ErrorWrongFormat;
            break;
        }
        if (left < 2 || left - 2 < std::uint64_t{words} * 4) {
            code->readError = read.error != 0 ? read.error : ErrorShortRead;
            break;
        }
        code->starts.push_back(at + 2);
        code->words.push_back(static_cast<std::uint16_t>(words));
        at += 2 + std::uint64_t{words} * 4;
    }
    return code;
}

CStoredBlocks::CStoredBlocks(std::shared_ptr<const Code> code, std::size_t slots)
    : m_code(std::move(code)) {
    try {
        m_blocks = CoderBlocks<CDecodeBlock>(static_cast<int>(slots));
    } catch (const std::bad_alloc&) {
        ThrowCodecError(ErrorOutOfMemory);
    }
    m_slotBlock.assign(slots, kNoBlock);
    m_decoded.assign(m_code->starts.size(), false);
}

CStoredBlocks::CStoredBlocks(CBlockDecoder& decoder, std::uint64_t count, int slots,
                             const std::vector<std::uint64_t>& starts, std::uint64_t codeBytes)
    : CStoredBlocks(ReadCode(decoder, count, codeBytes), static_cast<std::size_t>(slots)) {
    const std::uint64_t waitingCount = m_code->waiting.size();
    for (const std::uint64_t start : starts)
        if (start > waitingCount && (start - waitingCount) % kBlockValues != 0)
            m_shared.emplace((start - waitingCount) / kBlockValues, std::vector<std::int32_t>());
}

std::unique_ptr<CStoredBlocks> CStoredBlocks::Share() const {
    std::unique_ptr<CStoredBlocks> reader(new CStoredBlocks(m_code, m_slotBlock.size()));
    for (const auto& shared : m_shared)
        reader->m_shared.emplace(shared.first, std::vector<std::int32_t>());
    return reader;
}

std::uint64_t CStoredBlocks::CodeBytes(std::uint64_t first, std::uint64_t count) const {
    const std::uint64_t waiting = m_code->waiting.size();
    const std::uint64_t end = first + count;
    if (count == 0 || end <= waiting) return 0;
    const std::uint64_t last =
        std::min<std::uint64_t>((end - 1 - waiting) / kBlockValues + 1, m_code->words.size());
    std::uint64_t bytes = 0;
    for (std::uint64_t b = (std::max(first, waiting) - waiting) / kBlockValues; b < last; ++b)
        bytes += 4 * std::uint64_t{m_code->words[b]};
    return bytes;
}

void CStoredBlocks::Decode(CDecodeBlock& into, std::uint64_t block) {
    const std::uint32_t words = m_code->words[block];
    std::memcpy(into.codeWords.data(), m_code->bytes.get() + m_code->starts[block],
                std::size_t{words} * 4);
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
        error = m_code->readError != 0 ? m_code->readError : ErrorShortRead;
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
    if (block >= m_decoded.size()) Fail(block, m_code->readError);
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
    const std::vector<std::int32_t>& waiting = m_code->waiting;
    if (v < waiting.size()) {
        run = static_cast<std::uint32_t>(std::min<std::uint64_t>(waiting.size() - v, kBlockValues));
        return waiting.data() + v;
    }
    const std::uint64_t offset = v - waiting.size();
    const auto inBlock = static_cast<std::uint32_t>(offset % kBlockValues);
    run = kBlockValues - inBlock;
    return BlockValues(slot, offset / kBlockValues) + inBlock;
}

void CStoredBlocks::Place(int slot, std::uint64_t first, std::uint32_t width, std::uint32_t rows,
                          std::int32_t* to, std::uint64_t pitch, int shift) {
    // The values from `first` on that lie in the block at hand (or among the waiting values):
    // most squares take theirs with no lookup.
    const std::int32_t* values = nullptr;
    std::uint32_t left = 0;
    std::uint64_t v = first;
    const auto take = [&](std::uint32_t count) {
        values += count;
        left -= count;
        v += count;
    };
    ForEachPieceIn8x8Order(
        width, rows, 0, pitch,
        [&](std::uint64_t index) {
            if (left == 0) values = ValuesAt(slot, v, left);
            if (left < 64) return false;
            PlaceSquare(to + index, pitch, values, shift);
            take(64);
            return true;
        },
        [&](std::uint64_t index, std::uint32_t count) {
            while (count > 0) {
                if (left == 0) values = ValuesAt(slot, v, left);
                const std::uint32_t piece = std::min(count, left);
                CopyScaled(to + index, values, piece, shift);
                take(piece);
                index += piece;
                count -= piece;
            }
        });
}
