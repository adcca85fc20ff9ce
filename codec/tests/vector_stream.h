// A byte stream over a vector for tests: grows on writes, reads report what is left, seeking
// past the end of the data throws ErrorStreamPosition like the codec's memory stream.
#pragma once

#include "block_stream.h"
#include "qvt_error.h"

#include <algorithm>
#include <cstring>
#include <vector>

class VectorStream : public BlockByteStream {
public:
    VectorStream() = default;
    explicit VectorStream(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {}

    void Write(std::int32_t& count, const void* bytes) override {
        const auto size = static_cast<std::size_t>(count);
        if (pos + size > data.size()) data.resize(pos + size);
        if (size > 0) std::memcpy(data.data() + pos, bytes, size);
        pos += size;
    }
    void Read(std::int32_t& count, void* bytes) override {
        const std::size_t size = std::min(static_cast<std::size_t>(count), data.size() - pos);
        if (size > 0) std::memcpy(bytes, data.data() + pos, size);
        pos += size;
        count = static_cast<std::int32_t>(size);
    }
    void SetPos(std::int16_t mode, std::int64_t offset) override {
        const std::int64_t base = mode == BlockSeekFromStart ? 0
                                  : mode == BlockSeekFromCurrent
                                      ? static_cast<std::int64_t>(pos)
                                      : static_cast<std::int64_t>(data.size());
        const std::int64_t target = base + offset;
        if (target < 0 || target > static_cast<std::int64_t>(data.size()))
            ThrowCodecError(ErrorStreamPosition);
        pos = static_cast<std::size_t>(target);
    }
    std::uint64_t GetPos() override { return pos; }

    std::vector<std::uint8_t> data;
    std::size_t pos = 0;
};
