#include "qt_raster_image.h"

#include "parallel_rows.h"
#include "pixmap_factory.h"
#include "qvt_error.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace {

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
    if (source.format() == QImage::Format_RGB32) {
        // What the JPEG decoder gives: converted straight into the display image's rows.
        image.display = MakeDisplay(source, ModeRGB);
        CDisplayImage& display = *image.display;
        const int width = source.width();
        const auto copyRow = [&](int y) {
            const std::uint8_t* __restrict from = source.constScanLine(y);
            std::uint8_t* __restrict to = DisplayRow(display, y);
            static_assert(std::endian::native == std::endian::little);
            // A pixel is blue, green, red, unused in memory: four bytes are copied and the
            // unused one is overwritten by the next pixel; the last pixel copies three.
            for (int x = 0; x + 1 < width; ++x)
                std::memcpy(to + 3 * x, from + 4 * x, 4);
            std::memcpy(to + 3 * (width - 1), from + 4 * (width - 1), 3);
        };
        // Bands of at least 64 rows, so that small images stay on one thread.
        ForEachRowInParallel(source.height(), std::min(ProcessorCount(), source.height() / 64),
                             copyRow);
    } else if (source.hasAlphaChannel()) {
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

QList<QRgb> ColorTableOf(const CDisplayImage& display, int count) {
    QList<QRgb> colors;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* entry = display.ColorTable() + 4 * i;
        colors.push_back(qRgb(entry[2], entry[1], entry[0]));
    }
    return colors;
}

} // namespace

QImage QImageFromDeepMap(const RasterImage& image) {
    const CPixMap* source = image.pixMap.get();
    std::unique_ptr<CPixMap> stretched;
    const std::uint32_t maximum = image.maxChannelValue;
    if (maximum != 0 && maximum < FullRangeMaximum(source->GetMode())) {
        stretched = StretchedToFullRange(*source, maximum);
        source = stretched.get();
    }
    const QImage::Format format = QImageFormatOfMode(source->GetMode());
    QImage result(static_cast<int>(source->Width()), static_cast<int>(source->Height()), format);
    if (result.isNull()) throw ImageFileError(kImageCreationFailed);
    if (format == QImage::Format_Grayscale16) {
        const auto view = AttachPixMap(source->Width(), source->Height(), ModeGray16, result.bits(),
                                       static_cast<std::int32_t>(result.bytesPerLine()));
        source->ConvertTo(*view);
        return result;
    }
    const auto rgb = CreatePixMap(source->Rect(), ModeRGB48);
    source->ConvertTo(*rgb);
    for (std::uint32_t y = 0; y < rgb->Height(); ++y) {
        const std::uint8_t* from = rgb->Row(y);
        auto* to = reinterpret_cast<QRgba64*>(result.scanLine(static_cast<int>(y)));
        for (std::uint32_t x = 0; x < rgb->Width(); ++x) {
            std::uint16_t bgr[3];
            std::memcpy(bgr, from + 6 * x, sizeof bgr);
            to[x] = qRgba64(bgr[2], bgr[1], bgr[0], 65535);
        }
    }
    return result;
}

RasterImage RasterImageFromQImage(const QImage& image) {
    const QImage::Format format = image.format();
    if (image.depth() == 1) return FromMono(image);
    if (format == QImage::Format_Indexed8) return FromIndexed(image);
    if (format == QImage::Format_Grayscale8) return FromGray8(image);
    if (format == QImage::Format_Grayscale16) return FromGray16(image);
    if (IsDeepColor(format) && !image.hasAlphaChannel()) return FromRgb64(image);
    return FromColor(image);
}

QImage::Format QImageFormatOfMode(std::uint32_t mode) {
    switch (mode) {
    case ModeBitmap:
        return QImage::Format_Mono;
    case ModeGray:
        return QImage::Format_Grayscale8;
    case ModeIndexed:
        return QImage::Format_Indexed8;
    case ModeARGB:
        return QImage::Format_ARGB32;
    case ModeGray16:
    case ModeGray32:
        return QImage::Format_Grayscale16;
    case ModeRGB48:
    case ModeLab48:
    case ModeCMYK64:
        return QImage::Format_RGBX64;
    default:
        return FindModeLayout(mode) ? QImage::Format_BGR888 : QImage::Format_Invalid;
    }
}

QImage QImageFromRaster(RasterImage image) {
    if (image.pixMap && IsDeepMode(image.pixMap->GetMode())) return QImageFromDeepMap(image);
    if (!image.display) throw ImageFileError(kImageCreationFailed);
    CDisplayImage* display = image.display.release();
    const auto release = [](void* info) { delete static_cast<CDisplayImage*>(info); };
    QImage wrapped = WrapDisplayImage(*display, release, display);
    if (wrapped.isNull()) {
        delete display;
        throw ImageFileError(kImageCreationFailed);
    }
    return wrapped;
}

QImage WrapDisplayImage(CDisplayImage& display, QImageCleanupFunction cleanup, void* cleanupInfo) {
    const ImageMode mode = display.DisplayMode();
    if (!IsDisplayHeldMode(mode)) return {};
    QImage image(display.TopRow(), static_cast<int>(display.Width()),
                 static_cast<int>(display.Height()), display.Pitch(), QImageFormatOfMode(mode),
                 cleanup, cleanupInfo);
    if (mode == ModeBitmap) image.setColorTable(ColorTableOf(display, 2));
    if (mode == ModeIndexed) image.setColorTable(ColorTableOf(display, 256));
    return image;
}
