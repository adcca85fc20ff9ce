#include "container_file.h"

#include "raster_image.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsContainerPath(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "kle";
}

FileDescriptor::FileDescriptor(const std::string& path, int flags)
    : fd_(::open(path.c_str(), flags | O_CLOEXEC, 0666)) {
    if (fd_ < 0) ThrowCodeError(static_cast<std::uint32_t>(errno));
}

FileDescriptor::~FileDescriptor() { ::close(fd_); }

namespace {

// A file stream whose flushes wait for Finish, when one flush makes all writes last.
class DeferredFlushStream final : public CQVTStream {
public:
    explicit DeferredFlushStream(int fd) : file_(fd) {}
    void Write(std::int32_t& count, const void* bytes) override { file_.Write(count, bytes); }
    void Read(std::int32_t& count, void* bytes) override { file_.Read(count, bytes); }
    void SetPos(std::int16_t mode, std::int64_t offset) override { file_.SetPos(mode, offset); }
    std::uint64_t GetPos() override { return file_.GetPos(); }
    bool IsValid() const override { return file_.IsValid(); }

private:
    CQVTFileStream file_;
};

bool Writable(ContainerAccess access) {
    return access == ContainerAccess::Write || access == ContainerAccess::Fill;
}

std::unique_ptr<CQVTStream> StreamFor(int fd, ContainerAccess access) {
    if (access == ContainerAccess::Fill) return std::make_unique<DeferredFlushStream>(fd);
    return std::make_unique<CQVTFileStream>(fd);
}

} // namespace

ContainerFile::ContainerFile(const std::string& path, ContainerAccess access, bool previewMayFail)
    : fd_(path, Writable(access) ? O_RDWR : O_RDONLY) {
    try {
        current_ =
            container_.Open(StreamFor(fd_.Get(), access), kDecodedCacheBytes, kDecoderCacheBytes,
                            access == ContainerAccess::Regions ? CKLDExt::PreviewReading::HeadOnly
                                                               : CKLDExt::PreviewReading::Decode);
    } catch (const IOException&) {
        // The preview is read last: with the caches in place everything before it was sound.
        if (!previewMayFail || !container_.Caches() || container_.Preview()) throw;
        current_ = container_.StoredHeaderLength() == kKLDHeaderSize;
        previewDamaged_ = true;
    }
}

std::uint64_t ContainerFile::FileSize() const {
    struct stat status {};
    if (::fstat(fd_.Get(), &status) != 0) ThrowCodeError(static_cast<std::uint32_t>(errno));
    return static_cast<std::uint64_t>(status.st_size);
}

void ContainerFile::Truncate(std::uint64_t size) {
    if (::ftruncate(fd_.Get(), static_cast<off_t>(size)) != 0)
        ThrowCodeError(static_cast<std::uint32_t>(errno));
}

void ContainerFile::Finish() {
    if (::fdatasync(fd_.Get()) != 0) ThrowCodeError(static_cast<std::uint32_t>(errno));
}

void CreateContainerFile(const std::string& path, const KLDExtHeader& header,
                         std::uint32_t previewWidth, std::uint32_t previewHeight) {
    const FileDescriptor fd(path, O_RDWR | O_CREAT | O_TRUNC);
    CKLDExt container;
    container.Create(fd.Get(), header, previewWidth, previewHeight, {});
    container.Close();
}
