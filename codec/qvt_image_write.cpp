// Writing: header set-up with the level count, import of pixel rows, the forward transform and
// the level loop that feeds the block encoder.
#include "qvt_image.h"

#include "band_order.h"
#include "block_encoder.h"
#include "chroma_reduction.h"
#include "pixel_import.h"
#include "qvt_image_internal.h"

#include <algorithm>
#include <bit>

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

void AddWholeBand(CBlockEncoder& encoder, const CWaveletBand& band) {
    encoder.AddBand(band, band.width, band.height, 0, band.Pitch());
}

} // namespace

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
        channel.stride = m_header.width;
        channel.width = m_header.width;
        channel.height = m_header.height;
    }
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
    ImportRows(0, m_header.height, rowPitch, bits, bitsPerPixel,
               {channelMap, alignment, progress, data, ThreadCount()});
}

void CQVTImage::ImportPixelRows(std::uint32_t firstRow, std::uint32_t rowCount,
                                std::ptrdiff_t rowPitch, const std::uint8_t* bits,
                                std::uint32_t bitsPerPixel, const ChannelMap* channelMap,
                                SampleAlignment alignment) {
    if (firstRow > m_header.height || rowCount > m_header.height - firstRow)
        ThrowCodecError(EINVAL);
    ImportRows(firstRow, rowCount, rowPitch, bits, bitsPerPixel,
               {channelMap, alignment, nullptr, nullptr, ThreadCount()});
}

void CQVTImage::ImportRows(std::uint32_t firstRow, std::uint32_t rowCount, std::ptrdiff_t rowPitch,
                           const std::uint8_t* bits, std::uint32_t bitsPerPixel,
                           const PixelExchange& how) {
    ChannelImage image = DescribeChannels();
    // Every plane is imported at full size; halved chroma planes are reduced afterwards.
    image.chromaHalved = false;
    image.height = rowCount;
    for (int c = 0; c < m_header.channels; ++c) {
        SamplePlane& plane = image.planes[c];
        plane.samples += std::size_t{firstRow} * plane.stride;
        plane.height = rowCount;
    }
    ::ImportPixelRows(image, bits, rowPitch, bitsPerPixel, how);
    if (firstRow + rowCount < m_header.height) return;
    image = DescribeChannels();
    image.chromaHalved = m_layout.chromaHalved;
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
        const auto levelDone = [&] {
            --m_currentLevel;
            fraction *= 4;
            ReportProgress(progress, fraction, data);
        };
        if (HasRegionSupport()) {
            while (m_currentLevel > 0) {
                EncodeLevelInTiles(m_currentLevel);
                levelDone();
            }
        } else {
            EncodeWholeLevels(levelDone);
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

void CQVTImage::EncodeWholeLevels(const std::function<void()>& levelDone) {
    std::vector<WholeBand> bands;
    std::vector<std::uint64_t> levelEnds;
    std::uint64_t values = 0;
    for (int level = m_header.levels; level >= 1; --level) {
        ForEachBandInStream(level, [&](const CWaveletBand& band) {
            if (!WindowFits(band.ReachableSamples(), band.width, band.height, 0, band.Pitch()))
                ThrowCodecError(ErrorWrongFormat);
            bands.push_back({band.Samples(), band.width, band.height, band.Pitch()});
            values += std::uint64_t{band.width} * band.height;
        });
        levelEnds.push_back(values);
    }
    m_encoder->AddWholeBands(bands, levelEnds, [&](int) { levelDone(); });
}

void CQVTImage::EncodeLevelInTiles(int level) {
    CBlockEncoder& encoder = *m_encoder;
    const int levels = m_header.levels;
    const int lastChannel = m_header.channels - 1;
    const std::uint32_t tiles = std::uint32_t{1} << (levels - level);
    for (int c = 0; c <= lastChannel; ++c) {
        const CWaveletPyramid& pyramid = *m_channels[c].pyramid;
        if (level == levels) {
            AddWholeBand(encoder, pyramid.Band(level, BandOrientation::LL));
            encoder.FinishTile();
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
}
