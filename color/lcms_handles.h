// Owning handles for the colour engine's objects (inside the colour library only).
#pragma once

#include "icc_profile.h"

#include <lcms2.h>

#include <memory>

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;
using TransformHandle = std::unique_ptr<void, TransformDeleter>;

// The engine's profile made from the bytes; null when it cannot read them.
inline ProfileHandle OpenProfile(std::span<const std::uint8_t> bytes) {
    return ProfileHandle(
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}
inline ProfileHandle OpenProfile(const IccProfile& profile) { return OpenProfile(profile.Bytes()); }
