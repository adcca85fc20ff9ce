#include "file_preview.h"

#include "covering_read.h"
#include "kldext_image.h"
#include "qvt_stream.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

class ReadDescriptor {
public:
    explicit ReadDescriptor(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) ThrowCodeError(static_cast<std::uint32_t>(errno));
    }
    ~ReadDescriptor() { ::close(fd_); }
    ReadDescriptor(const ReadDescriptor&) = delete;
    ReadDescriptor& operator=(const ReadDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

QVTPreview LoadQVTPreview(const std::string& path, std::uint64_t pixelLimit) {
    const ReadDescriptor file(path);
    CQVTFileReadStream stream(file.Get());
    const QVTHead head = PeekQVTHead(stream);
    QVTPreview preview;
    preview.levels = head.header.levels;
    preview.regionSupport = (head.leadIn.version & kVersionRegion) != 0;
    try {
        // A picture of one pixel is covered by the coarsest level.
        preview.image = ReadQVTCovering(stream, {{}, 1, 1, pixelLimit});
    } catch (const ImageFileError&) {
        // Too large, or damaged past its head: the options still apply.
    }
    return preview;
}

RasterImage LoadKLDExtThumbnail(const std::string& path) {
    const ReadDescriptor file(path);
    try {
        CQVTFileStream stream(file.Get());
        CKLDExt container;
        container.ReadHeader(stream);
        container.ReadPreview(stream, 0);
        if (!container.Preview()) ThrowCodecError(ErrorWrongFormat);
        return PreviewRasterImage(*container.Preview());
    } catch (const IOException& error) {
        ThrowCodeError(error.error);
    }
}
