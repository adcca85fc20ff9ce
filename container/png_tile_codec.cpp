#include "png_tile_codec.h"

#include "image_mode.h"
#include "png_sample_copy.h"
#include "qvt_error.h"

#include <cerrno>
#include <cstring>

namespace KLD {

namespace {

int ColorTypeOfMode(std::uint8_t mode) {
    switch (mode) {
    case ModeBitmap:
    case ModeGray:
    case ModeGray16:
        return PNG_COLOR_TYPE_GRAY;
    case ModeIndexed:
        return PNG_COLOR_TYPE_PALETTE;
    case ModeRGB:
    case ModeRGB48:
        return PNG_COLOR_TYPE_RGB;
    case ModeARGB:
        return PNG_COLOR_TYPE_RGB_ALPHA;
    default:
        return -1;
    }
}

std::uint8_t ChannelsOfColorType(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1;
    }
}

bool IsMonochrome(int colorType, int bitDepth) {
    return colorType == PNG_COLOR_TYPE_GRAY && bitDepth == 1;
}

} // namespace

std::optional<PngParameters> PngParametersFor(const TileHeader& header) {
    const int colorType = ColorTypeOfMode(header.mode);
    if (colorType < 0 || header.channels != ChannelsOfColorType(colorType)) return std::nullopt;
    const int bitDepth = header.bitsPerPixel / header.channels;
    // The depth must be the mode's own, or the rows would not mean what the mode says.
    if (ModeOfPng(colorType, bitDepth) != header.mode ||
        header.bitsPerPixel != bitDepth * header.channels)
        return std::nullopt;
    if (header.width == 0 || header.height == 0 || header.width > PNG_UINT_31_MAX ||
        header.height > PNG_UINT_31_MAX)
        return std::nullopt;
    PngParameters parameters;
    parameters.width = header.width;
    parameters.height = header.height;
    parameters.bitDepth = bitDepth;
    parameters.colorType = colorType;
    parameters.channels = header.channels;
    parameters.rowLength = static_cast<std::int64_t>(
        (std::uint64_t{header.bitsPerPixel} * header.width + 31) / 32 * 4);
    return parameters;
}

std::uint8_t ModeOfPng(int colorType, int bitDepth) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        if (bitDepth == 1) return ModeBitmap;
        if (bitDepth == 8) return ModeGray;
        if (bitDepth == 16) return ModeGray16;
        break;
    case PNG_COLOR_TYPE_RGB:
        if (bitDepth == 8) return ModeRGB;
        if (bitDepth == 16) return ModeRGB48;
        break;
    case PNG_COLOR_TYPE_PALETTE:
        if (bitDepth == 8) return ModeIndexed;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        if (bitDepth == 8) return ModeARGB;
        break;
    default:
        break;
    }
    return ModeNotGiven;
}

// --- Reading -----------------------------------------------------------------------------------

void CPNG::Open(CQVTStream& stream) {
    Close();
    m_stream = &stream;
    m_imageStart = stream.GetPos();
    try {
        StartReading();
    } catch (const png::CError& error) {
        Close();
        FailWith(error);
    }
}

void CPNG::StartReading() {
    m_reader = std::make_unique<png::CReader>(*m_stream);
    m_reader->ReadHeader();
    const png::ImageHeader header = m_reader->Header();
    m_width = header.width;
    m_height = header.height;
    m_bitDepth = header.bitDepth;
    m_colorType = header.colorType;
    m_interlace = header.interlace;
    m_compression = header.compression;
    m_filter = header.filter;
    m_channels = static_cast<std::uint8_t>(m_reader->Channels());
    m_rowLength = static_cast<std::int64_t>(m_reader->RowBytes());
    m_ownedPalette.clear();
    m_palette = m_colorType == PNG_COLOR_TYPE_PALETTE ? m_reader->Palette(m_paletteCount) : nullptr;
    if (!m_palette) m_paletteCount = 0;
    if (IsMonochrome(m_colorType, m_bitDepth)) m_reader->InvertMonochrome();
    m_rowsConsumed = false;
}

void CPNG::Close() {
    m_reader.reset();
    if (!m_ownedPalette.empty() || m_palette == nullptr) return;
    // The palette lived in the reader.
    m_palette = nullptr;
    m_paletteCount = 0;
}

void CPNG::Reset() {
    m_ownedPixels.reset();
    m_pixels = nullptr;
    if (m_ownedPalette.empty()) return;
    m_ownedPalette.clear();
    m_palette = nullptr;
    m_paletteCount = 0;
}

void CPNG::FailWith(const png::CError& error) {
    m_lastError = error.what();
    ThrowCodecError(ErrorPng);
}

void CPNG::ReadRows(std::uint8_t* bits, std::ptrdiff_t stride) {
    const int passes = m_reader->InterlacePasses();
    for (int pass = 0; pass < passes; ++pass)
        for (std::uint32_t y = 0; y < m_height; ++y)
            m_reader->ReadRow(bits + static_cast<std::ptrdiff_t>(y) * stride);
}

void CPNG::ExportPixels(std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                        const ChannelMap* channelMap, ProgressCallback progress, void* data) {
    if (!m_reader) ThrowCodecError(EBADF);
    // Only the forms this codec writes have a defined row layout.
    if (GetMode() == ModeNotGiven) ThrowCodecError(ErrorWrongFormat);
    try {
        if (m_rowsConsumed) {
            const std::uint32_t width = m_width;
            const std::uint32_t height = m_height;
            const std::uint8_t mode = GetMode();
            m_stream->SetPos(PosFromStart, static_cast<std::int64_t>(m_imageStart));
            StartReading();
            if (m_width != width || m_height != height || GetMode() != mode)
                ThrowCodecError(ErrorWrongFormat);
        }
        m_rowsConsumed = true;
        const auto rowLength = static_cast<std::uint64_t>(m_rowLength);

        const bool direct = !channelMap && (bitsPerPixel + 7) / 8 <= m_channels;
        if (direct) {
            if (StrideBytes(stride) < rowLength) ThrowCodecError(ErrorWrongFormat);
            ReadRows(bits, stride);
            return;
        }
        const SampleCopy copy =
            ResolveSampleCopy(m_bitDepth, m_channels, m_width, bitsPerPixel, channelMap, stride);
        const auto size = CheckedMul(rowLength, m_height);
        ByteBuffer image = size ? TryAllocate<std::uint8_t>(*size) : nullptr;
        if (!image) ThrowCodecError(ErrorOutOfMemory);
        ReadRows(image.get(), static_cast<std::ptrdiff_t>(rowLength));
        for (std::uint32_t y = 0; y < m_height; ++y) {
            CopyPngRowToCaller(copy, image.get() + y * rowLength,
                               bits + static_cast<std::ptrdiff_t>(y) * stride);
            ReportProgress(progress, static_cast<double>(y + 1) / m_height, data);
        }
    } catch (const png::CError& error) {
        FailWith(error);
    }
}

void CPNG::GetColorTable(int first, int count, std::uint8_t* entries) const {
    if (first < 0 || count < 0 || first + count > 256) ThrowCodecError(ErrorColorTable);
    for (int i = first; i < first + count && i < m_paletteCount; ++i) {
        std::uint8_t* entry = entries + 4 * (i - first);
        entry[0] = m_palette[i].blue;
        entry[1] = m_palette[i].green;
        entry[2] = m_palette[i].red;
    }
}

// --- Writing -----------------------------------------------------------------------------------

void CPNG::SetColorTable(int count, const std::uint8_t* entries) {
    if (count < 0 || count > 256) ThrowCodecError(ErrorColorTable);
    m_ownedPalette.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* entry = entries + 4 * i;
        m_ownedPalette[static_cast<std::size_t>(i)] = {entry[2], entry[1], entry[0]};
    }
    m_palette = m_ownedPalette.data();
    m_paletteCount = count;
}

bool CPNG::SetHeader(const TileHeader& header) {
    const std::optional<PngParameters> parameters = PngParametersFor(header);
    if (!parameters) return false;
    m_width = parameters->width;
    m_height = parameters->height;
    m_bitDepth = parameters->bitDepth;
    m_colorType = parameters->colorType;
    m_channels = parameters->channels;
    m_rowLength = parameters->rowLength;
    m_interlace = PNG_INTERLACE_NONE;
    m_compression = PNG_COMPRESSION_TYPE_BASE;
    m_filter = PNG_FILTER_TYPE_BASE;
    m_ownedPixels.reset();
    m_pixels = nullptr;
    return true;
}

std::uint64_t CPNG::PaddedRowLength() const {
    return (std::uint64_t{GetBitsPerPixel()} * m_width + 31) / 32 * 4;
}

void CPNG::ImportPixels(const std::uint8_t* bits, std::ptrdiff_t stride, std::uint32_t bitsPerPixel,
                        const ChannelMap* channelMap, ProgressCallback progress, void* data) {
    if (GetMode() == ModeNotGiven || m_width == 0) ThrowCodecError(ErrorWrongFormat);
    m_ownedPixels.reset();
    m_pixels = nullptr;
    const std::uint64_t padded = PaddedRowLength();
    const std::uint64_t packed = (std::uint64_t{GetBitsPerPixel()} * m_width + 7) / 8;
    const std::uint64_t strideBytes = StrideBytes(stride);
    if (!channelMap && bitsPerPixel == GetBitsPerPixel() && strideBytes <= padded) {
        // libpng reads `packed` bytes from every row; narrower rows would overlap.
        if (strideBytes < packed) ThrowCodecError(ErrorWrongFormat);
        m_pixels = bits;
        m_rowLength = stride;
        return;
    }
    const SampleCopy copy =
        ResolveSampleCopy(m_bitDepth, m_channels, m_width, bitsPerPixel, channelMap, stride);
    const auto size = CheckedMul(padded, m_height);
    m_ownedPixels = size ? TryAllocate<std::uint8_t>(*size) : nullptr;
    if (!m_ownedPixels) ThrowCodecError(ErrorOutOfMemory);
    std::memset(m_ownedPixels.get(), 0, *size);
    for (std::uint32_t y = 0; y < m_height; ++y) {
        CopyCallerRowToPng(copy, bits + static_cast<std::ptrdiff_t>(y) * stride,
                           m_ownedPixels.get() + y * padded);
        ReportProgress(progress, static_cast<double>(y + 1) / m_height, data);
    }
    m_pixels = m_ownedPixels.get();
    m_rowLength = static_cast<std::int64_t>(padded);
}

void CPNG::Write(CQVTStream& stream, bool writeTag, std::uint64_t& count, ProgressCallback, void*) {
    if (!m_pixels) ThrowCodecError(ErrorWrongFormat);
    if (writeTag) WriteTag(stream, count);
    try {
        png::CWriter writer(stream);
        const png::ImageHeader header{m_width,     m_height,      m_bitDepth, m_colorType,
                                      m_interlace, m_compression, m_filter};
        const bool palette = m_colorType == PNG_COLOR_TYPE_PALETTE;
        writer.WriteHeader(header, palette ? m_palette : nullptr, palette ? m_paletteCount : 0,
                           IsMonochrome(m_colorType, m_bitDepth));
        const int passes = writer.InterlacePasses();
        for (int pass = 0; pass < passes; ++pass)
            for (std::uint32_t y = 0; y < m_height; ++y)
                writer.WriteRow(m_pixels + static_cast<std::ptrdiff_t>(y) * m_rowLength);
        writer.WriteEnd();
        count += writer.BytesWritten();
    } catch (const png::CError& error) {
        FailWith(error);
    }
}

} // namespace KLD
