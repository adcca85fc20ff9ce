#include "platform_images.h"

#include "text_case.h"

#include <algorithm>

bool PlatformImages::CanWrite(std::uint32_t mode, const std::string& extension) const {
    const std::string lower = LowerCase(extension);
    if (lower.empty() || std::find(writable.begin(), writable.end(), lower) == writable.end())
        return false;
    return holds ? holds(static_cast<ImageMode>(mode), "image." + lower) : IsDisplayHeldMode(mode);
}
