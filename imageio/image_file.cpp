#include "image_file.h"

#include "anymap_file.h"
#include "qt_image_module.h"

#include <algorithm>
#include <cctype>

namespace {

std::string LowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

ImageFileKind KindOfPath(const std::string& path) {
    const std::string extension = LowerExtension(path);
    if (extension == "qvt") return ImageFileKind::QVT;
    if (extension == "pbm" || extension == "pgm" || extension == "ppm" || extension == "pnm")
        return ImageFileKind::Anymap;
    if (extension == "raw") return ImageFileKind::Raw;
    return ImageFileKind::Other;
}

RasterImage ReadImageFile(const std::string& path, const ImageReadOptions& options) {
    switch (KindOfPath(path)) {
    case ImageFileKind::QVT:
        return ReadQVTFile(path, options.qvt);
    case ImageFileKind::Anymap:
        return ReadAnymapFile(path);
    case ImageFileKind::Raw:
        if (!options.raw) throw ImageFileError(kCannotReadHeader);
        return ReadRawFile(path, *options.raw);
    case ImageFileKind::Other:
        break;
    }
    return QtImages().read(path);
}

bool CanWriteImageFile(ImageMode mode, const std::string& path) {
    switch (KindOfPath(path)) {
    case ImageFileKind::QVT:
        return IsQVTWritableMode(mode);
    case ImageFileKind::Raw:
        return IsRawMode(mode);
    case ImageFileKind::Anymap:
        if (IsAnymapMode(mode)) return true;
        break;
    case ImageFileKind::Other:
        break;
    }
    // Anymap extensions in other modes go to Qt's anymap encoder, as any other extension.
    return QtImages().canWrite(mode, path);
}

void WriteImageFile(RasterImage& image, const std::string& path, const ImageWriteOptions& options) {
    const ImageMode mode = image.Mode();
    if (!CanWriteImageFile(mode, path)) throw ImageFileError(kNoSuitableFormat);
    switch (KindOfPath(path)) {
    case ImageFileKind::QVT:
        return WriteQVTFile(image, path, options.qvt);
    case ImageFileKind::Raw:
        return WriteRawFile(image, path);
    case ImageFileKind::Anymap:
        if (IsAnymapMode(mode)) return WriteAnymapFile(image, path, !options.plainAnymap);
        break;
    case ImageFileKind::Other:
        break;
    }
    QtImages().write(image, path);
}
