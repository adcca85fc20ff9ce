#include "qvt_stream.h"

#include "qvt_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A failing call whose errno is 0 has nothing to report, so it returns quietly.
void ThrowIfErrno() {
    const int code = errno;
    if (code != 0) throw IOException{static_cast<std::uint32_t>(code)};
}

// Largest piece handed to one Read or Write: well inside the 32-bit count.
constexpr std::uint64_t kMaxPiece = std::uint64_t{1} << 30;

} // namespace

void CQVTFileStream::Write(std::int32_t& count, const void* bytes) {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    std::int32_t done = 0;
    while (done < count) {
        errno = 0;
        const ssize_t n = ::write(m_fd, from + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            count = done;
            ThrowIfErrno();
            return;
        }
        if (n == 0) break; // no progress and no error: report the short count
        done += static_cast<std::int32_t>(n);
    }
    count = std::max(done, 0);
}

void CQVTFileStream::Read(std::int32_t& count, void* bytes) {
    auto* to = static_cast<std::uint8_t*>(bytes);
    std::int32_t done = 0;
    while (done < count) {
        errno = 0;
        const ssize_t n = ::read(m_fd, to + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            count = done;
            ThrowIfErrno();
            return;
        }
        if (n == 0) break; // end of file
        done += static_cast<std::int32_t>(n);
    }
    count = std::max(done, 0);
}

void CQVTFileStream::SetPos(std::int16_t mode, std::int64_t offset) {
    // lseek knows further modes (holes, data); only the three stream modes are passed on.
    if (mode != PosFromStart && mode != PosFromCurrent && mode != PosFromEnd)
        throw IOException{EINVAL};
    errno = 0;
    if (::lseek(m_fd, static_cast<off_t>(offset), mode) < 0) ThrowIfErrno();
}

std::uint64_t CQVTFileStream::GetPos() {
    errno = 0;
    const off_t position = ::lseek(m_fd, 0, SEEK_CUR);
    if (position < 0) {
        ThrowIfErrno();
        return 0;
    }
    return static_cast<std::uint64_t>(position);
}

void CQVTFileStream::Flush() {
    int result = 0;
    do {
        errno = 0;
        result = ::fdatasync(m_fd);
    } while (result != 0 && errno == EINTR);
    if (result != 0) ThrowIfErrno();
}

void CQVTFileReadStream::Write(std::int32_t& count, const void*) {
    count = 0;
    throw IOException{EBADF};
}

std::uint64_t ReadFileAt(int fd, std::uint8_t* to, std::uint64_t count, std::uint64_t offset) {
    std::uint64_t done = 0;
    while (done < count) {
        errno = 0;
        const ssize_t n = ::pread(fd, to + done, static_cast<std::size_t>(count - done),
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIfErrno();
            break;
        }
        if (n == 0) break; // end of file
        done += static_cast<std::uint64_t>(n);
    }
    return done;
}

// A large read is shared out among the threads, each reading a piece of its own: the copies
// from the system's cache, and the first touches of the caller's pages, run side by side.
std::uint32_t CQVTFileReadStream::ReadAt(std::uint8_t* to, std::uint32_t count) {
    constexpr std::uint32_t kSharedBytes = std::uint32_t{4} << 20;
    const int threads = count >= kSharedBytes ? omp_get_max_threads() : 1;
    if (threads <= 1) return static_cast<std::uint32_t>(ReadFileAt(m_fd, to, count, m_position));
    const std::uint32_t piece = (count / static_cast<std::uint32_t>(threads) + 4095) / 4096 * 4096;
    const auto pieces = static_cast<std::size_t>(threads);
    std::vector<std::uint32_t> got(pieces);
    std::vector<std::uint32_t> errors(pieces);
#pragma omp parallel for num_threads(threads)
    for (int i = 0; i < threads; ++i) {
        const auto p = static_cast<std::size_t>(i);
        const std::uint32_t first = std::min(count, static_cast<std::uint32_t>(i) * piece);
        try {
            got[p] = static_cast<std::uint32_t>(
                ReadFileAt(m_fd, to + first, std::min(piece, count - first), m_position + first));
        } catch (const IOException& error) {
            errors[p] = error.error;
        }
    }
    // A piece past the end of the file reads nothing.
    std::uint32_t done = 0;
    for (std::size_t p = 0; p < pieces; ++p) {
        if (errors[p] != 0) throw IOException{errors[p]};
        done += got[p];
    }
    return done;
}

void CQVTFileReadStream::Read(std::int32_t& count, void* bytes) {
    auto* to = static_cast<std::uint8_t*>(bytes);
    const auto wanted = static_cast<std::uint32_t>(std::max(count, 0));
    std::uint32_t done = 0;
    try {
        while (done < wanted) {
            if (m_position >= m_bufferStart && m_position < m_bufferStart + m_bufferFill) {
                const auto offset = static_cast<std::uint32_t>(m_position - m_bufferStart);
                const std::uint32_t take = std::min(wanted - done, m_bufferFill - offset);
                std::memcpy(to + done, m_buffer.get() + offset, take);
                done += take;
                m_position += take;
                continue;
            }
            // Large pieces go straight to the caller; small ones refill the buffer first.
            if (wanted - done >= kBufferBytes) {
                const std::uint32_t got = ReadAt(to + done, wanted - done);
                done += got;
                m_position += got;
                break;
            }
            if (!m_buffer) m_buffer = std::make_unique<std::uint8_t[]>(kBufferBytes);
            m_bufferStart = m_position;
            m_bufferFill = 0;
            m_bufferFill = ReadAt(m_buffer.get(), kBufferBytes);
            if (m_bufferFill == 0) break;
        }
    } catch (const IOException&) {
        count = static_cast<std::int32_t>(done);
        throw;
    }
    count = static_cast<std::int32_t>(done);
}

void CQVTFileReadStream::SetPos(std::int16_t mode, std::int64_t offset) {
    std::int64_t base = 0;
    if (mode == PosFromCurrent) {
        base = static_cast<std::int64_t>(m_position);
    } else if (mode == PosFromEnd) {
        errno = 0;
        struct stat status {};
        if (::fstat(m_fd, &status) != 0) {
            ThrowIfErrno();
            return;
        }
        base = status.st_size;
    } else if (mode != PosFromStart) {
        throw IOException{EINVAL};
    }
    if ((offset < 0 && base < -offset) ||
        (offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset))
        throw IOException{EINVAL};
    m_position = static_cast<std::uint64_t>(base + offset);
}

CQVTMemoryStream::CQVTMemoryStream(std::uint64_t size)
    : m_buffer(nullptr), m_capacity(size), m_ownsBuffer(true) {
    // malloc(0) may return null, which would read as "no block"; one spare byte avoids that.
    if (size < SIZE_MAX) m_buffer = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
    if (!m_buffer) ThrowCodecError(ErrorOutOfMemory);
}

CQVTMemoryStream::CQVTMemoryStream(void* block, std::uint64_t size)
    : m_buffer(static_cast<std::uint8_t*>(block)), m_end(size), m_capacity(size),
      m_ownsBuffer(false) {}

CQVTMemoryStream::~CQVTMemoryStream() {
    if (m_ownsBuffer) std::free(m_buffer);
}

void CQVTMemoryStream::Grow(std::uint64_t count) {
    if (!m_ownsBuffer) ThrowCodecError(ErrorOutOfMemory);
    const std::uint64_t increment = count + 16384;
    const std::uint64_t capacity = m_capacity + increment;
    void* grown = capacity < SIZE_MAX ? std::realloc(m_buffer, capacity) : nullptr;
    if (!grown) {
        // The stream gives up its data rather than keep a block it can no longer extend.
        std::free(m_buffer);
        m_buffer = nullptr;
        m_position = m_end = m_capacity = 0;
        ThrowCodecError(ErrorOutOfMemory);
    }
    m_buffer = static_cast<std::uint8_t*>(grown);
    m_capacity = capacity;
}

void CQVTMemoryStream::Write(std::int32_t& count, const void* bytes) {
    if (count <= 0) {
        count = 0;
        return;
    }
    if (!m_buffer) ThrowCodecError(ErrorOutOfMemory);
    const auto size = static_cast<std::uint64_t>(count);
    if (size > m_capacity - m_position) Grow(size);
    std::memcpy(m_buffer + m_position, bytes, size);
    m_position += size;
    m_end = std::max(m_end, m_position);
}

void CQVTMemoryStream::Read(std::int32_t& count, void* bytes) {
    const std::uint64_t available = m_end - m_position;
    const std::uint64_t size = count <= 0 ? 0 : std::min<std::uint64_t>(count, available);
    if (size > 0) std::memcpy(bytes, m_buffer + m_position, size);
    m_position += size;
    count = static_cast<std::int32_t>(size);
}

void CQVTMemoryStream::SetPos(std::int16_t mode, std::int64_t offset) {
    std::uint64_t base;
    switch (mode) {
    case PosFromStart:
        base = 0;
        break;
    case PosFromCurrent:
        base = m_position;
        break;
    case PosFromEnd:
        base = m_end;
        break;
    default:
        return;
    }
    // Compare distances instead of forming the target, so no offset can overflow.
    const std::uint64_t distance = offset < 0
                                       ? std::uint64_t{0} - static_cast<std::uint64_t>(offset)
                                       : static_cast<std::uint64_t>(offset);
    const bool inside = offset < 0 ? distance <= base : distance <= m_end - base;
    if (!inside) ThrowCodecError(ErrorStreamPosition);
    m_position = offset < 0 ? base - distance : base + distance;
}

void ReadBytes(CQVTStream& stream, void* bytes, std::uint64_t size) {
    auto* to = static_cast<std::uint8_t*>(bytes);
    while (size > 0) {
        const auto piece = static_cast<std::int32_t>(std::min(size, kMaxPiece));
        std::int32_t count = piece;
        stream.Read(count, to);
        if (count != piece) ThrowCodecError(ErrorShortRead);
        to += piece;
        size -= static_cast<std::uint64_t>(piece);
    }
}

void WriteBytes(CQVTStream& stream, const void* bytes, std::uint64_t size) {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const auto piece = static_cast<std::int32_t>(std::min(size, kMaxPiece));
        std::int32_t count = piece;
        stream.Write(count, from);
        // Both streams complete or throw; a stream that silently stops is an I/O failure.
        if (count != piece) throw IOException{EIO};
        from += piece;
        size -= static_cast<std::uint64_t>(piece);
    }
}

std::uint64_t RemainingBytes(CQVTStream& stream) {
    const std::uint64_t position = stream.GetPos();
    stream.SetPos(PosFromEnd, 0);
    const std::uint64_t end = stream.GetPos();
    stream.SetPos(PosFromStart, static_cast<std::int64_t>(position));
    return end > position ? end - position : 0;
}
