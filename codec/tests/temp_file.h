// A temporary file for stream tests, removed with the object.
#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

struct TempFile {
    std::string path = "/tmp/qvt_test_XXXXXX";
    int fd = ::mkstemp(path.data());

    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        ::unlink(path.c_str());
    }
};
