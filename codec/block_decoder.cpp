// Reading stored blocks, batch decoding and handing out values.
#include "block_decoder.h"

#include "band_order.h"
#include "byte_order.h"
#include "parallel_guard.h"
#include "quantize.h"
#include "qvt_error.h"
#include "scaled_copy.h"
#include "strip_spans.h"
#include "tile_span.h"

#include <algorithm>
#include <new>

namespace {

std::uint16_t ReadLE16(CQVTStream& stream) {
    std::uint8_t bytes[2];
    ReadBytes(stream, bytes, 2);
    return LoadLE16(bytes);
}

void SizeForRegion(CWaveletBand& band) {
    if (!band.SizeForRegion()) ThrowCodecError(ErrorOutOfMemory);
}

void RequireWholeBand(const CWaveletBand& band) {
    if (band.region != RegionRect{0, 0, band.width, band.height}) ThrowCodecError(ErrorWrongFormat);
}

} // namespace

CBlockDecoder::CBlockDecoder(CQVTStream& stream, bool useParallel, int threadCount)
    : m_stream(stream) {
    if (useParallel && threadCount >= 2) {
        m_threadCount = threadCount;
        m_blockCount = threadCount * kBatchBlocksPerThread;
    }
    try {
        m_blocks = CoderBlocks<CDecodeBlock>(m_blockCount);
        m_blockErrors.resize(static_cast<std::size_t>(m_blockCount));
    } catch (const std::bad_alloc&) {
        ThrowCodecError(ErrorOutOfMemory);
    }
    m_current = m_blocks[0];
}

void CBlockDecoder::ReadBlock(CDecodeBlock& block) {
    const std::uint16_t wordCount = ReadLE16(m_stream);
    if (wordCount > kBlockWords) ThrowCodecError(ErrorWrongFormat);
    block.header =
        m_useRegionBlocks ? ReadLE16(m_stream) : static_cast<std::uint16_t>(kBlockValues);
    block.wordCount = 0;
    ReadBytes(m_stream, block.codeWords.data(), std::uint32_t{wordCount} * 4);
    block.wordCount = wordCount;
}

CBlockDecoder::StoredBytes CBlockDecoder::ReadStoredBytes(std::uint8_t* bytes, std::uint64_t size) {
    constexpr std::uint64_t kMostPerRead = std::uint64_t{1} << 30;
    StoredBytes read;
    while (read.count < size) {
        const auto wanted = static_cast<std::int32_t>(std::min(size - read.count, kMostPerRead));
        std::int32_t count = wanted;
        try {
            m_stream.Read(count, bytes + read.count);
        } catch (const IOException& error) {
            read.error = error.error;
        }
        read.count += static_cast<std::uint64_t>(std::max(count, 0));
        if (read.error != 0 || count < wanted) break;
    }
    return read;
}

void CBlockDecoder::ReadBatch() {
    DropBatch();
    if (m_pendingError != 0) ThrowCodecError(m_pendingError);
    // Blocks of a region read often belong to tiles it skips: read no further ahead than the
    // threads need.
    const int batch = m_useRegionBlocks ? m_threadCount : m_blockCount;
    int count = 0;
    for (; count < batch; ++count) {
        try {
            ReadBlock(*m_blocks[static_cast<std::size_t>(count)]);
        } catch (const IOException& e) {
            if (e.error != ErrorShortRead && e.error != ErrorWrongFormat) throw;
            m_pendingError = e.error;
            break;
        }
    }
    if (count == 0) ThrowCodecError(m_pendingError);

#pragma omp parallel for schedule(dynamic, 1) num_threads(m_threadCount) if (count > 1)
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        m_blockErrors[index] = GuardedCode([&] {
            m_blocks[index]->DecodeBitPlanes();
            return 0u;
        });
    }
    m_available = count;
    MakeCurrent(0);
}

void CBlockDecoder::NextBlock() {
    if (m_available > 1) {
        --m_available;
        MakeCurrent(m_currentIndex + 1);
    } else {
        ReadBatch();
    }
}

void CBlockDecoder::MakeCurrent(int index) {
    m_currentIndex = index;
    m_current = m_blocks[static_cast<std::size_t>(index)];
    const std::uint32_t error = m_blockErrors[static_cast<std::size_t>(index)];
    if (error == 0) return;
    // A corrupt block ends the data: nothing behind it can be trusted to line up.
    m_pendingError = error;
    DropBatch();
    ThrowCodecError(error);
}

// Leaves no value to take, so the next request reads a batch.
void CBlockDecoder::DropBatch() {
    m_available = 0;
    m_current->valuePos = m_current->ValueCount();
}

void CBlockDecoder::ResetBatch() {
    m_pendingError = 0;
    DropBatch();
}

CBlockDecoder::Waiting CBlockDecoder::TakeWaiting() {
    Waiting waiting;
    waiting.error = m_pendingError;
    for (int i = m_currentIndex; i < m_currentIndex + m_available; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (m_blockErrors[index] != 0) {
            waiting.error = m_blockErrors[index];
            break;
        }
        const CDecodeBlock& block = *m_blocks[index];
        const std::uint32_t from = i == m_currentIndex ? block.valuePos : 0;
        waiting.values.insert(waiting.values.end(), block.values.begin() + from,
                              block.values.begin() + block.ValueCount());
    }
    DropBatch();
    return waiting;
}

void CBlockDecoder::SkipTile() {
    int index = m_currentIndex + 1;
    int left = m_available - 1;
    while (left > 0 && !m_blocks[static_cast<std::size_t>(index)]->EndsTile()) {
        ++index;
        --left;
    }
    if (left > 0) {
        // The tile's last block becomes current, with nothing left to take from it.
        m_currentIndex = index;
        m_available = left;
        m_current = m_blocks[static_cast<std::size_t>(index)];
        m_current->valuePos = m_current->ValueCount();
        return;
    }
    DropBatch();
    if (m_pendingError != 0) ThrowCodecError(m_pendingError);
    std::uint16_t header = 0;
    do {
        const std::uint16_t wordCount = ReadLE16(m_stream);
        if (wordCount > kBlockWords) ThrowCodecError(ErrorWrongFormat);
        header = ReadLE16(m_stream);
        SkipBytes(std::uint32_t{wordCount} * 4);
    } while ((header & kTileEndBit) == 0);
}

// A block cut short by the end of a memory stream is a short read, as it is when read.
void CBlockDecoder::SkipBytes(std::uint32_t count) {
    try {
        m_stream.SetPos(PosFromCurrent, count);
    } catch (const IOException& e) {
        if (e.error == ErrorStreamPosition) ThrowCodecError(ErrorShortRead);
        throw;
    }
}

void CBlockDecoder::TakeValues(std::int32_t* to, std::uint32_t count, int shift) {
    while (count > 0) {
        if (m_current->valuePos >= m_current->ValueCount()) {
            NextBlock();
            // Only an empty tile ends in an empty block, and its values are never asked for.
            if (m_current->ValueCount() == 0) ThrowCodecError(ErrorWrongFormat);
        }
        const std::uint32_t take = std::min(count, m_current->ValueCount() - m_current->valuePos);
        const std::int32_t* from = m_current->values.data() + m_current->valuePos;
        for (std::uint32_t i = 0; i < take; ++i)
            to[i] = Dequantize(from[i], shift);
        m_current->valuePos += take;
        to += take;
        count -= take;
    }
}

void CBlockDecoder::PlaceValues(std::int32_t* buffer, std::uint32_t width, std::uint32_t height,
                                std::uint64_t startPos, std::uint64_t pitch, int shift) {
    // Strips whose values wait decoded in the batch are placed by all threads.
    MoveWindowByStrips(
        width, height, startPos, pitch, m_threadCount > 1 && !m_useRegionBlocks,
        [&] { return WaitingValues(); },
        [&](std::uint32_t strips, std::uint64_t start) {
            PlaceWaitingStrips(buffer, width, strips, start, pitch, shift);
        },
        [&](std::uint32_t rows, std::uint64_t start) {
            PlaceSpans(buffer, width, rows, start, pitch, shift);
        });
}

void CBlockDecoder::PlaceSpans(std::int32_t* buffer, std::uint32_t width, std::uint32_t height,
                               std::uint64_t startPos, std::uint64_t pitch, int shift) {
    // Almost every 8 × 8 block of the window lies inside the current block: its rows are copied
    // here with copies of known length; pieces that cross a block boundary take the general path.
    const auto span = [&](std::uint64_t index, std::uint32_t count) {
        CDecodeBlock& block = *m_current;
        if (count == 8 && block.valuePos + 8 <= block.ValueCount()) {
            CopyScaled(buffer + index, block.values.data() + block.valuePos, 8, shift);
            block.valuePos += 8;
        } else {
            TakeValues(buffer + index, count, shift);
        }
    };
    ForEachPieceIn8x8Order(
        width, height, startPos, pitch,
        [&](std::uint64_t index) {
            CDecodeBlock& block = *m_current;
            if (block.valuePos + 64 > block.ValueCount()) return false;
            PlaceSquare(buffer + index, pitch, block.values.data() + block.valuePos, shift);
            block.valuePos += 64;
            return true;
        },
        span);
}

std::uint64_t CBlockDecoder::WaitingValues() const {
    std::uint64_t values = m_current->ValueCount() - m_current->valuePos;
    // A block that failed to decode ends what can be handed out before it becomes current.
    for (int i = m_currentIndex + 1; i < m_currentIndex + m_available; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (m_blockErrors[index] != 0) break;
        values += m_blocks[index]->ValueCount();
    }
    return values;
}

void CBlockDecoder::PlaceWaitingStrips(std::int32_t* buffer, std::uint32_t width,
                                       std::uint32_t strips, std::uint64_t startPos,
                                       std::uint64_t pitch, int shift) {
    // Plain blocks all hold kBlockValues values, so the k-th value from the current one lies
    // in block current + (valuePos + k) / kBlockValues.
    const std::uint64_t first = m_current->valuePos;
    const std::uint64_t stripValues = std::uint64_t{width} * 8;
    const auto current = static_cast<std::size_t>(m_currentIndex);
    ForEachStripPieceInParallel(
        width, strips, startPos, pitch, first, m_threadCount,
        [&](std::uint64_t index, std::size_t block, std::uint32_t offset) {
            PlaceSquare(buffer + index, pitch, m_blocks[current + block]->values.data() + offset,
                        shift);
        },
        [&](std::uint64_t index, std::size_t block, std::uint32_t offset, std::uint32_t count) {
            CopyScaled(buffer + index, m_blocks[current + block]->values.data() + offset, count,
                       shift);
        });
    // The block holding the last value placed stays current, its values used up to there.
    const std::uint64_t end = first + strips * stripValues;
    const auto passed = static_cast<int>((end - 1) / kBlockValues);
    m_available -= passed;
    MakeCurrent(m_currentIndex + passed);
    m_current->valuePos = static_cast<std::uint32_t>(end - std::uint64_t{kBlockValues} * passed);
}

void CBlockDecoder::PlaceInterleavedValues(std::int32_t* hl, std::uint32_t wH, std::uint32_t hH,
                                           std::int32_t* lh, std::uint32_t wL, std::uint32_t hL,
                                           int shift) {
    ForEachInterleavedPair(
        wH, hH, wL, hL,
        [&](std::uint64_t hlIndex, std::uint64_t lhIndex) {
            TakeValues(hl + hlIndex, 1, shift);
            TakeValues(lh + lhIndex, 1, shift);
        },
        [&](std::uint64_t lhIndex) { TakeValues(lh + lhIndex, 1, shift); },
        [&](std::uint64_t hlIndex) { TakeValues(hl + hlIndex, 1, shift); });
}

void CBlockDecoder::PlaceBand(CWaveletBand& band, int q) {
    SizeForRegion(band);
    RequireWholeBand(band);
    PlaceValues(band.Samples(), band.width, band.height, 0, band.Pitch(),
                BandShift(band.orientation, band.level, q));
}

void CBlockDecoder::PlaceBandTile(CWaveletBand& band, int q, std::uint32_t tx, std::uint32_t ty) {
    SizeForRegion(band);
    const TileSpan columns = TileSpanOf(tx, band.tiles, band.width);
    const TileSpan rows = TileSpanOf(ty, band.tiles, band.height);
    if (columns.size == 0 || rows.size == 0) return;
    const RegionRect& region = band.region;
    if (columns.start < region.left || columns.start + columns.size > region.right ||
        rows.start < region.top || rows.start + rows.size > region.bottom)
        ThrowCodecError(ErrorWrongFormat);
    PlaceValues(band.Samples(), columns.size, rows.size,
                std::uint64_t{rows.start - region.top} * band.Pitch() +
                    (columns.start - region.left),
                band.Pitch(), BandShift(band.orientation, band.level, q));
}

void CBlockDecoder::PlaceInterleaved(CWaveletBand& hl, CWaveletBand& lh, int q) {
    SizeForRegion(hl);
    SizeForRegion(lh);
    RequireWholeBand(hl);
    RequireWholeBand(lh);
    // The interleaved walk knows only rows one band width apart.
    if (hl.Pitch() != hl.width || lh.Pitch() != lh.width) ThrowCodecError(ErrorWrongFormat);
    PlaceInterleavedValues(hl.Samples(), hl.width, hl.height, lh.Samples(), lh.width, lh.height,
                           BandShift(hl.orientation, hl.level, q));
}
