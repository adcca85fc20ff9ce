#include "safe_save.h"

#include "raster_image.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void ThrowErrno() {
    ThrowCodeError(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
}

// The file a save writes: the target of a symbolic link, else the path itself.
std::string ResolvedTarget(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t NewFileMode(const std::string& target) {
    struct stat status {};
    if (::stat(target.c_str(), &status) == 0) return status.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ThrowErrno();
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    if (result != 0) ThrowErrno();
}

// Removes the temporary file unless the save got as far as renaming it.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }
    void Release() { path_.clear(); }

private:
    std::string path_;
};

} // namespace

std::string FileExtension(const std::string& path) {
    const std::string name = NameOf(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

void SaveThroughTemporary(const std::string& path,
                          const std::function<void(const std::string& temporary)>& write) {
    const std::string target = ResolvedTarget(path);
    const std::string folder = FolderOf(target);
    const std::string extension = FileExtension(target);
    const std::string suffix = extension.empty() ? std::string() : "." + extension;
    std::string pattern = folder + "/." + NameOf(target) + "-XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    errno = 0;
    const int fd = ::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) ThrowErrno();
    TemporaryFile temporary(name.data());
    const int modeResult = ::fchmod(fd, NewFileMode(target));
    ::close(fd);
    if (modeResult != 0) ThrowErrno();

    write(temporary.Path());
    SyncFile(temporary.Path());
    errno = 0;
    if (::rename(temporary.Path().c_str(), target.c_str()) != 0) ThrowErrno();
    temporary.Release();
    // The rename reaches the disk with the folder's entry. The new content is in place by now,
    // so a failure here is not reported as a failed save.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
