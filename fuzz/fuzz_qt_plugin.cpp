// The image handler of the Qt plugin on any bytes, driven as a file manager or a viewer drives
// it: recognition, the size and format options, a plain read, and scaled, clipped and scaled
// and clipped reads. Reads may fail; they must not crash, hang or allocate past Qt's allocation
// limit, and a read that succeeds gives exactly the size asked for.
#include "fuzz_support.h"
#include "image_handler.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <algorithm>

namespace {

// Low enough that no read, with the codec's working memory, nears the runner's limits.
constexpr int kAllocationLimitMB = 16;

struct Request {
    QSize scaledSize;
    QRect clipRect;
    QRect scaledClipRect;
};

// Runs one read of `bytes`; checks the result's size against the request.
void Read(const QByteArray& bytes, const QSize& size, const Request& request) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    PictorImageHandler handler;
    handler.setDevice(&buffer);
    if (!handler.canRead()) return;
    handler.setOption(QImageIOHandler::ScaledSize, request.scaledSize);
    handler.setOption(QImageIOHandler::ClipRect, request.clipRect);
    handler.setOption(QImageIOHandler::ScaledClipRect, request.scaledClipRect);
    QImage image;
    if (!handler.read(&image)) return;
    Require(!image.isNull(), "a read that succeeded gave no image");
    QSize expected = request.clipRect.isNull() ? size : request.clipRect.size();
    if (request.scaledSize.isValid()) expected = request.scaledSize;
    if (!request.scaledClipRect.isNull()) expected = request.scaledClipRect.size();
    Require(image.size() == expected, "a read gave another size than was asked for");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool limited = [] {
        QImageReader::setAllocationLimit(kAllocationLimitMB);
        return true;
    }();
    (void)limited;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer probe;
    probe.setData(bytes);
    probe.open(QIODevice::ReadOnly);
    PictorImageHandler handler;
    handler.setDevice(&probe);
    if (!handler.canRead()) return 0;
    const QSize imageSize = handler.option(QImageIOHandler::Size).toSize();
    (void)handler.option(QImageIOHandler::ImageFormat);
    if (imageSize.isEmpty()) {
        Read(bytes, imageSize, {});
        return 0;
    }
    const QSize half((imageSize.width() + 1) / 2, (imageSize.height() + 1) / 2);
    const QRect middle(QPoint(imageSize.width() / 4, imageSize.height() / 4), half);
    const QSize small(std::min(half.width(), 24), std::min(half.height(), 24));
    Read(bytes, imageSize, {});
    Read(bytes, imageSize, {small, {}, {}});
    Read(bytes, imageSize, {{}, middle, {}});
    Read(bytes, imageSize,
         {small, middle, QRect(0, 0, (small.width() + 1) / 2, (small.height() + 1) / 2)});
    return 0;
}
