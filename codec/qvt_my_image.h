// The codec image over a file on disk, for callers that want messages rather than exceptions.
#pragma once

#include "qvt_image.h"

#include <cstdint>
#include <memory>
#include <string>

// Where a file-level failure is shown. The GUI implements it with a message box; the command
// line prints it; tests collect it.
class CodecErrorReporter {
public:
    virtual ~CodecErrorReporter() = default;
    // `code` is an errno value or a codec code; `text` is what the user should read.
    virtual void ShowError(std::uint32_t code, const std::string& text) = 0;
};

class CQVTMyImage : public CQVTImage {
public:
    CQVTMyImage() = default;
    ~CQVTMyImage() override;

    // Opens the file for reading and its head. The file stays open for later Read calls until
    // ClosePath. On failure the error goes to `reporter` (when given) and false is returned.
    bool OpenPath(const std::string& path, CodecErrorReporter* reporter = nullptr);
    // Creates (or truncates) the file and writes the prepared image into it. On failure the
    // error is reported, the file is closed with what was written, and false is returned.
    bool SavePath(const std::string& path, ProgressCallback progress = nullptr,
                  void* data = nullptr, CodecErrorReporter* reporter = nullptr);
    // Closes the file opened by OpenPath; the decoded image stays.
    void ClosePath();

private:
    int m_fd = -1;
    std::unique_ptr<CQVTFileReadStream> m_stream;
};
