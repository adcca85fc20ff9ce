// The block decoder: reads stored code blocks in batches, decodes a batch in parallel and hands
// the values out one by one, dequantised, in the order the encoder took them.
#pragma once

#include "bit_plane_decoder.h"
#include "coder_blocks.h"
#include "qvt_stream.h"
#include "wavelet_band.h"

#include <cstdint>
#include <omp.h>
#include <vector>

class CBlockDecoder {
public:
    // The caller has read the file head; blocks follow at the stream's position. With
    // useParallel and at least 2 threads a batch holds several blocks per thread (one per thread
    // in region files), decoded by a team of that size; the caller's own thread settings stay as
    // they were. What the decoder delivers or throws never depends on the thread count.
    CBlockDecoder(CQVTStream& stream, bool useParallel, int threadCount = omp_get_max_threads());
    CBlockDecoder(const CBlockDecoder&) = delete;
    CBlockDecoder& operator=(const CBlockDecoder&) = delete;

    // Stored blocks carry their 16-bit header (region files); otherwise every block holds 16384
    // values.
    void SetUseRegionBlocks(bool useRegionBlocks) { m_useRegionBlocks = useRegionBlocks; }
    // The most blocks a batch reads ahead.
    int BlockCount() const { return m_blockCount; }

    // Reads one stored block into block.header, block.wordCount and block.codeWords.
    void ReadBlock(CDecodeBlock& block);
    // Reads up to `size` bytes of stored blocks, headers and code words as they lie, from the
    // next block on: how many the stream had, and the error that ended them early (0: none).
    struct StoredBytes {
        std::uint64_t count = 0;
        std::uint32_t error = 0;
    };
    StoredBytes ReadStoredBytes(std::uint8_t* bytes, std::uint64_t size);
    // Reads up to a batch of blocks and decodes them. A stream that ends, or bytes that are not
    // a block, end the batch early; that condition is reported when a block beyond the ones read
    // is needed, exactly as a one-block decoder would report it.
    void ReadBatch();
    // Moves to the next decoded block, reading a batch when none is waiting. A block whose code
    // is corrupt throws when it becomes current.
    void NextBlock();
    // Passes over the blocks of one tile: in memory while decoded blocks wait, by seeking in the
    // stream otherwise.
    void SkipTile();
    // Forgets every block read so far; the next request reads at the stream's position. For
    // restarting a read after the stream was moved back.
    void ResetBatch();

    // The values decoded and not yet taken, in order, up to the first block that failed to
    // decode, and the error a further value would end with: that block's, that of the read that
    // ended the batch early, or 0 when the stream is where the next block starts. Nothing waits
    // afterwards.
    struct Waiting {
        std::vector<std::int32_t> values;
        std::uint32_t error = 0;
    };
    Waiting TakeWaiting();

    // The next value multiplied by 2^max(0, shift) (modulo 2^32). When the data are used up the
    // error that ended them is thrown (ErrorShortRead at the end of the stream), never an old
    // value; a request that lands on a block without values throws ErrorWrongFormat.
    std::int32_t TakeValue(int shift) {
        std::int32_t v;
        TakeValues(&v, 1, shift);
        return v;
    }
    // Fills width × height samples of `buffer` (starting at index startPos, row pitch `pitch`) in
    // 8 × 8 block order.
    void PlaceValues(std::int32_t* buffer, std::uint32_t width, std::uint32_t height,
                     std::uint64_t startPos, std::uint64_t pitch, int shift);
    // Fills an HL band (wH × hH) and an LH band (wL × hL), each with its width as pitch, from
    // the interleaved order of old files.
    void PlaceInterleavedValues(std::int32_t* hl, std::uint32_t wH, std::uint32_t hH,
                                std::int32_t* lh, std::uint32_t wL, std::uint32_t hL, int shift);

    // The band operations below first size the band's buffer for its region unless the band is
    // placed (failure: ErrorOutOfMemory) and take values with the band's shift for quantisation
    // parameter q. A band or tile that does not lie inside the buffer's region throws
    // ErrorWrongFormat.
    // Fills a whole band; its region must be the whole band.
    void PlaceBand(CWaveletBand& band, int q);
    // Fills tile (tx, ty) of a band, inside the band's region buffer.
    void PlaceBandTile(CWaveletBand& band, int q, std::uint32_t tx, std::uint32_t ty);
    // Fills the HL and LH bands of one level together, as files without separately coded
    // detail bands store them; both regions must be whole bands with rows one band width apart.
    void PlaceInterleaved(CWaveletBand& hl, CWaveletBand& lh, int q);

private:
    void TakeValues(std::int32_t* to, std::uint32_t count, int shift);
    // Places a window span by span, reading batches as they are needed.
    void PlaceSpans(std::int32_t* buffer, std::uint32_t width, std::uint32_t height,
                    std::uint64_t startPos, std::uint64_t pitch, int shift);
    // Decoded values from the current position that can be handed out without a new batch.
    std::uint64_t WaitingValues() const;
    // Places `strips` strips of 8 rows, all of whose values are waiting, in parallel.
    void PlaceWaitingStrips(std::int32_t* buffer, std::uint32_t width, std::uint32_t strips,
                            std::uint64_t startPos, std::uint64_t pitch, int shift);
    void MakeCurrent(int index);
    void DropBatch();
    void SkipBytes(std::uint32_t count);

    CQVTStream& m_stream;
    CoderBlocks<CDecodeBlock> m_blocks;
    // Decoding error of each block of the batch (0 = decoded).
    std::vector<std::uint32_t> m_blockErrors;
    // Every batch wakes the team, which in a virtual machine takes about as long as decoding a
    // block: several blocks per thread keep that small, and a thread done early takes another.
    static constexpr int kBatchBlocksPerThread = 8;
    int m_threadCount = 1;
    int m_blockCount = 1;
    int m_currentIndex = 0;
    // Decoded blocks from the current one on.
    int m_available = 0;
    CDecodeBlock* m_current = nullptr;
    // The error that ended the last batch early; the stream position is not at a block start.
    std::uint32_t m_pendingError = 0;
    bool m_useRegionBlocks = false;
};
