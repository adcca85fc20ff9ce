// The codec image object: the one way the rest of the program reads and writes QVT data.
// Reading decodes level by level from the coarsest resolution, optionally only a region of
// interest; writing splits pixel rows into channels, transforms and codes them.
#pragma once

#include "channel_image.h"
#include "export_area.h"
#include "progress.h"
#include "qvt_format.h"
#include "qvt_head.h"
#include "qvt_stream.h"
#include "wavelet_passes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class CBlockDecoder;
class CBlockEncoder;
class CLastLevelRows;
struct StoredBand;

// Called after every decoded level so that a view can show the partial image.
using RefreshCallback = void (*)(void* data);

class CQVTImage {
public:
    CQVTImage();
    virtual ~CQVTImage();
    CQVTImage(const CQVTImage&) = delete;
    CQVTImage& operator=(const CQVTImage&) = delete;

    // --- Reading -------------------------------------------------------------------------
    // Reads and checks the head at the stream's position. The stream must stay open and
    // positioned as this object leaves it until the image is fully decoded.
    void Open(CQVTStream& stream);
    // Decodes until the current level is `level` (0 = full size). Never goes back up.
    void Read(int level, ProgressCallback progress = nullptr, void* data = nullptr);
    // As Read, restricted to a rectangle of the full image (files with region support; others
    // are read whole). Right or bottom 0, or beyond the image, extend to its edge. A different
    // rectangle restarts from the coarsest level.
    void ReadRegion(const RegionRect& rect, int level, ProgressCallback progress = nullptr,
                    void* data = nullptr);
    // Decodes the whole image for export a strip of rows at a time (ExportPixelRows, from the
    // top down): the levels down to level 1 now, the last level as its rows are exported, so
    // that neither its bands nor the full-size planes are ever held whole. Done for files of at
    // least two levels without region support, with detail bands coded separately and no chroma
    // halved, before any other read; for others nothing is done and false returned. Rows come
    // from one thread unless they are split into runs. Throws as Read does.
    bool ReadForRows(ProgressCallback progress = nullptr, void* data = nullptr);
    // Whether the image is read for rows, which then come only in order.
    bool ReadsForRows() const { return m_lastLevelRows != nullptr; }
    // Splits the rows of an image read for rows into at most `runs` runs, each exported in order
    // from its first row, and each on a thread of its own if need be; returns the runs' first
    // rows (none for an image not read for rows). Before any row is exported.
    std::vector<std::uint32_t> SplitRowsIntoRuns(int runs);
    // The region of interest scaled to the current level (RegionAtLevel): every edge rounded
    // up, at least one sample wide and high.
    RegionRect CurrentRegion() const;
    // Writes the image at the current level as rows of its mode (see ExportPixelRows). Words of
    // deep modes are aligned as `alignment` says.
    void ExportPixels(std::ptrdiff_t rowPitch, std::uint8_t* bits, std::uint32_t bitsPerPixel,
                      const ChannelMap* channelMap = nullptr, ProgressCallback progress = nullptr,
                      void* data = nullptr, SampleAlignment alignment = SampleAlignment::Top);
    // As ExportPixels without progress, for rows firstRow … firstRow + rowCount - 1 of the
    // exported image only, the first of them at `bits`: a writer can pass a large image through
    // a small buffer. Rows outside the image throw EINVAL; older bitmap files, whose samples pack
    // pixels across rows, export only whole (ErrorWrongFormat otherwise).
    void ExportPixelRows(std::uint32_t firstRow, std::uint32_t rowCount, std::ptrdiff_t rowPitch,
                         std::uint8_t* bits, std::uint32_t bitsPerPixel,
                         const ChannelMap* channelMap = nullptr,
                         SampleAlignment alignment = SampleAlignment::Top);
    // Size of the exported image at the current level (the region when one was read).
    std::uint32_t ExportWidth() const;
    std::uint32_t ExportHeight() const;

    void GetColorTable(int first, int count, std::uint8_t* entries) const;
    // Significant bits per channel of the samples.
    int ChannelDepth() const;
    static bool IsModeSupported(std::uint32_t mode);

    const QVTLeadIn& LeadIn() const { return m_leadIn; }
    const QVTHeader& Header() const { return m_header; }
    std::span<const std::uint32_t> LevelLengths() const { return m_levelLengths; }
    std::span<const std::uint8_t> UserData() const { return m_userData; }
    std::uint32_t UserDataLength() const { return m_userDataLength; }
    std::uint64_t UserDataPosition() const { return m_userDataPosition; }
    int CurrentLevel() const { return m_currentLevel; }
    std::uint32_t ChannelWidth(int c) const { return m_channels[c].width; }
    std::uint32_t ChannelHeight(int c) const { return m_channels[c].height; }
    bool ChromaHalved() const { return m_layout.chromaHalved; }
    int Quantisation() const { return m_layout.quantisation; }

    // --- Writing -------------------------------------------------------------------------
    // Prepares writing: completes the header, chooses the level count, allocates the planes.
    // Throws ErrorWrongFormat for a width or height of 0, ErrorOutOfMemory when the planes
    // cannot be allocated.
    void SetHeader(const QVTHeader& header, std::uint8_t flags = 0,
                   std::span<const std::uint8_t> userData = {});
    void SetColorTable(int first, int count, const std::uint8_t* entries);
    // The largest sample value of a 16- or 32-bit-per-channel image; decides the used bits.
    // 0 (no maximum known) keeps the full depth.
    void SetMaxChannelValue(std::uint32_t maximum);
    // Fills the channels from rows of the image's mode, then halves chroma when due.
    void ImportPixels(std::ptrdiff_t rowPitch, const std::uint8_t* bits, std::uint32_t bitsPerPixel,
                      const ChannelMap* channelMap = nullptr, ProgressCallback progress = nullptr,
                      void* data = nullptr, SampleAlignment alignment = SampleAlignment::Top);
    // As ImportPixels for rows firstRow … firstRow + rowCount - 1 only, the first of them at
    // `bits`, so that an image can be read and imported a strip at a time. Chroma is halved once
    // the strip that ends at the bottom row is in, so strips come in order from the top. Rows
    // outside the image throw EINVAL.
    void ImportPixelRows(std::uint32_t firstRow, std::uint32_t rowCount, std::ptrdiff_t rowPitch,
                         const std::uint8_t* bits, std::uint32_t bitsPerPixel,
                         const ChannelMap* channelMap = nullptr,
                         SampleAlignment alignment = SampleAlignment::Top);
    // Writes head and levels; adds the bytes of both to *writtenBytes when given and returns
    // the bytes of the level-length table and level data.
    std::uint64_t Write(CQVTStream& stream, std::uint64_t* writtenBytes = nullptr,
                        ProgressCallback progress = nullptr, void* data = nullptr);

    void Close();

    // --- Options ---------------------------------------------------------------------------
    void SetRefreshCallback(RefreshCallback callback, void* data) {
        m_refresh = callback;
        m_refreshData = data;
    }
    void SetUserDataPolicy(std::uint32_t policy) { m_userDataPolicy = policy; }
    void SetFavorSpeed(bool favorSpeed) { m_favorSpeed = favorSpeed; }
    void SetParallel(bool encoding, bool decoding) {
        m_parallelEncoding = encoding;
        m_parallelDecoding = decoding;
    }
    // Threads for the channel passes and code-block batches; 0 = the parallel runtime's default
    // team size. Only this object's own loops use it. The stored bytes and decoded samples do
    // not depend on it.
    void SetThreadCount(int threads) { m_threadCount = threads; }
    // The threads those loops take.
    int ThreadCount() const;
    // In absolute mode the progress value continues across calls instead of restarting.
    void SetAbsoluteProgress(bool absolute) { m_absoluteProgress = absolute; }

protected:
    // Forgets the stream being read (its owner is about to close it). The decoded image stays;
    // further decoding is refused.
    void ReleaseStream();

private:
    std::uint64_t WriteHead(CQVTStream& stream);
    std::uint64_t WriteLevels(CQVTStream& stream, ProgressCallback progress, void* data);
    // Imports rows into the full-size planes; halves chroma after the bottom row.
    void ImportRows(std::uint32_t firstRow, std::uint32_t rowCount, std::ptrdiff_t rowPitch,
                    const std::uint8_t* bits, std::uint32_t bitsPerPixel, const PixelExchange& how);
    // Every level's bands go to the encoder in one stream of blocks, which the threads share
    // out whole; levelDone() follows each level.
    void EncodeWholeLevels(const std::function<void()>& levelDone);
    // A level of a region file, tile by tile.
    void EncodeLevelInTiles(int level);
    // Band buffers are allocated before their values are read, and a damaged header can announce
    // far more samples than the file holds: a level whose samples could not be coded in the
    // bytes left is refused (ErrorShortRead) before anything is allocated for it.
    void CheckLevelCanBeCoded(int level) const;
    bool LevelsCanBeCoded(int finest, int coarsest) const;
    // Places the bands still to be decoded down to targetLevel inside its plane (whole-band
    // reads of files that code bands separately), so the inverse passes move no band.
    void LayOutLevels(int targetLevel);
    void DecodeLevel(int level);
    // Visits a level's bands in the order the stream holds them: channel by channel, the LL band
    // first at the top level, then HL, LH and HH.
    template <typename Visit>
    void ForEachBandInStream(int level, Visit visit) const {
        for (int c = 0; c < m_header.channels; ++c) {
            CWaveletPyramid& pyramid = *m_channels[c].pyramid;
            if (level == m_header.levels) visit(pyramid.Band(level, BandOrientation::LL));
            for (BandOrientation orientation : kDetailBands)
                visit(pyramid.Band(level, orientation));
        }
    }
    // The samples of a level's bands within their regions, its LL band's too at the top: for a
    // whole read, the level's values in the stream.
    std::uint64_t LevelValues(int level) const;
    // A level's bands, sized, as placed from stored blocks whose values of the level begin at
    // `first`.
    std::vector<StoredBand> LevelBands(int level, std::uint64_t first);
    void DecodeRegionLevel(int level);
    void FinishDecodedLevel(int level, double& fraction, ProgressCallback progress, void* data);
    void RestartFromTop();
    double StartFraction(int targetLevel) const;
    ChannelImage DescribeChannels() const;
    ExportArea ExportAreaNow(const ChannelImage& image) const;
    // ExportAreaNow once a level is decoded (EINVAL before).
    ExportArea DecodedArea(const ChannelImage& image) const;
    bool HasRegionSupport() const { return (m_leadIn.version & kVersionRegion) != 0; }

    std::array<ChannelPlane, kMaxChannels> m_channels;
    std::unique_ptr<CBlockDecoder> m_decoder;
    std::unique_ptr<CLastLevelRows> m_lastLevelRows;
    std::unique_ptr<CBlockEncoder> m_encoder;
    std::unique_ptr<CQVTHeadWriter> m_headWriter;
    CQVTStream* m_stream = nullptr; // the stream being read, not owned
    std::vector<std::uint32_t> m_levelLengths;

    QVTLeadIn m_leadIn;
    QVTHeader m_header;
    ChannelLayout m_layout;
    ColorTable m_colorTable{};
    std::vector<std::uint8_t> m_userData;
    std::uint32_t m_userDataLength = 0;
    std::uint64_t m_userDataPosition = 0;
    std::uint64_t m_levelDataStart = 0;

    int m_currentLevel = 0;
    std::uint32_t m_userDataPolicy = kDefaultUserDataPolicy;
    bool m_favorSpeed = false;
    bool m_parallelEncoding = true;
    bool m_parallelDecoding = true;
    int m_threadCount = 0;
    bool m_hasRegion = false; // a region read has set m_region
    RegionRect m_region;

    RefreshCallback m_refresh = nullptr;
    void* m_refreshData = nullptr;
    double m_progress = 0;
    bool m_absoluteProgress = false;
};
