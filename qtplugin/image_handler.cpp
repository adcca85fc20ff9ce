#include "image_handler.h"

#include "image_sources.h"
#include "qt_raster_image.h"
#include "qvt_error.h"
#include "qvt_file.h"

#include <QImageReader>
#include <QVariant>

#include <algorithm>

namespace {

// Coded data rarely fall below this; the stream grows as needed.
constexpr std::uint64_t kInitialCodedBytes = std::uint64_t{1} << 16;

// Qt's allocation limit in bytes; 0 when there is none.
std::uint64_t AllocationLimitBytes() {
    return static_cast<std::uint64_t>(std::max(0, QImageReader::allocationLimit())) << 20;
}

// The most pixels a decoded level or a result of `format` may hold under Qt's limit (0: no
// limit). The codec works on samples of four bytes, so no pixel counts for less.
std::uint64_t PixelLimit(QImage::Format format) {
    const std::uint64_t bytes = AllocationLimitBytes();
    const std::uint64_t perPixel =
        std::max<std::uint64_t>(4, QImage::toPixelFormat(format).bitsPerPixel() / 8);
    return bytes == 0 ? 0 : std::max<std::uint64_t>(1, bytes / perPixel);
}

// Runs `work`; every failure the libraries report becomes false, for nothing may escape into the
// program that loaded the plugin.
template <typename Work>
bool Guarded(const Work& work) {
    try {
        return work();
    } catch (const ImageFileError&) {
    } catch (const IOException&) {
    } catch (const std::bad_alloc&) {
    }
    return false;
}

RegionRect ToRegion(const QRect& rect) {
    return {static_cast<std::uint32_t>(rect.x()), static_cast<std::uint32_t>(rect.y()),
            static_cast<std::uint32_t>(rect.x() + rect.width()),
            static_cast<std::uint32_t>(rect.y() + rect.height())};
}

} // namespace

int CodecQuality(int qtQuality) {
    if (qtQuality < 0 || qtQuality >= 100) return 0;
    return ((100 - qtQuality) * 31 + 99) / 100;
}

bool PictorImageHandler::canRead() const {
    const QByteArray format = ImageFormatOf(device());
    if (format.isEmpty()) return false;
    setFormat(format);
    return true;
}

bool PictorImageHandler::read(QImage* image) {
    if (!device() || !image) return false;
    return Guarded([&] {
        const std::unique_ptr<ImageSource> source =
            OpenImageSource(*device(), AllocationLimitBytes());
        const QRect whole({0, 0}, source->Size());
        const QRect clip = m_clipRect.isNull() ? whole : m_clipRect.intersected(whole);
        if (clip.isEmpty()) return false;
        // Clip, then scale, then clip the scaled image: the order QImageReader documents.
        const QSize target = m_scaledSize.isEmpty() ? clip.size() : m_scaledSize;
        const std::uint64_t pixelLimit = PixelLimit(source->Format());
        if (pixelLimit != 0 && std::uint64_t(target.width()) * target.height() > pixelLimit)
            return false;
        QImage result = QImageFromRaster(
            source->Read({ToRegion(clip), static_cast<std::uint32_t>(target.width()),
                          static_cast<std::uint32_t>(target.height()), pixelLimit}));
        if (result.size() != target)
            result = result.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!m_scaledClipRect.isNull())
            result = result.copy(m_scaledClipRect.intersected(result.rect()));
        if (result.isNull()) return false;
        *image = result;
        return true;
    });
}

bool PictorImageHandler::write(const QImage& image) {
    if (!device() || image.isNull()) return false;
    return Guarded([&] {
        RasterImage raster = RasterImageFromQImage(image);
        QVTWriteOptions options;
        options.quality = CodecQuality(m_quality);
        // The codec seeks back over what it wrote, which not every device allows.
        CQVTMemoryStream coded(kInitialCodedBytes);
        WriteQVTStream(raster, coded, options);
        const auto size = static_cast<qint64>(coded.DataSize());
        return device()->write(reinterpret_cast<const char*>(coded.Data()), size) == size;
    });
}

QVariant PictorImageHandler::option(ImageOption option) const {
    QIODevice* source = device();
    if ((option != Size && option != ImageFormat) || !source || source->isSequential()) return {};
    const qint64 start = source->pos();
    QVariant answer;
    Guarded([&] {
        const std::unique_ptr<ImageSource> image = OpenImageSource(*source, 0);
        answer = option == Size ? QVariant(image->Size()) : QVariant(int{image->Format()});
        return true;
    });
    source->seek(start);
    return answer;
}

void PictorImageHandler::setOption(ImageOption option, const QVariant& value) {
    if (option == ScaledSize) m_scaledSize = value.toSize();
    if (option == ClipRect) m_clipRect = value.toRect();
    if (option == ScaledClipRect) m_scaledClipRect = value.toRect();
    if (option == Quality) m_quality = value.toInt();
}

bool PictorImageHandler::supportsOption(ImageOption option) const {
    return option == Size || option == ImageFormat || option == ScaledSize || option == ClipRect ||
           option == ScaledClipRect || option == Quality;
}
