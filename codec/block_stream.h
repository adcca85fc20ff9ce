// The byte stream the block coder writes to and reads from. It has exactly the shape of the
// codec's stream interface, so binding the coder to that interface is a rename.
#pragma once

#include <cstdint>

enum BlockStreamSeek : std::int16_t {
    BlockSeekFromStart = 0,
    BlockSeekFromCurrent = 1,
    BlockSeekFromEnd = 2,
};

class BlockByteStream {
public:
    virtual ~BlockByteStream() = default;

    // On return `count` holds the number of bytes written.
    virtual void Write(std::int32_t& count, const void* bytes) = 0;
    // On return `count` holds the number of bytes read; fewer at the end is no error here.
    virtual void Read(std::int32_t& count, void* bytes) = 0;
    virtual void SetPos(std::int16_t mode, std::int64_t offset) = 0;
    virtual std::uint64_t GetPos() = 0;
};
