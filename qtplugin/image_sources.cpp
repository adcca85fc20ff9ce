#include "image_sources.h"

#include "device_stream.h"
#include "qt_raster_image.h"
#include "qvt_error.h"

#include <limits>

namespace {

constexpr qint64 kCopyPiece = qint64{1} << 16;

// The stream a source reads: over the device itself, or over `copy`, which takes what a device
// that cannot seek holds.
std::unique_ptr<CQVTStream> StreamOver(QIODevice& device, std::uint64_t byteLimit,
                                       QByteArray& copy) {
    if (!device.isSequential()) return std::make_unique<CDeviceStream>(device);
    for (;;) {
        const QByteArray piece = device.read(kCopyPiece);
        if (piece.isEmpty()) break;
        copy += piece;
        if (byteLimit != 0 && static_cast<std::uint64_t>(copy.size()) > byteLimit)
            throw ImageFileError(kImageCreationFailed);
    }
    return std::make_unique<CQVTMemoryStream>(copy.data(), static_cast<std::uint64_t>(copy.size()));
}

QSize CheckedSize(std::uint32_t width, std::uint32_t height) {
    constexpr auto kLargest = static_cast<std::uint32_t>(std::numeric_limits<int>::max());
    if (width > kLargest || height > kLargest) throw ImageFileError(kImageCreationFailed);
    return {static_cast<int>(width), static_cast<int>(height)};
}

class QVTSource final : public ImageSource {
public:
    QVTSource(QIODevice& device, std::uint64_t byteLimit)
        : m_stream(StreamOver(device, byteLimit, m_copy)), m_header(PeekQVTHead(*m_stream).header),
          m_size(CheckedSize(m_header.width, m_header.height)) {}
    QSize Size() const override { return m_size; }
    QImage::Format Format() const override { return QImageFormatOfMode(m_header.mode); }
    RasterImage Read(const CoveringRequest& request) override {
        return ReadQVTCovering(*m_stream, request);
    }

private:
    QByteArray m_copy;
    std::unique_ptr<CQVTStream> m_stream;
    QVTHeader m_header;
    QSize m_size;
};

class KLDExtSource final : public ImageSource {
public:
    KLDExtSource(QIODevice& device, std::uint64_t byteLimit)
        : m_stream(StreamOver(device, byteLimit, m_copy)), m_header(ReadContainerHeader(*m_stream)),
          m_size(CheckedSize(m_header.width, m_header.height)) {}
    QSize Size() const override { return m_size; }
    QImage::Format Format() const override {
        // Indexed tiles meet in RGB (ReadContainerCovering).
        return QImageFormatOfMode(m_header.mode == ModeIndexed ? std::uint8_t{ModeRGB}
                                                               : m_header.mode);
    }
    RasterImage Read(const CoveringRequest& request) override {
        if (!m_stream) ThrowCodeError(EINVAL);
        return ReadContainerCovering(std::move(m_stream), request, ContainerSource::PreviewOrTiles);
    }

private:
    QByteArray m_copy;
    std::unique_ptr<CQVTStream> m_stream;
    KLDExtHeader m_header;
    QSize m_size;
};

} // namespace

QByteArray ImageFormatOf(QIODevice* device) {
    if (!device || !device->isReadable()) return {};
    const QByteArray signature = device->peek(3);
    if (signature == "QVT") return "qvt";
    if (signature == "KLE" || signature == "QVE") return "kle";
    return {};
}

std::unique_ptr<ImageSource> OpenImageSource(QIODevice& device, std::uint64_t byteLimit) {
    const QByteArray format = ImageFormatOf(&device);
    if (format == "qvt") return std::make_unique<QVTSource>(device, byteLimit);
    if (format == "kle") return std::make_unique<KLDExtSource>(device, byteLimit);
    ThrowCodeError(ErrorWrongFormat);
}
