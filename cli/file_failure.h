// Failures and warnings about one file, reported as "pictor-cli: FILE: MESSAGE", the way the
// standard tools name the file a message concerns.
#pragma once

#include "qvt_error.h"
#include "raster_image.h"

#include <cstdio>
#include <stdexcept>
#include <string>

class FileFailure : public std::runtime_error {
public:
    FileFailure(std::string path, const std::string& message)
        : std::runtime_error(message), path_(std::move(path)) {}
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Runs `work` and returns what it returns; an ImageFileError or IOException from it becomes a
// FileFailure about `path`. A FileFailure about another file passes unchanged, so the innermost
// file a failure concerns is the one named.
template <typename Work>
decltype(auto) ConcerningFile(const std::string& path, Work&& work) {
    try {
        return work();
    } catch (const ImageFileError& error) {
        throw FileFailure(path, error.what());
    } catch (const IOException& error) {
        throw FileFailure(path, ErrorMessageForCode(error.error));
    }
}

// Prints "pictor-cli: FILE: warning: MESSAGE" on standard error.
inline void WarnAbout(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "pictor-cli: %s: warning: %s\n", path.c_str(), message.c_str());
}
