#include "qt_platform_images.h"

#include "qt_image_file.h"

#include <QImageReader>
#include <QImageWriter>

namespace {

std::vector<std::string> Extensions(const QList<QByteArray>& formats) {
    std::vector<std::string> extensions;
    for (const QByteArray& format : formats) {
        const std::string name = format.toLower().toStdString();
        if (name == "ico" || name == "cur" || name == "icns" || name == "svg" || name == "svgz")
            continue;
        extensions.push_back(name);
    }
    return extensions;
}

} // namespace

PlatformImages QtPlatformImages() {
    PlatformImages platform;
    platform.read = ReadQtImageFile;
    platform.write = WriteQtImageFile;
    platform.holds = CanWriteQtImage;
    platform.size = [](const std::string& path) -> std::optional<Size> {
        const QSize size = QImageReader(QString::fromStdString(path)).size();
        if (!size.isValid()) return std::nullopt;
        return Size{size.width(), size.height()};
    };
    platform.readable = Extensions(QImageReader::supportedImageFormats());
    platform.writable = Extensions(QImageWriter::supportedImageFormats());
    return platform;
}
