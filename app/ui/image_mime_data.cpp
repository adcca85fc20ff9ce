#include "image_mime_data.h"

#include "clipboard_image.h"
#include "memory_budget.h"
#include "qt_raster_image.h"

#include <QImage>

namespace {

const QString kImageType = QStringLiteral("application/x-qt-image");

QString PixMapType() { return QString::fromLatin1(kPixMapMimeType); }

// The image as standard image data: deep samples at 16 bits, the rest as its display image,
// wrapped without a copy and kept alive as long as Qt keeps the wrapper.
QImage StandardImageOf(const std::shared_ptr<RasterImage>& image) {
    if (image->pixMap && IsDeepMode(image->pixMap->GetMode())) return QImageFromDeepMap(*image);
    auto* keep = new std::shared_ptr<RasterImage>(image);
    const auto release = [](void* info) {
        delete static_cast<std::shared_ptr<RasterImage>*>(info);
    };
    QImage wrapped = WrapDisplayImage(*image->display, release, keep);
    if (wrapped.isNull()) delete keep;
    return wrapped;
}

} // namespace

ImageMimeData::ImageMimeData(std::shared_ptr<RasterImage> image) : image_(std::move(image)) {}

QStringList ImageMimeData::formats() const {
    QStringList types;
    if (OffersPixMapBlock(*image_)) types << PixMapType();
    types << kImageType;
    return types;
}

bool ImageMimeData::hasFormat(const QString& mimeType) const {
    return formats().contains(mimeType);
}

QVariant ImageMimeData::retrieveData(const QString& mimeType, QMetaType) const {
    try {
        if (mimeType == kImageType) return StandardImageOf(image_);
        if (mimeType == PixMapType() && OffersPixMapBlock(*image_)) {
            const std::vector<std::uint8_t> block = PixMapBlockOf(*image_);
            return QByteArray(reinterpret_cast<const char*>(block.data()),
                              static_cast<qsizetype>(block.size()));
        }
    } catch (const ImageFileError&) {
        // Out of memory: the program asking gets nothing rather than a broken image.
    }
    return {};
}

bool OffersImage(const QMimeData* data) {
    return data && (data->hasFormat(PixMapType()) || data->hasImage());
}

std::optional<OfferedImage> ReadPixMapBlock(const QMimeData* data) {
    if (!data || !data->hasFormat(PixMapType())) return std::nullopt;
    QByteArray block = data->data(PixMapType());
    const auto bytes = [](const QByteArray& array) {
        return std::span(reinterpret_cast<const std::uint8_t*>(array.constData()),
                         static_cast<std::size_t>(array.size()));
    };
    if (!IsUsablePixMapBlock(bytes(block))) return std::nullopt;
    return OfferedImage{ImportedKind(true), [block = std::move(block), bytes](JobContext&) {
                            return ImageFromPixMapBlock(bytes(block));
                        }};
}

std::optional<OfferedImage> ReadStandardImage(const QMimeData* data) {
    if (!data || !data->hasImage()) return std::nullopt;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    // Image data Qt could not decode (larger than its allocation limit, or damaged) is said so,
    // rather than a paste or drop that silently does nothing.
    if (image.isNull())
        return OfferedImage{ImportedKind(false), [](JobContext&) -> RasterImage {
                                throw ImageFileError(kImageCreationFailed);
                            }};
    return OfferedImage{ImportedKind(false), [image](JobContext&) {
                            // Room for the largest form it may take: a display image and a
                            // 16-bit pixel map.
                            EnsureMemoryFor(DocumentImageBytes(
                                static_cast<std::uint32_t>(image.width()),
                                static_cast<std::uint32_t>(image.height()), ModeRGB48));
                            return WithoutOpaqueAlpha(RasterImageFromQImage(image));
                        }};
}

std::optional<OfferedImage> ReadOfferedImage(const QMimeData* data) {
    if (auto block = ReadPixMapBlock(data)) return block;
    return ReadStandardImage(data);
}
