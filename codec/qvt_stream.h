// Byte streams of the codec and the container: an abstract interface, a stream over a POSIX file
// descriptor and a growable stream in memory.
#pragma once

#include <cstdint>
#include <memory>

// Seek modes of SetPos; the numbers equal SEEK_SET, SEEK_CUR and SEEK_END.
enum SeekMode : std::int16_t {
    PosFromStart = 0,
    PosFromCurrent = 1,
    PosFromEnd = 2,
};

// Streams report what they could transfer; callers compare counts themselves (ReadBytes and
// WriteBytes below do).
class CQVTStream {
public:
    virtual ~CQVTStream() = default;

    // On return `count` holds the number of bytes written.
    virtual void Write(std::int32_t& count, const void* bytes) = 0;
    // On return `count` holds the number of bytes read; fewer at the end of the data is no error.
    virtual void Read(std::int32_t& count, void* bytes) = 0;
    virtual void SetPos(std::int16_t mode, std::int64_t offset) = 0;
    // Position in bytes from the start of the stream.
    virtual std::uint64_t GetPos() = 0;
    // True while the stream has something to read from or write to.
    virtual bool IsValid() const = 0;
    // Makes what was written so far durable before the caller goes on; a commit point that
    // refers to earlier bytes needs it on both sides. Nothing to do for memory.
    virtual void Flush() {}
};

// Stream over an open file descriptor owned by the caller; it is never closed here. A failing
// system call throws IOException with its errno value (nothing is thrown when errno is 0).
class CQVTFileStream final : public CQVTStream {
public:
    explicit CQVTFileStream(int fd) : m_fd(fd) {}

    // Loops over partial transfers and EINTR; a short count remains only when the system makes
    // no progress without reporting an error.
    void Write(std::int32_t& count, const void* bytes) override;
    // Loops until `count` bytes arrived or the file ends.
    void Read(std::int32_t& count, void* bytes) override;
    void SetPos(std::int16_t mode, std::int64_t offset) override;
    std::uint64_t GetPos() override;
    bool IsValid() const override { return m_fd >= 0; }
    // fdatasync: the data and what is needed to read them back, not the file's times.
    void Flush() override;

private:
    int m_fd;
};

// Read-only stream over a file descriptor that nothing else moves (it reads at its own position
// and leaves the descriptor's alone; it is never closed here). It reads ahead a buffer at a time,
// so the many small fields and skips of a decode cost no system call each. Writing throws EBADF;
// failing system calls throw IOException with their errno value.
class CQVTFileReadStream final : public CQVTStream {
public:
    explicit CQVTFileReadStream(int fd) : m_fd(fd) {}

    void Write(std::int32_t& count, const void* bytes) override;
    // Loops until `count` bytes arrived or the file ends.
    void Read(std::int32_t& count, void* bytes) override;
    // Any position from 0 on, as for a descriptor; before 0 throws EINVAL.
    void SetPos(std::int16_t mode, std::int64_t offset) override;
    std::uint64_t GetPos() override { return m_position; }
    bool IsValid() const override { return m_fd >= 0; }

private:
    static constexpr std::uint32_t kBufferBytes = 64 * 1024;

    // Reads from the file at m_position into `to`; returns the count (0 at the end).
    std::uint32_t ReadAt(std::uint8_t* to, std::uint32_t count);

    int m_fd;
    std::uint64_t m_position = 0;
    // The buffer holds the file bytes [m_bufferStart, m_bufferStart + m_bufferFill).
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint64_t m_bufferStart = 0;
    std::uint32_t m_bufferFill = 0;
};

// Stream over a block of memory. An owned block grows on demand (by the written count plus
// 16 KiB); a block supplied by the caller never grows and is never freed.
class CQVTMemoryStream final : public CQVTStream {
public:
    // Allocates `size` bytes; throws ErrorOutOfMemory when that fails.
    explicit CQVTMemoryStream(std::uint64_t size);
    // Reads and overwrites the caller's `size` bytes at `block`, which all count as data.
    CQVTMemoryStream(void* block, std::uint64_t size);
    ~CQVTMemoryStream() override;
    CQVTMemoryStream(const CQVTMemoryStream&) = delete;
    CQVTMemoryStream& operator=(const CQVTMemoryStream&) = delete;

    void Write(std::int32_t& count, const void* bytes) override;
    void Read(std::int32_t& count, void* bytes) override;
    // Positions before the start or beyond the end of the data throw ErrorStreamPosition.
    void SetPos(std::int16_t mode, std::int64_t offset) override;
    std::uint64_t GetPos() override { return m_position; }
    bool IsValid() const override { return m_buffer != nullptr; }

    const std::uint8_t* Data() const { return m_buffer; }
    // One past the last byte ever written (or the size of a supplied block).
    std::uint64_t DataSize() const { return m_end; }
    std::uint64_t Capacity() const { return m_capacity; }
    // Forgets the data but keeps the block, so the next piece reuses its memory.
    void Reset() { m_position = m_end = 0; }

private:
    void Grow(std::uint64_t count);

    std::uint8_t* m_buffer;
    std::uint64_t m_position = 0; // offsets from m_buffer, never pointers past the block
    std::uint64_t m_end = 0;
    std::uint64_t m_capacity;
    bool m_ownsBuffer;
};

// Reads up to `count` bytes of the descriptor's file from `offset` on (pread, over partial reads
// and EINTR) and returns how many there were: fewer only where the file ends. The descriptor's
// position is left alone, so threads may read at once. A failing call throws IOException with
// its errno value.
std::uint64_t ReadFileAt(int fd, std::uint8_t* to, std::uint64_t count, std::uint64_t offset);

// Reads exactly `size` bytes (in pieces that fit the stream's 32-bit count); fewer throws
// ErrorShortRead.
void ReadBytes(CQVTStream& stream, void* bytes, std::uint64_t size);
// Writes `size` bytes in pieces that fit the stream's 32-bit count; a stream that stops short
// without an error of its own throws EIO.
void WriteBytes(CQVTStream& stream, const void* bytes, std::uint64_t size);
// Bytes between the current position and the end of the stream; the position is kept.
std::uint64_t RemainingBytes(CQVTStream& stream);
