#include "qt_image_file.h"

#include "pixmap_factory.h"
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

std::uint8_t* DisplayRow(CDisplayImage& display, int y) {
    return display.TopRow() + std::ptrdiff_t{display.Pitch()} * y;
}

std::unique_ptr<CDisplayImage> MakeDisplay(const QImage& image, ImageMode mode) {
    auto display = CreateEmptyDisplayImage(static_cast<std::uint32_t>(image.width()),
                                           static_cast<std::uint32_t>(image.height()), mode);
    if (!display) throw ImageFileError(kImageCreationFailed);
    return display;
}

// Copies rows of `bytesPerRow` bytes from a QImage of the display's layout.
void CopyRows(const QImage& image, CDisplayImage& display, std::size_t bytesPerRow) {
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(DisplayRow(display, y), image.constScanLine(y), bytesPerRow);
}

bool IsGrayRamp(const QList<QRgb>& table) {
    if (table.size() != 256) return false;
    for (int i = 0; i < 256; ++i)
        if (table[i] != qRgb(i, i, i)) return false;
    return true;
}

RasterImage FromMono(const QImage& source) {
    QImage mono = source.convertToFormat(QImage::Format_Mono);
    const QList<QRgb> table = mono.colorTable();
    // Bitmaps hold black as a set bit; a table with black first is inverted into that form.
    const bool blackFirst = table.size() == 2 && qGray(table[0]) < qGray(table[1]);
    if (blackFirst) mono.invertPixels();
    RasterImage image;
    image.display = MakeDisplay(mono, ModeBitmap);
    CopyRows(mono, *image.display, (static_cast<std::size_t>(mono.width()) + 7) / 8);
    return image;
}

RasterImage FromIndexed(const QImage& source) {
    const QList<QRgb> table = source.colorTable();
    const bool gray = IsGrayRamp(table);
    RasterImage image;
    image.display = MakeDisplay(source, gray ? ModeGray : ModeIndexed);
    if (!gray) {
        std::uint8_t entries[256 * 4] = {};
        for (qsizetype i = 0; i < table.size() && i < 256; ++i) {
            entries[4 * i] = static_cast<std::uint8_t>(qBlue(table[i]));
            entries[4 * i + 1] = static_cast<std::uint8_t>(qGreen(table[i]));
            entries[4 * i + 2] = static_cast<std::uint8_t>(qRed(table[i]));
        }
        image.display->SetColors(0, 256, entries);
    }
    CopyRows(source, *image.display, static_cast<std::size_t>(source.width()));
    return image;
}

RasterImage FromGray8(const QImage& source) {
    RasterImage image;
    image.display = MakeDisplay(source, ModeGray);
    CopyRows(source, *image.display, static_cast<std::size_t>(source.width()));
    return image;
}

std::unique_ptr<CPixMap> CreateMap(const QImage& source, ImageMode mode) {
    try {
        return CreatePixMap({0, 0, static_cast<std::uint32_t>(source.width()),
                             static_cast<std::uint32_t>(source.height())},
                            mode);
    } catch (const IOException&) {
        throw ImageFileError(kImageCreationFailed);
    }
}

RasterImage FromGray16(const QImage& source) {
    auto pixels = CreateMap(source, ModeGray16);
    for (int y = 0; y < source.height(); ++y)
        std::memcpy(pixels->Row(static_cast<std::uint32_t>(y)), source.constScanLine(y),
                    static_cast<std::size_t>(source.width()) * 2);
    return MakeRasterImage(std::move(pixels), 65535);
}

RasterImage FromRgb64(const QImage& source) {
    const QImage rgbx = source.convertToFormat(QImage::Format_RGBX64);
    auto pixels = CreateMap(rgbx, ModeRGB48);
    for (int y = 0; y < rgbx.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgba64*>(rgbx.constScanLine(y));
        std::uint8_t* to = pixels->Row(static_cast<std::uint32_t>(y));
        for (int x = 0; x < rgbx.width(); ++x) {
            const std::uint16_t bgr[3] = {from[x].blue(), from[x].green(), from[x].red()};
            std::memcpy(to + 6 * x, bgr, 6);
        }
    }
    return MakeRasterImage(std::move(pixels), 65535);
}

RasterImage FromColor(const QImage& source) {
    RasterImage image;
    if (source.hasAlphaChannel()) {
        const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
        image.display = MakeDisplay(argb, ModeARGB);
        CopyRows(argb, *image.display, static_cast<std::size_t>(argb.width()) * 4);
    } else {
        const QImage bgr = source.convertToFormat(QImage::Format_BGR888);
        image.display = MakeDisplay(bgr, ModeRGB);
        CopyRows(bgr, *image.display, static_cast<std::size_t>(bgr.width()) * 3);
    }
    return image;
}

bool IsDeepColor(QImage::Format format) {
    return format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64 ||
           format == QImage::Format_RGBA64_Premultiplied;
}

QByteArray FormatOfPath(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).suffix().toLower().toLatin1();
}

// A QImage over the display image's memory (no copy) in the layout Qt expects.
QImage WrapDisplay(CDisplayImage& display) {
    const int width = static_cast<int>(display.Width());
    const int height = static_cast<int>(display.Height());
    const auto table = [&display](int count) {
        QList<QRgb> colors;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* entry = display.ColorTable() + 4 * i;
            colors.push_back(qRgb(entry[2], entry[1], entry[0]));
        }
        return colors;
    };
    switch (display.DisplayMode()) {
    case ModeBitmap: {
        QImage image(display.TopRow(), width, height, display.Pitch(), QImage::Format_Mono);
        image.setColorTable(table(2));
        return image;
    }
    case ModeGray:
        return QImage(display.TopRow(), width, height, display.Pitch(), QImage::Format_Grayscale8);
    case ModeIndexed: {
        QImage image(display.TopRow(), width, height, display.Pitch(), QImage::Format_Indexed8);
        image.setColorTable(table(256));
        return image;
    }
    case ModeRGB:
        return QImage(display.TopRow(), width, height, display.Pitch(), QImage::Format_BGR888);
    case ModeARGB:
        return QImage(display.TopRow(), width, height, display.Pitch(), QImage::Format_ARGB32);
    default:
        return {};
    }
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
    const QImage image = reader.read();
    if (image.isNull()) {
        if (reader.error() == QImageReader::UnsupportedFormatError)
            ThrowCodeError(ErrorWrongFormat);
        throw ImageFileError(kCannotReadHeader);
    }
    const QImage::Format format = image.format();
    if (image.depth() == 1) return FromMono(image);
    if (format == QImage::Format_Indexed8) return FromIndexed(image);
    if (format == QImage::Format_Grayscale8) return FromGray8(image);
    if (format == QImage::Format_Grayscale16) return FromGray16(image);
    if (IsDeepColor(format) && !image.hasAlphaChannel()) return FromRgb64(image);
    return FromColor(image);
}

bool CanWriteQtImage(const std::string& path) {
    const QByteArray format = FormatOfPath(path);
    return !format.isEmpty() && QImageWriter::supportedImageFormats().contains(format);
}

void WriteQtImageFile(RasterImage& image, const std::string& path) {
    if (image.pixMap || !image.display || !CanWriteQtImage(path))
        throw ImageFileError(kNoSuitableFormat);
    const QImage wrapped = WrapDisplay(*image.display);
    if (wrapped.isNull()) throw ImageFileError(kNoSuitableFormat);
    QFile file(QString::fromStdString(path));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    QImageWriter writer(&file, FormatOfPath(path));
    if (!writer.write(wrapped)) {
        if (writer.error() == QImageWriter::UnsupportedFormatError)
            throw ImageFileError(kNoSuitableFormat);
        ThrowCodeError(EIO);
    }
}
