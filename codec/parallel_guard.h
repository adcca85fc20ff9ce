// Exceptions must not leave an OpenMP region: the runtime would end the program. Every iteration
// of the codec's parallel loops runs its whole body through GuardedCode, which turns what the
// body throws into the error code the loop collects and the caller throws after the region.
#pragma once

#include "qvt_error.h"

#include <cstdint>
#include <new>
#include <stdexcept>

// `work` returns 0 or an error code. A codec error keeps its code; an allocation that cannot be
// had (std::bad_alloc, or std::length_error for a container past its largest size) is
// ErrorOutOfMemory. The codec throws nothing else.
template <typename Work>
std::uint32_t GuardedCode(Work&& work) noexcept {
    try {
        return work();
    } catch (const IOException& error) {
        return error.error;
    } catch (const std::bad_alloc&) {
        return ErrorOutOfMemory;
    } catch (const std::length_error&) {
        return ErrorOutOfMemory;
    }
}
