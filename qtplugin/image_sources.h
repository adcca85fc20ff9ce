// The image files the plugin reads, QVT files and containers, opened from a Qt device far enough
// to know their size and pixel format, then read at the size a caller asks for.
#pragma once

#include "covering_read.h"

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QSize>

#include <memory>

// "qvt" or "kle" by the signature at the device's position (peeked, not consumed); empty for
// anything else.
QByteArray ImageFormatOf(QIODevice* device);

class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual QSize Size() const = 0;
    // The format an unscaled read gives (QImageFormatOfMode).
    virtual QImage::Format Format() const = 0;
    // Reads as ReadQVTCovering or ReadContainerCovering do; once per source. Throws
    // ImageFileError.
    virtual RasterImage Read(const CoveringRequest& request) = 0;
};

// Opens the image at the device's position. A device that cannot seek is copied into memory
// first, at most `byteLimit` bytes (0: no limit). Throws ImageFileError, also for an image wider
// or higher than a QImage can be.
std::unique_ptr<ImageSource> OpenImageSource(QIODevice& device, std::uint64_t byteLimit);
