#include "image_drawing.h"

#include "screen_colors.h"
#include "view_math.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Source rows per strip: a multiple of 8, so that at 12.5 %, 25 %, 50 % and 75 % every strip
// ends on a whole output row and the strips join without seams.
constexpr int kStripRows = 256;

} // namespace

QImage ImagePart(const QImage& image, const QRect& rect, int* leftOut) {
    const QRect part = rect.intersected(image.rect());
    if (part.isEmpty()) return {};
    int left = part.left();
    if (image.depth() == 1) left &= ~7;
    if (leftOut) *leftOut = left;
    const uchar* bits = image.constScanLine(part.top()) + left * image.depth() / 8;
    QImage wrapped(bits, part.right() + 1 - left, part.height(),
                   static_cast<qsizetype>(image.bytesPerLine()), image.format());
    if (image.colorCount() > 0) wrapped.setColorTable(image.colorTable());
    return wrapped;
}

QImage BuildReducedCopy(const QImage& source, double zoom, const std::atomic<bool>* cancel,
                        const ScreenConverter* converter) {
    if (source.isNull() || !(zoom > 0) || zoom >= 1) return {};
    const auto width =
        static_cast<int>(ZoomedLength(static_cast<std::uint32_t>(source.width()), zoom));
    const auto height =
        static_cast<int>(ZoomedLength(static_cast<std::uint32_t>(source.height()), zoom));
    const QImage::Format format =
        source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage copy(width, height, format);
    if (copy.isNull()) return {};

    const int strips = (source.height() + kStripRows - 1) / kStripRows;
    const auto outputRow = [&](int sourceRow) {
        return sourceRow >= source.height()
                   ? height
                   : std::min(height, static_cast<int>(sourceRow * zoom + 0.5));
    };
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int strip = next++; strip < strips; strip = next++) {
            if (cancel && *cancel) return;
            const int first = strip * kStripRows;
            const int last = std::min(source.height(), first + kStripRows);
            const int top = outputRow(first);
            const int bottom = outputRow(last);
            if (bottom <= top) continue;
            const QRect rows(0, first, source.width(), last - first);
            QImage part = ImagePart(source, rows, nullptr);
            if (converter) part = converter->Convert(part, rows);
            const QImage scaled =
                part.scaled(width, bottom - top, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(format);
            const auto rowBytes = static_cast<std::size_t>(copy.bytesPerLine());
            for (int y = 0; y < scaled.height(); ++y)
                std::memcpy(copy.scanLine(top + y), scaled.constScanLine(y), rowBytes);
        }
    };
    const unsigned helpers = std::max(1u, std::thread::hardware_concurrency()) - 1;
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < helpers && i + 1 < static_cast<unsigned>(strips); ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    if (cancel && *cancel) return {};
    return copy;
}

QImage SampleNearest(const QImage& source, const QRect& area, Point origin, double zoom) {
    const QImage::Format format =
        source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage sample(area.size(), format);
    if (sample.isNull() || source.isNull()) return {};
    std::vector<int> columns(static_cast<std::size_t>(area.width()));
    for (int x = 0; x < area.width(); ++x)
        columns[static_cast<std::size_t>(x)] = std::clamp(
            static_cast<int>((area.left() + x - origin.x) / zoom), 0, source.width() - 1);
    // The common formats are read straight from their rows: QImage::pixel costs a call and a
    // format switch per pixel, which on a screenful is milliseconds of the first picture.
    const QImage::Format from = source.format();
    for (int y = 0; y < area.height(); ++y) {
        const int row = std::clamp(static_cast<int>((area.top() + y - origin.y) / zoom), 0,
                                   source.height() - 1);
        auto* to = reinterpret_cast<QRgb*>(sample.scanLine(y));
        const uchar* bits = source.constScanLine(row);
        const auto* pixels = reinterpret_cast<const QRgb*>(bits);
        if (from == QImage::Format_BGR888) {
            for (int x = 0; x < area.width(); ++x) {
                const uchar* bgr = bits + 3 * columns[static_cast<std::size_t>(x)];
                to[x] = qRgb(bgr[2], bgr[1], bgr[0]);
            }
        } else if (from == QImage::Format_RGB32) {
            for (int x = 0; x < area.width(); ++x)
                to[x] = 0xff000000u | pixels[columns[static_cast<std::size_t>(x)]];
        } else if (from == QImage::Format_ARGB32) {
            for (int x = 0; x < area.width(); ++x)
                to[x] = qPremultiply(pixels[columns[static_cast<std::size_t>(x)]]);
        } else {
            for (int x = 0; x < area.width(); ++x)
                to[x] = qPremultiply(source.pixel(columns[static_cast<std::size_t>(x)], row));
        }
    }
    return sample;
}

void DrawImageArea(QPainter& painter, const QImage& source, const QImage& reduced,
                   const QRect& area, Point origin, double zoom, const ScreenConverter* converter) {
    if (zoom < 1) {
        painter.drawImage(
            area.topLeft(), reduced,
            area.translated(static_cast<int>(-origin.x), static_cast<int>(-origin.y)));
        return;
    }
    // Zoom steps from 100 % up are whole numbers: each source pixel covers scale × scale.
    const auto scale = static_cast<std::int64_t>(zoom);
    const auto first = [scale](std::int64_t offset) {
        return static_cast<int>(std::max<std::int64_t>(0, offset) / scale);
    };
    const auto end = [scale](std::int64_t offset, int length) {
        return static_cast<int>(std::min<std::int64_t>(length, (offset + scale - 1) / scale));
    };
    const int left = first(area.left() - origin.x);
    const int top = first(area.top() - origin.y);
    const int right = end(area.right() + 1 - origin.x, source.width());
    const int bottom = end(area.bottom() + 1 - origin.y, source.height());
    const QRect exposed(left, top, right - left, bottom - top);
    const auto onScreen = [&](const QRect& pixels) {
        return QRect(static_cast<int>(origin.x + pixels.left() * scale),
                     static_cast<int>(origin.y + pixels.top() * scale),
                     static_cast<int>(pixels.width() * scale),
                     static_cast<int>(pixels.height() * scale));
    };
    if (converter) {
        for (const auto& [tile, converted] : converter->Tiles(source, exposed)) {
            const QRect shown = tile & exposed;
            painter.drawImage(onScreen(shown), converted, shown.translated(-tile.topLeft()));
        }
        return;
    }
    int partLeft = left;
    const QImage part = ImagePart(source, exposed, &partLeft);
    if (part.isNull()) return;
    painter.drawImage(onScreen(QRect(partLeft, top, part.width(), part.height())), part);
}

void PaintTracker(QPainter& painter, const QRect& screen, int handle, double lineWidth,
                  TrackerStyle style) {
    // Black dashes over a white line, and white-edged handles: the tracker stays visible over
    // dark and light pixels and backgrounds alike.
    const QRect border = screen.adjusted(0, 0, -1, -1);
    painter.save();
    painter.setPen(QPen(Qt::white, lineWidth));
    painter.setBrush(style == TrackerStyle::FixedSize ? QBrush(Qt::black, Qt::BDiagPattern)
                                                      : QBrush(Qt::NoBrush));
    painter.drawRect(border);
    painter.setPen(QPen(Qt::black, lineWidth, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(border);
    painter.restore();
    if (style == TrackerStyle::FixedSize) return;
    const int midX = (screen.left() + screen.right() + 1) / 2 - handle / 2;
    const int midY = (screen.top() + screen.bottom() + 1) / 2 - handle / 2;
    const int leftX = screen.left() - handle;
    const int rightX = screen.right() + 1;
    const int topY = screen.top() - handle;
    const int bottomY = screen.bottom() + 1;
    for (const QPoint corner :
         {QPoint(leftX, topY), QPoint(midX, topY), QPoint(rightX, topY), QPoint(rightX, midY),
          QPoint(rightX, bottomY), QPoint(midX, bottomY), QPoint(leftX, bottomY),
          QPoint(leftX, midY)}) {
        const QRect square(corner, QSize(handle, handle));
        painter.fillRect(square.adjusted(-1, -1, 1, 1), Qt::white);
        painter.fillRect(square, Qt::black);
    }
}
