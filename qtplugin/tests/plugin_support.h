// What the plugin tests share: test pictures, QVT files and containers written by the library,
// and a device that counts the bytes a reader takes.
#pragma once

#include "qt_raster_image.h"
#include "qvt_file.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <random>

namespace plugin_test {

// Smooth gradients under noise, so that every level holds detail and lossless data are large.
inline QImage Pattern(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, QImage::Format_ARGB32);
    std::mt19937 random(static_cast<std::uint32_t>(width * 7919 + height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto noise = [&random] { return static_cast<int>(random() % 32); };
            image.setPixel(x, y,
                           qRgba((x * 255 / width + noise()) & 255,
                                 (y * 255 / height + noise()) & 255, ((x + y) * 3 + noise()) & 255,
                                 128 + noise() * 4));
        }
    return image.convertToFormat(format);
}

inline void WriteQVT(const QString& path, const QImage& image,
                     const QVTWriteOptions& options = {}) {
    RasterImage raster = RasterImageFromQImage(image);
    WriteQVTFile(raster, path.toStdString(), options);
}

// The file decoded by the library at a level, as a QImage.
inline QImage DecodeLevel(const QString& path, int level) {
    QVTReadOptions options;
    options.level = level;
    return QImageFromRaster(ReadQVTFile(path.toStdString(), options));
}

// True when both hold the same pixels; 16 bits a channel keep every bit of either.
inline bool SamePixels(const QImage& a, const QImage& b) {
    return a.convertToFormat(QImage::Format_RGBA64) == b.convertToFormat(QImage::Format_RGBA64);
}

// A read-only device over another that counts what it hands out; optionally one that cannot
// seek, as a network reply is.
class CountingDevice final : public QIODevice {
public:
    CountingDevice(QIODevice& inner, bool sequential) : m_inner(inner), m_sequential(sequential) {
        open(ReadOnly | Unbuffered);
    }
    bool isSequential() const override { return m_sequential; }
    qint64 size() const override { return m_sequential ? 0 : m_inner.size(); }
    bool seek(qint64 position) override {
        return !m_sequential && QIODevice::seek(position) && m_inner.seek(position);
    }
    qint64 BytesRead() const { return m_bytes; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 got = m_inner.read(data, maxSize);
        if (got > 0) m_bytes += got;
        return got;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice& m_inner;
    bool m_sequential;
    qint64 m_bytes = 0;
};

struct CountedRead {
    QImage image;
    qint64 bytes = 0;
    QImage::Format announced = QImage::Format_Invalid;
};

// Reads the file through Qt's image reader, configured by `configure`, over a counting device.
inline CountedRead ReadCounted(const QString& path,
                               const std::function<void(QImageReader&)>& configure = {},
                               bool sequential = false) {
    QFile file(path);
    file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    CountingDevice device(file, sequential);
    QImageReader reader(&device);
    if (configure) configure(reader);
    CountedRead result;
    result.announced = reader.imageFormat();
    const qint64 headBytes = device.BytesRead();
    result.image = reader.read();
    result.bytes = device.BytesRead() - headBytes;
    return result;
}

} // namespace plugin_test
