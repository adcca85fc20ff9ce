#include "qt_image_file.h"

#include "qt_color_profile.h"
#include "qt_raster_image.h"
#include "qvt_error.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Large photographs exceed Qt's default limit of 128 MB; this still refuses absurd headers.
constexpr std::uint64_t kAllocationLimitBytes = std::uint64_t{4096} << 20;
// Below that, a header may still announce far more pixels than its file could encode, and Qt
// allocates (and clears) the whole image before it reads a row. No format Qt reads codes more
// densely than this many image bytes per file byte (LZW and deflate runs of thousands of pixels
// per code, widened to 32 bits), so Qt is told to refuse anything larger before allocating it;
// small images always pass.
constexpr std::uint64_t kLargestExpansion = 16384;
constexpr std::uint64_t kAlwaysAllowedBytes = std::uint64_t{64} << 20;

// Qt's allocation limit in megabytes for a file of `fileSize` bytes.
int AllocationLimitMB(std::uint64_t fileSize) {
    const std::uint64_t expanded = fileSize > kAllocationLimitBytes / kLargestExpansion
                                       ? kAllocationLimitBytes
                                       : fileSize * kLargestExpansion;
    const std::uint64_t bytes = std::clamp(expanded, kAlwaysAllowedBytes, kAllocationLimitBytes);
    return static_cast<int>(bytes >> 20);
}

QByteArray FormatOfPath(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).suffix().toLower().toLatin1();
}

// The encoders that keep 16-bit samples as they are; the others would reduce them to 8 bits.
bool HoldsSixteenBitSamples(const QByteArray& format) {
    return format == "png" || format == "tif" || format == "tiff";
}

} // namespace

RasterImage ReadQtImageFile(const std::string& path) {
    const QString name = QString::fromStdString(path);
    QFile file(name);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : ENOENT));
    QImageReader reader(&file);
    reader.setAllocationLimit(AllocationLimitMB(static_cast<std::uint64_t>(file.size())));
    const RefusedProfileWatch profileWatch;
    const QImage image = reader.read();
    if (image.isNull()) {
        if (reader.error() == QImageReader::UnsupportedFormatError)
            ThrowCodeError(ErrorWrongFormat);
        throw ImageFileError(kCannotReadHeader);
    }
    RasterImage raster = RasterImageFromQImage(image);
    KeepQImageProfile(image, profileWatch.Refused(), raster);
    return raster;
}

bool CanWriteQtImage(ImageMode mode, const std::string& path) {
    const QByteArray format = FormatOfPath(path);
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) return false;
    if (IsDisplayHeldMode(mode)) return true;
    return (mode == ModeGray16 || mode == ModeRGB48) && HoldsSixteenBitSamples(format);
}

void WriteQtImageFile(RasterImage& image, const std::string& path) {
    const ImageMode mode = image.Mode();
    if (!image.display || !CanWriteQtImage(mode, path)) throw ImageFileError(kNoSuitableFormat);
    QImage wrapped = image.pixMap ? QImageFromDeepMap(image) : WrapDisplayImage(*image.display);
    if (wrapped.isNull()) throw ImageFileError(kNoSuitableFormat);
    AttachProfileForWriting(image, wrapped);
    QFile file(QString::fromStdString(path));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    QImageWriter writer(&file, FormatOfPath(path));
    errno = 0;
    // Encoders do not all report a failed write, and QFile buffers: the flush tells.
    if (!writer.write(wrapped) || !file.flush() || file.error() != QFileDevice::NoError) {
        if (writer.error() == QImageWriter::UnsupportedFormatError)
            throw ImageFileError(kNoSuitableFormat);
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    }
}
