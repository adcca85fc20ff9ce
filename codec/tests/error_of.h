// The code of the IOException an action throws; 0 when it returns normally.
#pragma once

#include "qvt_error.h"

#include <cstdint>

inline std::uint32_t ErrorOf(auto&& action) {
    try {
        action();
    } catch (const IOException& error) {
        return error.error;
    }
    return 0;
}
