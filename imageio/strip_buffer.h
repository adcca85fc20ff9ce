// Bytes for one strip of rows at a time, kept from strip to strip and grown when a larger strip
// comes. Left uncleared: every strip overwrites the bytes it uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class StripBuffer {
public:
    // At least `bytes` bytes; what the last strip left there is undefined.
    std::uint8_t* Hold(std::size_t bytes) {
        if (bytes > capacity_) {
            bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
            capacity_ = bytes;
        }
        return bytes_.get();
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_ = 0;
};
