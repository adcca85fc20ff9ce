// Block hand-over, batch coding and the stored block layout: a 2-byte word count, the 2-byte
// block header in region files, then the code words, all little-endian.
#include "block_encoder.h"

#include "band_order.h"
#include "byte_order.h"
#include "parallel_guard.h"
#include "qvt_error.h"
#include "strip_spans.h"
#include "tile_span.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace {

// Takes the 64 values of an 8 × 8 square, rows `pitch` apart.
void TakeSquare(std::int32_t* to, const std::int32_t* from, std::uint64_t pitch) {
    for (std::uint32_t row = 0; row < 8; ++row)
        std::memcpy(to + 8 * row, from + row * pitch, 8 * sizeof *to);
}

// Copies values first … first + count - 1 of whole bands that follow one another, each in 8 × 8
// order, to `to`; bandStarts[i] is where band i's values begin.
void GatherBandValues(std::span<const WholeBand> bands, std::span<const std::uint64_t> bandStarts,
                      std::uint64_t first, std::uint32_t count, std::int32_t* to) {
    const std::uint64_t end = first + count;
    auto band = static_cast<std::size_t>(
        std::upper_bound(bandStarts.begin(), bandStarts.end(), first) - bandStarts.begin() - 1);
    for (; band < bands.size() && bandStarts[band] < end; ++band) {
        const WholeBand& from = bands[band];
        const std::uint64_t bandFirst = bandStarts[band];
        const std::uint64_t values = std::uint64_t{from.width} * from.height;
        if (values == 0) continue;
        // Only the strips of 8 rows that hold some of the values are walked.
        const std::uint64_t stripValues = std::uint64_t{from.width} * 8;
        const std::uint64_t firstStrip = (std::max(first, bandFirst) - bandFirst) / stripValues;
        const std::uint64_t endInBand = std::min(end - bandFirst, values);
        for (auto row = static_cast<std::uint32_t>(firstStrip * 8);
             row < from.height && std::uint64_t{row} * from.width < endInBand; row += 8) {
            std::uint64_t at = bandFirst + std::uint64_t{row} * from.width;
            ForEachPieceIn8x8Order(
                from.width, std::min<std::uint32_t>(8, from.height - row), row * from.pitch,
                from.pitch,
                [&](std::uint64_t index) {
                    const bool inside = at >= first && at + 64 <= end;
                    // A square across either end is taken row by row.
                    if (!inside && at + 64 > first && at < end) return false;
                    if (inside) TakeSquare(to + (at - first), from.samples + index, from.pitch);
                    at += 64;
                    return true;
                },
                [&](std::uint64_t index, std::uint32_t span) {
                    const std::uint64_t low = std::max(at, first);
                    const std::uint64_t high = std::min(at + span, end);
                    if (low < high)
                        std::memcpy(to + (low - first), from.samples + index + (low - at),
                                    (high - low) * sizeof *to);
                    at += span;
                });
        }
    }
}

// The index of the last level that ends by value `end`, -1 for none.
std::int32_t LastLevelEndingBy(std::span<const std::uint64_t> levelEnds, std::uint64_t end) {
    return static_cast<std::int32_t>(std::upper_bound(levelEnds.begin(), levelEnds.end(), end) -
                                     levelEnds.begin()) -
           1;
}

} // namespace

CBlockEncoder::CBlockEncoder(CQVTStream& stream, std::uint8_t nLevels, bool useParallel,
                             int threadCount)
    : m_stream(stream), m_nLevels(nLevels) {
    if (useParallel && threadCount >= 2) {
        m_threadCount = threadCount;
        m_blockCount = threadCount * kBatchBlocksPerThread;
    }
    try {
        m_blocks = CoderBlocks<CEncodeBlock>(m_blockCount);
        m_blockErrors.resize(static_cast<std::size_t>(m_blockCount));
    } catch (const std::bad_alloc&) {
        ThrowCodecError(ErrorOutOfMemory);
    }
    m_current = m_blocks[0];
}

void CBlockEncoder::AddBand(const CWaveletBand& band, std::uint32_t width, std::uint32_t height,
                            std::uint64_t startPos, std::uint64_t pitch) {
    if (!WindowFits(band.ReachableSamples(), width, height, startPos, pitch))
        ThrowCodecError(ErrorWrongFormat);
    AddSamples(band.Samples(), width, height, startPos, pitch);
}

void CBlockEncoder::AddBandTile(const CWaveletBand& band, std::uint32_t tx, std::uint32_t ty) {
    const TileSpan columns = TileSpanOf(tx, band.tiles, band.width);
    const TileSpan rows = TileSpanOf(ty, band.tiles, band.height);
    AddBand(band, columns.size, rows.size, rows.start * band.Pitch() + columns.start, band.Pitch());
}

void CBlockEncoder::AddSamples(const std::int32_t* buffer, std::uint32_t width,
                               std::uint32_t height, std::uint64_t startPos, std::uint64_t pitch) {
    // Strips that fit in the batch are copied into it by all threads.
    MoveWindowByStrips(
        width, height, startPos, pitch, m_threadCount > 1, [&] { return RoomInBatch(); },
        [&](std::uint32_t strips, std::uint64_t start) {
            AddStrips(buffer, width, strips, start, pitch);
        },
        [&](std::uint32_t rows, std::uint64_t start) {
            AddSpans(buffer, width, rows, start, pitch);
        });
}

void CBlockEncoder::AddSpans(const std::int32_t* buffer, std::uint32_t width, std::uint32_t height,
                             std::uint64_t startPos, std::uint64_t pitch) {
    // Almost every 8 × 8 block of the window fits in the current block: its rows are copied here
    // with copies of known length; pieces at a block boundary take the general path.
    const auto span = [&](std::uint64_t index, std::uint32_t count) {
        CEncodeBlock& block = *m_current;
        if (count == 8 && block.valuePos + 8 <= kBlockValues) {
            std::memcpy(block.values.data() + block.valuePos, buffer + index, 8 * sizeof *buffer);
            block.valuePos += 8;
        } else {
            AddValues(buffer + index, count);
        }
    };
    ForEachPieceIn8x8Order(
        width, height, startPos, pitch,
        [&](std::uint64_t index) {
            CEncodeBlock& block = *m_current;
            if (block.valuePos + 64 > kBlockValues) return false;
            TakeSquare(block.values.data() + block.valuePos, buffer + index, pitch);
            block.valuePos += 64;
            return true;
        },
        span);
}

std::uint64_t CBlockEncoder::RoomInBatch() const {
    // After a level end the batch is written at the next block change, wherever it stands.
    if (m_forceWriting) return 0;
    return (kBlockValues - m_current->valuePos) +
           std::uint64_t{kBlockValues} * static_cast<std::uint64_t>(m_blockCount - m_usedBlocks);
}

void CBlockEncoder::AddStrips(const std::int32_t* buffer, std::uint32_t width, std::uint32_t strips,
                              std::uint64_t startPos, std::uint64_t pitch) {
    // The k-th value from the current position goes to block current + (valuePos + k) /
    // kBlockValues of the batch.
    const std::uint64_t first = m_current->valuePos;
    const auto current = static_cast<std::size_t>(m_usedBlocks - 1);
    const std::uint64_t stripValues = std::uint64_t{width} * 8;
    ForEachStripPieceInParallel(
        width, strips, startPos, pitch, first, m_threadCount,
        [&](std::uint64_t index, std::size_t block, std::uint32_t offset) {
            TakeSquare(m_blocks[current + block]->values.data() + offset, buffer + index, pitch);
        },
        [&](std::uint64_t index, std::size_t block, std::uint32_t offset, std::uint32_t count) {
            std::memcpy(m_blocks[current + block]->values.data() + offset, buffer + index,
                        count * sizeof *buffer);
        });
    // The blocks filled are handed over as values arriving one by one would have; the block
    // holding the last value stays current. The room check keeps the batch from being coded
    // here.
    const std::uint64_t end = first + strips * stripValues;
    const std::uint64_t passed = (end - 1) / kBlockValues;
    for (std::uint64_t i = 0; i < passed; ++i) {
        m_current->valuePos = kBlockValues;
        FinishBlock(static_cast<std::uint16_t>(kBlockValues));
    }
    m_current->valuePos = static_cast<std::uint32_t>(end - passed * kBlockValues);
}

void CBlockEncoder::AddWholeBands(std::span<const WholeBand> bands,
                                  std::span<const std::uint64_t> levelEnds,
                                  const std::function<void(int)>& levelDone) {
    // Blocks are cut from the first band's first value on.
    if (m_usedBlocks != 1 || m_current->valuePos != 0) ThrowCodecError(EINVAL);
    std::vector<std::uint64_t> bandStarts{0};
    for (const WholeBand& band : bands)
        bandStarts.push_back(bandStarts.back() + std::uint64_t{band.width} * band.height);
    const std::uint64_t total = bandStarts.back();
    // Whole blocks are coded here; the values after them stay in the current block.
    const std::uint64_t coded = total / kBlockValues;
    std::size_t levelsDone = 0;
    const auto reportLevelsBy = [&](std::uint64_t end) {
        for (; levelsDone < levelEnds.size() && levelEnds[levelsDone] <= end; ++levelsDone)
            levelDone(static_cast<int>(levelsDone));
    };
    for (std::uint64_t batchFirst = 0; batchFirst < coded;
         batchFirst += static_cast<std::uint64_t>(m_blockCount)) {
        const auto count =
            static_cast<int>(std::min<std::uint64_t>(m_blockCount, coded - batchFirst));
        EncodeAndWriteBatch(count, [&](int i) {
            CEncodeBlock& block = *m_blocks[static_cast<std::size_t>(i)];
            const std::uint64_t first = (batchFirst + static_cast<std::uint64_t>(i)) * kBlockValues;
            GatherBandValues(bands, bandStarts, first, kBlockValues, block.values.data());
            block.valuePos = kBlockValues;
            block.header = static_cast<std::uint16_t>(kBlockValues);
            block.lastLevelIndex = LastLevelEndingBy(levelEnds, first + kBlockValues);
        });
        reportLevelsBy((batchFirst + static_cast<std::uint64_t>(count)) * kBlockValues);
    }
    const std::uint64_t lastFirst = coded * kBlockValues;
    m_current = m_blocks[0];
    m_usedBlocks = 1;
    if (total > lastFirst)
        GatherBandValues(bands, bandStarts, lastFirst,
                         static_cast<std::uint32_t>(total - lastFirst), m_current->values.data());
    m_current->valuePos = static_cast<std::uint32_t>(total - lastFirst);
    m_current->codePos = 0;
    m_current->lastLevelIndex = LastLevelEndingBy(levelEnds, total);
    // After a level end the batch is written at the next block change.
    m_forceWriting = LastLevelEndingBy(levelEnds, lastFirst) != m_current->lastLevelIndex;
    reportLevelsBy(total);
}

void CBlockEncoder::AddValues(const std::int32_t* values, std::uint32_t count) {
    while (count > 0) {
        // A full block is handed over only when a further value arrives, so a block that ends
        // exactly at a level end stays current for MarkLevelEnd.
        if (m_current->valuePos == kBlockValues)
            FinishBlock(static_cast<std::uint16_t>(kBlockValues));
        const std::uint32_t take = std::min(count, kBlockValues - m_current->valuePos);
        m_current->Append(values, take);
        values += take;
        count -= take;
    }
}

void CBlockEncoder::FinishBlock(std::uint16_t header) {
    m_current->header = header;
    const std::int32_t lastLevelIndex = m_current->lastLevelIndex;
    if (m_forceWriting || m_usedBlocks == m_blockCount) {
        EncodeAndWriteBatch(m_usedBlocks);
        m_forceWriting = false;
        m_usedBlocks = 0;
    }
    m_current = m_blocks[static_cast<std::size_t>(m_usedBlocks)];
    ++m_usedBlocks;
    m_current->valuePos = 0;
    m_current->codePos = 0;
    m_current->lastLevelIndex = lastLevelIndex;
}

void CBlockEncoder::FinishTile() {
    FinishBlock(static_cast<std::uint16_t>(m_current->valuePos | kTileEndBit));
}

void CBlockEncoder::FlushLast() {
    if (m_current->valuePos == 0) {
        // Blocks handed over before the empty current one are written rather than lost.
        if (m_usedBlocks > 1) {
            EncodeAndWriteBatch(m_usedBlocks - 1);
            std::swap(m_blocks[0], m_blocks[static_cast<std::size_t>(m_usedBlocks - 1)]);
            m_usedBlocks = 1;
            m_forceWriting = false;
        }
    } else {
        std::fill(m_current->values.begin() + m_current->valuePos, m_current->values.end(), 0);
        m_current->valuePos = kBlockValues;
        m_forceWriting = true;
        FinishBlock(static_cast<std::uint16_t>(kBlockValues | kTileEndBit));
    }
    WritePending();
}

void CBlockEncoder::MarkLevelEnd(std::int32_t index) {
    m_current->lastLevelIndex = index;
    m_forceWriting = true;
}

// Blocks are coded in parallel, one per iteration; errors are kept per block and the first in
// block order is thrown, so the outcome does not depend on the thread count. The batch before
// is written meanwhile by one of the threads, which then joins the others: the write no longer
// holds them up. So the batch's bytes wait for the next batch, or the flush of the last.
void CBlockEncoder::EncodeAndWriteBatch(int count, const std::function<void(int)>& prepare) {
    std::uint32_t writeError = 0;
#pragma omp parallel num_threads(m_threadCount) if (count > 1)
    {
#pragma omp single nowait
        writeError = GuardedCode([&] {
            WritePending();
            return 0u;
        });
#pragma omp for schedule(dynamic, 1) nowait
        for (int i = 0; i < count; ++i) {
            const auto index = static_cast<std::size_t>(i);
            m_blockErrors[index] = GuardedCode([&] {
                if (prepare) prepare(i);
                m_blocks[index]->EncodeBitPlanes(m_favorSpeed);
                return 0u;
            });
        }
    }
    if (writeError != 0) ThrowCodecError(writeError);
    for (int i = 0; i < count; ++i)
        if (m_blockErrors[static_cast<std::size_t>(i)] != 0)
            ThrowCodecError(m_blockErrors[static_cast<std::size_t>(i)]);
    std::uint64_t end = m_stream.GetPos();
    try {
        for (int i = 0; i < count; ++i) {
            CEncodeBlock& block = *m_blocks[static_cast<std::size_t>(i)];
            end += StoreBlock(block);
            CountBlock(block, end);
        }
    } catch (const std::bad_alloc&) {
        ThrowCodecError(ErrorOutOfMemory);
    }
}

void CBlockEncoder::WritePending() {
    WriteBytes(m_stream, m_pendingBytes.data(), m_pendingBytes.size());
    m_pendingBytes.clear();
}

std::size_t CBlockEncoder::StoreBlock(const CEncodeBlock& block) {
    const std::uint32_t wordCount = WordsForBits(block.codePos);
    std::uint8_t prefix[4];
    StoreLE16(prefix, static_cast<std::uint16_t>(wordCount));
    StoreLE16(prefix + 2, block.header);
    const std::size_t prefixBytes = m_useRegionBlocks ? 4 : 2;
    m_pendingBytes.insert(m_pendingBytes.end(), prefix, prefix + prefixBytes);
    const auto* words = reinterpret_cast<const std::uint8_t*>(block.codeWords.data());
    m_pendingBytes.insert(m_pendingBytes.end(), words, words + std::size_t{wordCount} * 4);
    return prefixBytes + std::size_t{wordCount} * 4;
}

void CBlockEncoder::CountBlock(CEncodeBlock& block, std::uint64_t end) {
    // A stored block counts for the level in which its first value lies. An entry of a level of
    // 4 GiB or more stays at its largest value: a lower bound, which is all a reader can check
    // against the file (the data themselves are complete), where a wrapped length would be a lie.
    if (m_hasLevelLengths && static_cast<std::size_t>(m_currLevelIndex) < m_levelLength.size()) {
        std::uint32_t& length = m_levelLength[static_cast<std::size_t>(m_currLevelIndex)];
        length = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            length + (end - m_lastWritePos), std::numeric_limits<std::uint32_t>::max()));
    }
    if (m_hasLevelLengths) m_currLevelIndex = block.lastLevelIndex + 1;
    m_lastWritePos = end;
    block.valuePos = 0;
}

void CBlockEncoder::StartLevelLengths() {
    try {
        m_levelLength.assign(m_nLevels, 0);
    } catch (const std::bad_alloc&) {
        ThrowCodecError(ErrorOutOfMemory);
    }
    m_hasLevelLengths = true;
    m_lastWritePos = m_stream.GetPos();
}
