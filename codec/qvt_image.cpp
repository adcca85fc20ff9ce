#include "qvt_image.h"

#include "block_decoder.h"
#include "block_encoder.h"
#include "chroma_reduction.h"
#include "code_bits.h"
#include "pixel_export.h"
#include "pixel_import.h"
#include "quantize.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <omp.h>

namespace {

// Below this smaller side no further level is added when the writer chooses the count itself.
constexpr std::uint64_t kCoarsestPreferredSide = 100;
// The smaller side of the coarsest level is never below this.
constexpr std::uint64_t kCoarsestMinimumSide = 5;

// The level count for an image: the requested count (1 to 30) as an upper bound, or by default
// enough halvings to bring the smaller side to 100 or less; never so many that the coarsest
// level's smaller side drops below 5.
int ChooseLevelCount(std::uint32_t width, std::uint32_t height, int requested) {
    const std::uint64_t smaller = std::min(width, height);
    int levels = requested;
    if (levels == 0 || levels > kMaxLevels) {
        levels = 1;
        for (std::uint64_t side = smaller; side > kCoarsestPreferredSide; side /= 2)
            ++levels;
    }
    while (levels > 0 && smaller < (kCoarsestMinimumSide << levels))
        --levels;
    return std::clamp(levels, 0, kMaxLevels);
}

// The fewest bytes a stored block takes: its word count and one code word.
constexpr std::uint64_t kMinStoredBlockBytes = 6;

double ProgressAtLevel(int levelsToGo) { return std::pow(0.25, levelsToGo); }

// Value scaled down to a level, rounding up: ceil(value / 2^level).
std::uint32_t ScaleUp(std::uint32_t value, int level) {
    if (level == 0) return value;
    return static_cast<std::uint32_t>((std::uint64_t{value} + (std::uint64_t{1} << level) - 1) >>
                                      level);
}

void AddWholeBand(CBlockEncoder& encoder, const CWaveletBand& band) {
    encoder.AddBand(band, band.width, band.height, 0, band.width);
}

constexpr BandOrientation kDetailBands[] = {BandOrientation::HL, BandOrientation::LH,
                                            BandOrientation::HH};

} // namespace

CQVTImage::CQVTImage() = default;

CQVTImage::~CQVTImage() = default;

bool CQVTImage::IsModeSupported(std::uint32_t mode) { return ::IsModeSupported(mode); }

int CQVTImage::ThreadCount() const {
    return m_threadCount > 0 ? m_threadCount : omp_get_num_procs();
}

int CQVTImage::ChannelDepth() const {
    if (m_header.channels == 0) return 0;
    const int depth = m_header.bitsPerPixel / m_header.channels;
    return depth < 9 ? depth : m_header.usedBitsPerChannel;
}

void CQVTImage::Close() {
    m_encoder.reset();
    m_headWriter.reset();
    m_decoder.reset();
    m_channels = {};
    m_stream = nullptr;
    m_levelLengths.clear();
    m_leadIn = {};
    m_header = {};
    m_layout = {};
    m_colorTable = {};
    m_userData.clear();
    m_userDataLength = 0;
    m_userDataPosition = 0;
    m_levelDataStart = 0;
    m_currentLevel = 0;
    m_hasRegion = false;
    m_region = {};
    m_progress = 0;
}

void CQVTImage::ReleaseStream() {
    m_decoder.reset();
    m_stream = nullptr;
}

// --- Reading ---------------------------------------------------------------------------------

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
    while (m_currentLevel > level) {
        DecodeLevel(m_currentLevel);
        FinishDecodedLevel(m_currentLevel, fraction, progress, data);
    }
}

void CQVTImage::ReadRegion(const RegionRect& rect, int level, ProgressCallback progress,
                           void* data) {
    if (m_header.levels == 0 || !HasRegionSupport()) {
        Read(level, progress, data);
        return;
    }
    if (!m_decoder) ThrowCodecError(EBADF);
    RegionRect region = rect;
    if (region.right == 0 || region.right > m_header.width) region.right = m_header.width;
    if (region.bottom == 0 || region.bottom > m_header.height) region.bottom = m_header.height;
    if (region.left >= region.right || region.top >= region.bottom) ThrowCodecError(EINVAL);

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
    while (m_currentLevel > level) {
        DecodeRegionLevel(m_currentLevel);
        FinishDecodedLevel(m_currentLevel, fraction, progress, data);
    }
}

void CQVTImage::RestartFromTop() {
    m_currentLevel = m_header.levels;
    m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(m_levelDataStart));
    m_decoder->ResetBatch();
    // Until the first level is decoded again there is no plane to export.
    for (int c = 0; c < m_header.channels; ++c) {
        m_channels[c].data = nullptr;
        m_channels[c].width = 0;
        m_channels[c].height = 0;
    }
}

void CQVTImage::CheckLevelCanBeCoded(int level) const {
    std::uint64_t samples = 0;
    for (int c = 0; c < m_header.channels; ++c) {
        const CWaveletPyramid& pyramid = *m_channels[c].pyramid;
        if (level == m_header.levels)
            samples += pyramid.Band(level, BandOrientation::LL).RegionSampleCount();
        for (BandOrientation orientation : kDetailBands)
            samples += pyramid.Band(level, orientation).RegionSampleCount();
    }
    // Blocks the decoder has read ahead are no longer in the stream; allow a batch of them.
    const std::uint64_t blocks = RemainingBytes(*m_stream) / kMinStoredBlockBytes +
                                 static_cast<std::uint64_t>(m_decoder->BlockCount());
    if (samples / kBlockValues > blocks) ThrowCodecError(ErrorShortRead);
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
    // Every pixel the rectangle touches at full size keeps its pixel at this level: edges are
    // rounded outwards. Rounding the left and top edges up as well would make a rectangle
    // narrower than 2^level pixels vanish.
    const int level = m_currentLevel;
    return {m_region.left >> level, m_region.top >> level, ScaleUp(m_region.right, level),
            ScaleUp(m_region.bottom, level)};
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
                           m_channels[c].width};
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

std::uint32_t CQVTImage::ExportWidth() const {
    const ChannelImage image = DescribeChannels();
    return ExportAreaNow(image).width;
}

std::uint32_t CQVTImage::ExportHeight() const {
    const ChannelImage image = DescribeChannels();
    return ExportAreaNow(image).height;
}

void CQVTImage::ExportPixels(std::ptrdiff_t rowPitch, std::uint8_t* bits,
                             std::uint32_t bitsPerPixel, const ChannelMap* channelMap,
                             ProgressCallback progress, void* data, SampleAlignment alignment) {
    // Until the first level is decoded there are no planes, only their pyramids.
    if (m_header.levels > 0 && m_currentLevel == m_header.levels) ThrowCodecError(EINVAL);
    const ChannelImage image = DescribeChannels();
    const ExportArea area = ExportAreaNow(image);
    ExportPixelRows(image, bits, rowPitch, bitsPerPixel, {channelMap, alignment, progress, data},
                    &area);
}

void CQVTImage::GetColorTable(int first, int count, std::uint8_t* entries) const {
    if (first < 0 || count < 0 || first + count > 256) ThrowCodecError(ErrorColorTable);
    std::memcpy(entries, m_colorTable.data() + 4 * first, 4 * static_cast<std::size_t>(count));
}

// --- Writing ---------------------------------------------------------------------------------

void CQVTImage::SetHeader(const QVTHeader& header, std::uint8_t flags,
                          std::span<const std::uint8_t> userData) {
    Close();
    // A zero side has no level count and no samples; nothing sensible could be written.
    if (header.width == 0 || header.height == 0) ThrowCodecError(ErrorWrongFormat);
    m_leadIn.version = static_cast<std::uint8_t>(kVersionWritten | flags);
    m_leadIn.headerSize = kHeaderSize;
    m_header = header;
    m_header.quality = std::min<std::uint8_t>(m_header.quality, 31);
    // An invalid header is still written as it stands; only a channel count the object cannot
    // hold is refused.
    CompleteHeader(m_header);
    if (m_header.channels > kMaxChannels) ThrowCodecError(ErrorWrongFormat);
    m_header.levels =
        static_cast<std::uint8_t>(ChooseLevelCount(m_header.width, m_header.height, header.levels));
    m_progress = ProgressAtLevel(m_header.levels);
    m_layout = DeriveChannelLayout(m_header);
    if (m_header.mode == ModeIndexed) m_leadIn.headerSize += kColorTableSize;
    const std::size_t kept = std::min<std::size_t>(userData.size(), kMaxUserDataLength);
    m_userData.assign(userData.begin(), userData.begin() + static_cast<std::ptrdiff_t>(kept));
    m_userDataLength = static_cast<std::uint32_t>(kept);
    m_leadIn.headerSize += m_userDataLength;

    const std::uint64_t samples = std::uint64_t{m_header.width} * m_header.height;
    for (int c = 0; c < m_header.channels; ++c) {
        ChannelPlane& channel = m_channels[c];
        channel.ownedData = TryAllocateSamples(samples);
        if (!channel.ownedData) {
            m_channels = {};
            ThrowCodecError(ErrorOutOfMemory);
        }
        channel.data = channel.ownedData.get();
        channel.width = m_header.width;
        channel.height = m_header.height;
    }
}

void CQVTImage::SetColorTable(int first, int count, const std::uint8_t* entries) {
    if (first < 0 || count < 0 || first + count > 256) ThrowCodecError(ErrorColorTable);
    std::memcpy(m_colorTable.data() + 4 * first, entries, 4 * static_cast<std::size_t>(count));
}

void CQVTImage::SetMaxChannelValue(std::uint32_t maximum) {
    // No known maximum: keep the full depth rather than declare samples without bits.
    if (maximum == 0 || m_header.channels == 0) return;
    const int depth = std::min(m_header.bitsPerPixel / m_header.channels, 31);
    m_header.usedBitsPerChannel =
        static_cast<std::uint8_t>(std::min(static_cast<int>(std::bit_width(maximum)), depth));
}

void CQVTImage::ImportPixels(std::ptrdiff_t rowPitch, const std::uint8_t* bits,
                             std::uint32_t bitsPerPixel, const ChannelMap* channelMap,
                             ProgressCallback progress, void* data, SampleAlignment alignment) {
    ChannelImage image = DescribeChannels();
    image.chromaHalved = false; // the planes are full-size until reduced below
    ImportPixelRows(image, bits, rowPitch, bitsPerPixel, {channelMap, alignment, progress, data});
    if (!m_layout.chromaHalved || m_header.channels < 2) return;
    ReduceChromaChannels(image);
    for (int c = 1; c < m_header.channels; ++c) {
        m_channels[c].width = image.planes[c].width;
        m_channels[c].height = image.planes[c].height;
    }
}

std::uint64_t CQVTImage::Write(CQVTStream& stream, std::uint64_t* writtenBytes,
                               ProgressCallback progress, void* data) {
    const std::uint64_t headBytes = WriteHead(stream);
    const std::uint64_t levelBytes = WriteLevels(stream, progress, data);
    if (writtenBytes) *writtenBytes += headBytes + levelBytes;
    return levelBytes;
}

std::uint64_t CQVTImage::WriteHead(CQVTStream& stream) {
    const std::uint64_t start = stream.GetPos();
    if (m_header.levels > 0) {
        const std::span<ChannelPlane> channels(m_channels.data(), m_header.channels);
        if (const std::uint32_t code =
                RunForwardPass(channels, m_header.levels, m_layout.quantisation, ThreadCount())) {
            m_channels = {};
            ThrowCodecError(code);
        }
        m_currentLevel = m_header.levels;
    }
    m_headWriter = std::make_unique<CQVTHeadWriter>(stream, m_leadIn.version, m_header,
                                                    m_colorTable, m_userData);
    m_leadIn = m_headWriter->LeadIn();
    m_userDataPosition = m_headWriter->UserDataPosition();
    if (m_header.levels > 0) {
        m_encoder = std::make_unique<CBlockEncoder>(stream, m_header.levels, m_parallelEncoding,
                                                    ThreadCount());
        m_encoder->SetFavorSpeed(m_favorSpeed);
        m_encoder->SetUseRegionBlocks(HasRegionSupport());
    }
    return stream.GetPos() - start;
}

std::uint64_t CQVTImage::WriteLevels(CQVTStream& stream, ProgressCallback progress, void* data) {
    double fraction = ProgressAtLevel(m_header.levels);
    m_headWriter->BeginLevelData(m_header.levels);
    if (m_header.levels > 0) {
        m_encoder->StartLevelLengths();
        while (m_currentLevel > 0) {
            EncodeLevel(m_currentLevel);
            --m_currentLevel;
            fraction *= 4;
            ReportProgress(progress, fraction, data);
        }
        m_encoder->FlushLast();
        m_levelLengths = m_encoder->LevelLengths();
    } else {
        std::array<const std::int32_t*, kMaxChannels> planes{};
        for (int c = 0; c < m_header.channels; ++c)
            planes[c] = m_channels[c].data;
        WriteRawChannels(stream, m_layout, std::span(planes.data(), m_header.channels));
        ReportProgress(progress, 1.0, data);
    }
    const std::uint64_t bytes = m_headWriter->FinishLevelData(m_levelLengths);
    m_encoder.reset();
    m_headWriter.reset();
    return bytes;
}

void CQVTImage::EncodeLevel(int level) {
    CBlockEncoder& encoder = *m_encoder;
    const int levels = m_header.levels;
    const int lastChannel = m_header.channels - 1;
    const bool regionBlocks = HasRegionSupport();
    const std::uint32_t tiles = std::uint32_t{1} << (levels - level);
    for (int c = 0; c <= lastChannel; ++c) {
        const CWaveletPyramid& pyramid = *m_channels[c].pyramid;
        if (level == levels) {
            AddWholeBand(encoder, pyramid.Band(level, BandOrientation::LL));
            if (regionBlocks) encoder.FinishTile();
        }
        if (!regionBlocks) {
            for (BandOrientation orientation : kDetailBands)
                AddWholeBand(encoder, pyramid.Band(level, orientation));
            continue;
        }
        for (std::uint32_t ty = 0; ty < tiles; ++ty) {
            for (std::uint32_t tx = 0; tx < tiles; ++tx) {
                for (BandOrientation orientation : kDetailBands)
                    encoder.AddBandTile(pyramid.Band(level, orientation), tx, ty);
                if (c == lastChannel && tx == tiles - 1 && ty == tiles - 1)
                    encoder.MarkLevelEnd(levels - level);
                encoder.FinishTile();
            }
        }
    }
    if (!regionBlocks) encoder.MarkLevelEnd(levels - level);
}
