#include "qvt_tile_codec.h"

#include "bit_plane_decoder.h"
#include "region_at_level.h"

#include <algorithm>

namespace KLD {

namespace {

// Each level halves the previous one, rounding up, as the wavelet pyramid does.
std::uint32_t SizeAtLevel(std::uint32_t size, int level) {
    return CeilAtLevel(size, std::clamp(level, 0, kMaxLevels));
}

} // namespace

std::uint64_t CQVT::KeptDecoderBytes(std::uint32_t width, std::uint32_t height, int channels) {
    const std::uint64_t planeSamples =
        std::uint64_t{SizeAtLevel(width, 1)} * SizeAtLevel(height, 1);
    return sizeof(CQVT) + sizeof(CDecodeBlock) +
           static_cast<std::uint64_t>(channels) * planeSamples * sizeof(std::int32_t);
}

// Tiles are rows of pixel maps, which hold deep samples as plain values in the low bits.
void CQVT::ExportPixels(std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                        const ChannelMap* channelMap, ProgressCallback progress, void* data) {
    m_image.ExportPixels(stride, bits, bitsPerPixel, channelMap, progress, data,
                         SampleAlignment::Low);
}

void CQVT::ImportPixels(const std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                        const ChannelMap* channelMap, ProgressCallback progress, void* data) {
    m_image.ImportPixels(stride, bits, bitsPerPixel, channelMap, progress, data,
                         SampleAlignment::Low);
}

bool CQVT::SetHeader(const TileHeader& header) {
    // A header whose depth contradicts its mode would be coded as something else than it says.
    TileHeader completed = header;
    if (!CQVTImage::IsModeSupported(header.mode) || !CompleteHeader(completed)) return false;
    m_image.SetHeader(header);
    return true;
}

void CQVT::Write(CQVTStream& stream, bool writeTag, std::uint64_t& count, ProgressCallback progress,
                 void* data) {
    if (writeTag) WriteTag(stream, count);
    m_image.Write(stream, &count, progress, data);
}

std::uint32_t CQVT::GetWidthAt(int level) const { return SizeAtLevel(GetWidth(), level); }

std::uint32_t CQVT::GetHeightAt(int level) const { return SizeAtLevel(GetHeight(), level); }

} // namespace KLD
