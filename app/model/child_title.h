// The text of a document window's title.
#pragma once

#include <cstdint>
#include <string>

struct ChildTitleFacts {
    std::string documentTitle;
    int windowNumber = 1; // shown when the document has more than one window
    int windowCount = 1;
    bool modified = false;
    std::uint32_t mode = 255; // 255: no image yet, the title alone
    double zoom = 1;
    char channelLetter = ' '; // blank when all channels are shown
    int level = 0;            // the reduced level a document is read to; 0 = full size
};

// "photo.ppm:2* @ 200% (RGB, B)": title, window number, modified mark, zoom, mode and channel;
// " @ Level 2" follows for a document read to a reduced level.
std::string ChildTitle(const ChildTitleFacts& facts);
