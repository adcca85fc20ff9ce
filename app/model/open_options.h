// The program-wide options that the next open reads; held for the run only. Documents copy what
// they need when they open, so a later change never alters an open document.
#pragma once

#include <cstdint>

struct OpenOptions {
    bool progressive = true;
    bool overview = true;
    bool thumbnail = false;
    bool regionOfInterest = false;
    std::uint32_t regionLeft = 0;
    std::uint32_t regionTop = 0;
    std::uint32_t regionRight = 0;
    std::uint32_t regionBottom = 0;
    int level = 0;
};
