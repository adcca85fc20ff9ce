// Reading: the head, progressive and region decoding level by level, and the export of the
// decoded planes.
#include "qvt_image.h"

#include "block_decoder.h"
#include "code_bits.h"
#include "last_level_rows.h"
#include "pixel_export.h"
#include "quantize.h"
#include "qvt_image_internal.h"
#include "region_at_level.h"
#include "stored_bands.h"

#include <algorithm>
#include <cerrno>

namespace {

// The fewest bytes a stored block takes: its word count and one code word.
constexpr std::uint64_t kMinStoredBlockBytes = 6;

} // namespace

void CQVTImage::Open(CQVTStream& stream) {
    Close();
    try {
        QVTHead head = ReadHead(stream, m_userDataPolicy);
        m_leadIn = head.leadIn;
        m_header = head.header;
        m_layout = head.layout;
        m_colorTable = head.colorTable;
        if (head.userData)
            m_userData.assign(head.userData.get(), head.userData.get() + head.keptUserDataLength);
        m_userDataLength = head.userDataLength;
        m_userDataPosition = head.userDataPosition;
        m_levelLengths = head.levelLengths;
        m_levelDataStart = head.LevelDataStart();
        m_currentLevel = m_header.levels;
        m_stream = &stream;

        const int channels = m_header.channels;
        for (int c = 0; c < channels; ++c) {
            m_channels[c].width = m_layout.widths[c];
            m_channels[c].height = m_layout.heights[c];
        }
        if (m_header.levels == 0) {
            std::vector<SampleBuffer> planes = ReadRawChannels(stream, head);
            for (int c = 0; c < channels; ++c) {
                m_channels[c].ownedData = std::move(planes[c]);
                m_channels[c].data = m_channels[c].ownedData.get();
                m_channels[c].stride = m_channels[c].width;
            }
            return;
        }
        for (int c = 0; c < channels; ++c)
            m_channels[c].pyramid = std::make_unique<CWaveletPyramid>(
                m_channels[c].width, m_channels[c].height, m_header.levels);
        m_decoder = std::make_unique<CBlockDecoder>(stream, m_parallelDecoding, ThreadCount());
        m_progress = ProgressAtLevel(m_header.levels);
    } catch (...) {
        Close();
        throw;
    }
}

double CQVTImage::StartFraction(int targetLevel) const {
    return m_absoluteProgress ? m_progress : ProgressAtLevel(m_currentLevel - targetLevel);
}

void CQVTImage::Read(int level, ProgressCallback progress, void* data) {
    if (m_header.levels > 0 && HasRegionSupport()) {
        // Region files are always decoded tile by tile; the whole image is just a large region.
        ReadRegion({0, 0, m_header.width, m_header.height}, level, progress, data);
        return;
    }
    if (m_header.levels == 0) {
        if (level == 0) ReportProgress(progress, 1.0, data);
        return;
    }
    if (!m_decoder) {
        if (m_currentLevel > level) ThrowCodecError(EBADF);
        return;
    }
    double fraction = StartFraction(level);
    LayOutLevels(level);
    while (m_currentLevel > level) {
        DecodeLevel(m_currentLevel);
        FinishDecodedLevel(m_currentLevel, fraction, progress, data);
    }
}

bool CQVTImage::ReadForRows(ProgressCallback progress, void* data) {
    const bool separateBands = (m_leadIn.version & kVersionSeparateBands) != 0;
    // Older bitmap files pack pixels across rows and export only whole. The code of every level
    // is read at once, so a header must not announce more than the file can hold; a whole read
    // refuses such a file where a decoder taking the blocks in order meets its end.
    if (m_header.levels < 2 || !m_decoder || m_currentLevel != m_header.levels ||
        HasRegionSupport() || !separateBands || m_layout.chromaHalved ||
        m_header.mode == ModeBitmap || !LevelsCanBeCoded(1, m_header.levels))
        return false;
    double fraction = StartFraction(1);
    LayOutLevels(1);
    // The values of every level follow one another: the levels above the last come first.
    std::uint64_t lastLevelFirst = 0;
    for (int level = m_header.levels; level >= 2; --level)
        lastLevelFirst += LevelValues(level);
    const std::vector<std::uint64_t> lastStarts = CLastLevelRows::BandStarts(
        m_layout.widths[0], m_layout.heights[0], m_header.channels, lastLevelFirst);
    std::vector<std::unique_ptr<CStoredBlocks>> readers;
    readers.push_back(std::make_unique<CStoredBlocks>(
        *m_decoder, lastStarts.back(), 3 * m_header.channels,
        std::vector<std::uint64_t>(lastStarts.begin(), lastStarts.end() - 1),
        RemainingBytes(*m_stream)));
    // The blocks are all read: the levels can no longer be decoded in batches.
    m_decoder.reset();
    while (static_cast<int>(readers.size()) < ThreadCount())
        readers.push_back(readers.front()->Share());
    std::uint64_t levelFirst = 0;
    for (int level = m_header.levels; level >= 2; --level) {
        PlaceStoredBands(LevelBands(level, levelFirst), readers);
        levelFirst += LevelValues(level);
        FinishDecodedLevel(level, fraction, progress, data);
    }
    const int q = m_layout.quantisation;
    ChannelImage lowPlanes = DescribeChannels();
    lowPlanes.width = m_layout.widths[0];
    lowPlanes.height = m_layout.heights[0];
    m_lastLevelRows =
        std::make_unique<CLastLevelRows>(lowPlanes,
                                         std::array<int, 3>{BandShift(BandOrientation::HL, 1, q),
                                                            BandShift(BandOrientation::LH, 1, q),
                                                            BandShift(BandOrientation::HH, 1, q)},
                                         std::move(readers.front()), lastLevelFirst);
    return true;
}

std::uint64_t CQVTImage::LevelValues(int level) const {
    std::uint64_t values = 0;
    ForEachBandInStream(level,
                        [&](const CWaveletBand& band) { values += band.RegionSampleCount(); });
    return values;
}

std::vector<StoredBand> CQVTImage::LevelBands(int level, std::uint64_t first) {
    const int q = m_layout.quantisation;
    std::vector<StoredBand> bands;
    ForEachBandInStream(level, [&](CWaveletBand& band) {
        // Sized only once the level comes, as a whole read sizes it.
        if (!band.SizeForRegion()) ThrowCodecError(ErrorOutOfMemory);
        if (band.region != RegionRect{0, 0, band.width, band.height})
            ThrowCodecError(ErrorWrongFormat);
        bands.push_back({first, band.width, band.height, band.Samples(), band.Pitch(),
                         BandShift(band.orientation, band.level, q)});
        first += band.RegionSampleCount();
    });
    return bands;
}

std::vector<std::uint32_t> CQVTImage::SplitRowsIntoRuns(int runs) {
    if (!m_lastLevelRows) return {};
    return m_lastLevelRows->SplitIntoRuns(runs);
}

void CQVTImage::ReadRegion(const RegionRect& rect, int level, ProgressCallback progress,
                           void* data) {
    if (m_header.levels == 0 || !HasRegionSupport()) {
        Read(level, progress, data);
        return;
    }
    if (!m_decoder) ThrowCodecError(EBADF);
    const RegionRect region = ClipRegionToImage(rect, m_header.width, m_header.height);
    if (region.IsEmpty()) ThrowCodecError(EINVAL);

    // Coarser levels decoded for another rectangle lack the tiles this one needs.
    if (!m_hasRegion || region != m_region) {
        RestartFromTop();
        m_region = region;
        m_hasRegion = true;
        m_decoder->SetUseRegionBlocks(true);
        const RegionRect chroma{
            region.left >> 1, region.top >> 1,
            static_cast<std::uint32_t>((std::uint64_t{region.right} + 1) >> 1),
            static_cast<std::uint32_t>((std::uint64_t{region.bottom} + 1) >> 1)};
        for (int c = 0; c < m_header.channels; ++c)
            m_channels[c].pyramid->SetRegion(c > 0 && m_layout.chromaHalved ? chroma : region);
    }
    double fraction = StartFraction(level);
    LayOutLevels(level);
    while (m_currentLevel > level) {
        DecodeRegionLevel(m_currentLevel);
        FinishDecodedLevel(m_currentLevel, fraction, progress, data);
    }
}

void CQVTImage::RestartFromTop() {
    m_currentLevel = m_header.levels;
    // Absolute progress counts the levels of this read, not those of the read it replaces.
    m_progress = ProgressAtLevel(m_header.levels);
    m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(m_levelDataStart));
    m_decoder->ResetBatch();
    // Until the first level is decoded again there is no plane to export.
    for (int c = 0; c < m_header.channels; ++c) {
        m_channels[c].data = nullptr;
        m_channels[c].width = 0;
        m_channels[c].height = 0;
    }
}

bool CQVTImage::LevelsCanBeCoded(int finest, int coarsest) const {
    std::uint64_t samples = 0;
    for (int level = finest; level <= coarsest; ++level)
        samples += LevelValues(level);
    // Blocks the decoder has read ahead are no longer in the stream; allow a batch of them.
    const std::uint64_t blocks = RemainingBytes(*m_stream) / kMinStoredBlockBytes +
                                 static_cast<std::uint64_t>(m_decoder->BlockCount());
    return samples / kBlockValues <= blocks;
}

void CQVTImage::CheckLevelCanBeCoded(int level) const {
    if (!LevelsCanBeCoded(level, level)) ThrowCodecError(ErrorShortRead);
}

void CQVTImage::LayOutLevels(int targetLevel) {
    // Old files code HL and LH interleaved, in an order that fills only buffers of their own.
    const bool separateBands = (m_leadIn.version & kVersionSeparateBands) != 0;
    if (!separateBands && !HasRegionSupport()) return;
    // The target plane is allocated up front; a header that announces more samples than the
    // file can hold keeps the level-by-level allocation, which refuses the level that cannot be
    // coded after the coarser ones were decoded.
    if (targetLevel >= m_currentLevel || !LevelsCanBeCoded(targetLevel + 1, m_currentLevel)) return;
    for (int c = 0; c < m_header.channels; ++c)
        if (const std::uint32_t code =
                m_channels[c].pyramid->LayOutLevels(m_currentLevel, targetLevel))
            ThrowCodecError(code);
}

void CQVTImage::DecodeLevel(int level) {
    CheckLevelCanBeCoded(level);
    const int q = m_layout.quantisation;
    const bool separateBands = (m_leadIn.version & kVersionSeparateBands) != 0;
    for (int c = 0; c < m_header.channels; ++c) {
        CWaveletPyramid& pyramid = *m_channels[c].pyramid;
        if (level == m_header.levels)
            m_decoder->PlaceBand(pyramid.Band(level, BandOrientation::LL), q);
        CWaveletBand& hl = pyramid.Band(level, BandOrientation::HL);
        CWaveletBand& lh = pyramid.Band(level, BandOrientation::LH);
        if (separateBands) {
            m_decoder->PlaceBand(hl, q);
            m_decoder->PlaceBand(lh, q);
        } else {
            m_decoder->PlaceInterleaved(hl, lh, q);
        }
        m_decoder->PlaceBand(pyramid.Band(level, BandOrientation::HH), q);
    }
}

void CQVTImage::DecodeRegionLevel(int level) {
    CheckLevelCanBeCoded(level);
    const int q = m_layout.quantisation;
    const std::uint32_t tiles = std::uint32_t{1} << (m_header.levels - level);
    for (int c = 0; c < m_header.channels; ++c) {
        CWaveletPyramid& pyramid = *m_channels[c].pyramid;
        if (level == m_header.levels) {
            m_decoder->NextBlock();
            m_decoder->PlaceBand(pyramid.Band(level, BandOrientation::LL), q);
        }
        const TileRect& wanted = pyramid.TileRects()[static_cast<std::size_t>(level)];
        for (std::uint32_t ty = 0; ty < tiles; ++ty) {
            for (std::uint32_t tx = 0; tx < tiles; ++tx) {
                if (tx < wanted.left || tx >= wanted.right || ty < wanted.top ||
                    ty >= wanted.bottom) {
                    m_decoder->SkipTile();
                    continue;
                }
                m_decoder->NextBlock();
                for (BandOrientation orientation : kDetailBands)
                    m_decoder->PlaceBandTile(pyramid.Band(level, orientation), q, tx, ty);
            }
        }
    }
}

void CQVTImage::FinishDecodedLevel(int level, double& fraction, ProgressCallback progress,
                                   void* data) {
    const std::span<ChannelPlane> channels(m_channels.data(), m_header.channels);
    if (const std::uint32_t code = RunInversePass(channels, level, ThreadCount()))
        ThrowCodecError(code);
    m_currentLevel = level - 1;
    if (m_refresh) m_refresh(m_refreshData);
    fraction *= 4;
    if (m_absoluteProgress) m_progress = fraction;
    ReportProgress(progress, fraction, data);
}

RegionRect CQVTImage::CurrentRegion() const {
    const int level = m_currentLevel;
    return RegionAtLevel(m_region, level, CeilAtLevel(m_header.width, level),
                         CeilAtLevel(m_header.height, level));
}

ChannelImage CQVTImage::DescribeChannels() const {
    ChannelImage image;
    image.mode = m_header.mode;
    image.width = m_channels[0].width;
    image.height = m_channels[0].height;
    image.channels = m_header.channels;
    image.sampleBits = static_cast<std::uint8_t>(ChannelDepth());
    image.version = m_leadIn.version;
    image.chromaHalved = m_layout.chromaHalved;
    for (int c = 0; c < m_header.channels; ++c)
        image.planes[c] = {m_channels[c].data, m_channels[c].width, m_channels[c].height,
                           static_cast<std::uint32_t>(m_channels[c].stride)};
    return image;
}

ExportArea CQVTImage::ExportAreaNow(const ChannelImage& image) const {
    if (!m_hasRegion || m_header.levels == 0) return WholeImageArea(image);
    std::array<PlaneOrigin, kMaxChannels> decodedTopLeft{};
    for (int c = 0; c < m_header.channels; ++c) {
        const RegionRect& decoded =
            m_channels[c].pyramid->Band(m_currentLevel, BandOrientation::LL).region;
        decodedTopLeft[c] = {decoded.left, decoded.top};
    }
    return RegionExportArea(image, CurrentRegion(), decodedTopLeft);
}

ExportArea CQVTImage::DecodedArea(const ChannelImage& image) const {
    // Until the first level is decoded there are no planes, only their pyramids.
    if (m_header.levels > 0 && m_currentLevel == m_header.levels) ThrowCodecError(EINVAL);
    return ExportAreaNow(image);
}

std::uint32_t CQVTImage::ExportWidth() const {
    if (m_lastLevelRows) return m_layout.widths[0];
    const ChannelImage image = DescribeChannels();
    return ExportAreaNow(image).width;
}

std::uint32_t CQVTImage::ExportHeight() const {
    if (m_lastLevelRows) return m_layout.heights[0];
    const ChannelImage image = DescribeChannels();
    return ExportAreaNow(image).height;
}

void CQVTImage::ExportPixels(std::ptrdiff_t rowPitch, std::uint8_t* bits,
                             std::uint32_t bitsPerPixel, const ChannelMap* channelMap,
                             ProgressCallback progress, void* data, SampleAlignment alignment) {
    if (m_lastLevelRows) {
        m_lastLevelRows->ExportAll(bits, rowPitch, bitsPerPixel,
                                   {channelMap, alignment, nullptr, nullptr, 1}, ThreadCount());
        ReportProgress(progress, 1.0, data);
        return;
    }
    const ChannelImage image = DescribeChannels();
    const ExportArea area = DecodedArea(image);
    ::ExportPixelRows(image, bits, rowPitch, bitsPerPixel,
                      {channelMap, alignment, progress, data, ThreadCount()}, &area);
}

void CQVTImage::ExportPixelRows(std::uint32_t firstRow, std::uint32_t rowCount,
                                std::ptrdiff_t rowPitch, std::uint8_t* bits,
                                std::uint32_t bitsPerPixel, const ChannelMap* channelMap,
                                SampleAlignment alignment) {
    if (m_lastLevelRows) {
        m_lastLevelRows->ExportRows(firstRow, rowCount, bits, rowPitch, bitsPerPixel,
                                    {channelMap, alignment, nullptr, nullptr, 1});
        return;
    }
    const ChannelImage image = DescribeChannels();
    const ExportArea area = DecodedArea(image);
    if (firstRow > area.height || rowCount > area.height - firstRow) ThrowCodecError(EINVAL);
    const ExportArea rows = AreaRows(image, area, firstRow, rowCount);
    ::ExportPixelRows(image, bits, rowPitch, bitsPerPixel,
                      {channelMap, alignment, nullptr, nullptr, ThreadCount()}, &rows);
}
