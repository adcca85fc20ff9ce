#include "child_title.h"

#include "image_mode.h"

#include <cstdio>

std::string ChildTitle(const ChildTitleFacts& facts) {
    std::string title = facts.documentTitle;
    const char* mode = ImageModeName(facts.mode);
    if (facts.mode == 255 || !mode) return title;
    if (facts.windowCount > 1) title += ":" + std::to_string(facts.windowNumber);
    if (facts.modified) title += "*";
    char zoom[64];
    if (facts.channelLetter != ' ')
        std::snprintf(zoom, sizeof zoom, " @ %.4g%% (%s, %c)", facts.zoom * 100, mode,
                      facts.channelLetter);
    else
        std::snprintf(zoom, sizeof zoom, " @ %.4g%% (%s)", facts.zoom * 100, mode);
    title += zoom;
    if (facts.level >= 1) title += " @ Level " + std::to_string(facts.level);
    return title;
}
