#include "qvt_my_image.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

void Report(CodecErrorReporter* reporter, std::uint32_t code) {
    if (reporter) reporter->ShowError(code, ErrorMessageForCode(code));
}

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
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        Report(reporter, static_cast<std::uint32_t>(errno));
        return false;
    }
    bool saved = true;
    try {
        CQVTFileStream stream(fd);
        Write(stream, nullptr, progress, data);
    } catch (const IOException& error) {
        Report(reporter, error.error);
        saved = false;
    }
    // A failed close can lose buffered data on some file systems; that is a failed save too.
    if (::close(fd) != 0 && saved) {
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
