// The block encoder: collects band samples into code blocks of 16384 values, bit-plane codes a
// batch of blocks in parallel and writes them to the stream in order, keeping the byte count of
// every level for the level-length table.
#pragma once

#include "bit_plane_encoder.h"
#include "coder_blocks.h"
#include "qvt_stream.h"
#include "wavelet_band.h"

#include <cstdint>
#include <functional>
#include <omp.h>
#include <span>
#include <vector>

// A band the encoder takes whole: width × height samples, rows `pitch` apart.
struct WholeBand {
    const std::int32_t* samples = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t pitch = 0;
};

class CBlockEncoder {
public:
    // The caller has written the file head; blocks follow at the stream's position. With
    // useParallel and at least 2 threads a batch holds several blocks per thread, coded by a team
    // of that size; the caller's own thread settings stay as they were. Stored bytes never depend
    // on the thread count. Block memory that cannot be had: ErrorOutOfMemory.
    CBlockEncoder(CQVTStream& stream, std::uint8_t nLevels, bool useParallel,
                  int threadCount = omp_get_max_threads());
    CBlockEncoder(const CBlockEncoder&) = delete;
    CBlockEncoder& operator=(const CBlockEncoder&) = delete;

    // Never run-length code sign bits (faster coding, slightly larger files).
    void SetFavorSpeed(bool favorSpeed) { m_favorSpeed = favorSpeed; }
    // Stored blocks carry their 16-bit header (value count, tile end), as region files need.
    void SetUseRegionBlocks(bool useRegionBlocks) { m_useRegionBlocks = useRegionBlocks; }
    int BlockCount() const { return m_blockCount; }

    void AddValue(std::int32_t v) { AddValues(&v, 1); }
    // Appends width × height samples of `buffer`, starting at sample index startPos with row
    // pitch `pitch`, in 8 × 8 block order.
    void AddSamples(const std::int32_t* buffer, std::uint32_t width, std::uint32_t height,
                    std::uint64_t startPos, std::uint64_t pitch);
    // The same over a band's buffer; a window reaching past the buffer throws ErrorWrongFormat.
    void AddBand(const CWaveletBand& band, std::uint32_t width, std::uint32_t height,
                 std::uint64_t startPos, std::uint64_t pitch);
    // Appends tile (tx, ty) of a band whose samples are the whole band; the band's tiles per
    // side split each axis by the tile span rule.
    void AddBandTile(const CWaveletBand& band, std::uint32_t tx, std::uint32_t ty);
    // Appends whole bands one after the other, each in 8 × 8 order, to an encoder that holds no
    // values yet (EINVAL otherwise), and marks the level ends: `levelEnds[i]` counts the values
    // of levels 0 … i.
    // Stored bytes are those of AddSamples and MarkLevelEnd, but every block is gathered by the
    // thread that codes it, so that the threads never meet to fill a batch. levelDone(i) follows
    // the coding of level i's blocks; values short of a whole block stay in the current block.
    void AddWholeBands(std::span<const WholeBand> bands, std::span<const std::uint64_t> levelEnds,
                       const std::function<void(int)>& levelDone);

    // Hands the current block over with `header`; it is coded and written at once or with its
    // batch, and a fresh block becomes current. A block whose code would exceed 16384 words
    // throws ErrorWrongFormat (first such block of the batch); stream errors propagate.
    void FinishBlock(std::uint16_t header);
    // Ends the current block at the end of a tile (tile-end bit set).
    void FinishTile();
    // Pads a non-empty current block with zeros to 16384 values and writes everything pending.
    void FlushLast();
    // The values added so far complete level-length entry `index`; blocks are written at the
    // next block change.
    void MarkLevelEnd(std::int32_t index);

    // Starts counting the bytes of each level from the stream position, where the first block
    // will follow the level-length table. The head writer owns the table itself.
    void StartLevelLengths();
    // Entry i: bytes of the stored blocks whose first value belongs to the i-th level written,
    // 0xFFFFFFFF for 4 GiB or more.
    const std::vector<std::uint32_t>& LevelLengths() const { return m_levelLength; }

private:
    void AddValues(const std::int32_t* values, std::uint32_t count);
    // Appends a window span by span, handing blocks over as they fill.
    void AddSpans(const std::int32_t* buffer, std::uint32_t width, std::uint32_t height,
                  std::uint64_t startPos, std::uint64_t pitch);
    // Values that can be added before the batch must be coded.
    std::uint64_t RoomInBatch() const;
    // Appends `strips` strips of 8 rows, which fit in the batch, in parallel.
    void AddStrips(const std::int32_t* buffer, std::uint32_t width, std::uint32_t strips,
                   std::uint64_t startPos, std::uint64_t pitch);
    // `prepare(i)`, where given, fills block i of the batch on the thread that codes it.
    void EncodeAndWriteBatch(int count, const std::function<void(int)>& prepare = nullptr);
    void WritePending();
    // Appends the block as stored to the bytes waiting to be written; returns their count.
    std::size_t StoreBlock(const CEncodeBlock& block);
    // Counts the block, which ends at `end` in the stream, for its level.
    void CountBlock(CEncodeBlock& block, std::uint64_t end);

    CQVTStream& m_stream;
    std::uint64_t m_lastWritePos = 0;
    // The last batch's blocks as they are stored, written in one go while the next is coded.
    std::vector<std::uint8_t> m_pendingBytes;
    CoderBlocks<CEncodeBlock> m_blocks;
    std::vector<std::uint32_t> m_blockErrors;
    // Every batch wakes the team, which in a virtual machine takes about as long as coding a
    // block: several blocks per thread keep that small, and a thread done early takes another.
    static constexpr int kBatchBlocksPerThread = 8;
    int m_threadCount = 1;
    int m_blockCount = 1;
    int m_usedBlocks = 1;
    CEncodeBlock* m_current = nullptr;
    std::vector<std::uint32_t> m_levelLength;
    bool m_hasLevelLengths = false;
    std::int32_t m_currLevelIndex = 0;
    std::uint8_t m_nLevels;
    bool m_favorSpeed = false;
    bool m_forceWriting = false;
    bool m_useRegionBlocks = false;
};
