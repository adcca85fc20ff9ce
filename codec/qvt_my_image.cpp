#include "qvt_my_image.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

void Report(CodecErrorReporter* reporter, std::uint32_t code) {
    if (reporter) reporter->ShowError(code, ErrorMessageForCode(code));
}

// Closes the descriptor on every way out, also when an exception other than the codec's own
// passes through (a throwing progress callback, a failed allocation).
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int fd) : m_fd(fd) {}
    ~OwnedDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;

    int Get() const { return m_fd; }
    // The result of close(2): a failed close can lose buffered data on some file systems.
    int Close() { return ::close(std::exchange(m_fd, -1)); }

private:
    int m_fd;
};

} // namespace

CQVTMyImage::~CQVTMyImage() { ClosePath(); }

bool CQVTMyImage::OpenPath(const std::string& path, CodecErrorReporter* reporter) {
    ClosePath();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        Report(reporter, static_cast<std::uint32_t>(errno));
        return false;
    }
    m_stream = std::make_unique<CQVTFileReadStream>(m_fd);
    try {
        Open(*m_stream);
        return true;
    } catch (const IOException& error) {
        Report(reporter, error.error);
        ClosePath();
        return false;
    }
}

bool CQVTMyImage::SavePath(const std::string& path, ProgressCallback progress, void* data,
                           CodecErrorReporter* reporter) {
    OwnedDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.Get() < 0) {
        Report(reporter, static_cast<std::uint32_t>(errno));
        return false;
    }
    bool saved = true;
    try {
        CQVTFileStream stream(file.Get());
        Write(stream, nullptr, progress, data);
    } catch (const IOException& error) {
        Report(reporter, error.error);
        saved = false;
    }
    // A close that loses data is a failed save too.
    if (file.Close() != 0 && saved) {
        Report(reporter, static_cast<std::uint32_t>(errno));
        saved = false;
    }
    return saved;
}

void CQVTMyImage::ClosePath() {
    ReleaseStream();
    m_stream.reset();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}
