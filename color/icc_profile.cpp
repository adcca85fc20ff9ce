#include "icc_profile.h"

#include "lcms_handles.h"

#include <array>
#include <cwchar>

namespace {

// A profile's header alone is 128 bytes, and its tag count follows.
constexpr std::size_t kSmallestProfile = 132;

ProfileSpace SpaceOf(cmsColorSpaceSignature signature) {
    switch (signature) {
    case cmsSigGrayData:
        return ProfileSpace::Gray;
    case cmsSigRgbData:
        return ProfileSpace::RGB;
    case cmsSigCmykData:
        return ProfileSpace::CMYK;
    case cmsSigLabData:
        return ProfileSpace::Lab;
    default:
        return ProfileSpace::Other;
    }
}

// The engine's 8-bit (Lab: floating-point) format of samples in the space.
cmsUInt32Number FormatOf(ProfileSpace space) {
    switch (space) {
    case ProfileSpace::Gray:
        return TYPE_GRAY_8;
    case ProfileSpace::RGB:
        return TYPE_RGB_8;
    case ProfileSpace::CMYK:
        return TYPE_CMYK_8;
    case ProfileSpace::Lab:
        return TYPE_Lab_DBL;
    case ProfileSpace::Other:
        break;
    }
    return 0;
}

void AppendUtf8(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The description as UTF-8, control characters and invalid code points left out, so that what a
// file says cannot break the line it is shown on.
std::string DescriptionOf(cmsHPROFILE profile) {
    std::array<wchar_t, 256> wide{};
    if (cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", wide.data(),
                          static_cast<cmsUInt32Number>(wide.size() * sizeof(wchar_t))) == 0)
        return {};
    std::string text;
    for (const wchar_t character : wide) {
        if (character == 0) break;
        const auto code = static_cast<char32_t>(character);
        if (code < 0x20 || code == 0x7F || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF)
            continue;
        AppendUtf8(text, code);
    }
    return text;
}

std::uint64_t Fnv1a(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (const std::uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x100000001B3u;
    return hash;
}

// Whether the engine links the profile with sRGB in the direction `use` needs.
bool Links(cmsHPROFILE profile, ProfileSpace space, ProfileUse use) {
    const ProfileHandle sRgb(cmsCreate_sRGBProfile());
    const TransformHandle transform(
        use == ProfileUse::Image
            ? cmsCreateTransform(profile, FormatOf(space), sRgb.get(), TYPE_RGB_8,
                                 INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE)
            : cmsCreateTransform(sRgb.get(), TYPE_RGB_8, profile, TYPE_RGB_8, INTENT_PERCEPTUAL,
                                 cmsFLAGS_NOCACHE));
    return transform != nullptr;
}

} // namespace

std::shared_ptr<const IccProfile> IccProfile::FromBytes(std::span<const std::uint8_t> bytes,
                                                        ProfileUse use) {
    if (bytes.size() < kSmallestProfile) throw ProfileError("The profile is too short.");
    if (bytes.size() > kMaxBytes) throw ProfileError("The profile is too large.");
    const ProfileHandle handle = OpenProfile(bytes);
    if (!handle) throw ProfileError("The profile cannot be read.");
    const ProfileSpace space = SpaceOf(cmsGetColorSpace(handle.get()));
    if (space == ProfileSpace::Other || (use == ProfileUse::Screen && space != ProfileSpace::RGB))
        throw ProfileError("The profile's colour space is not supported.");
    if (!Links(handle.get(), space, use))
        throw ProfileError("The profile cannot be used for conversions.");
    std::shared_ptr<IccProfile> profile(new IccProfile);
    profile->bytes_.assign(bytes.begin(), bytes.end());
    profile->description_ = DescriptionOf(handle.get());
    profile->space_ = space;
    profile->digest_ = Fnv1a(bytes);
    return profile;
}

const std::shared_ptr<const IccProfile>& IccProfile::SRgb() {
    static const std::shared_ptr<const IccProfile> sRgb = [] {
        const ProfileHandle handle(cmsCreate_sRGBProfile());
        cmsUInt32Number size = 0;
        cmsSaveProfileToMem(handle.get(), nullptr, &size);
        std::vector<std::uint8_t> bytes(size);
        cmsSaveProfileToMem(handle.get(), bytes.data(), &size);
        return FromBytes(bytes, ProfileUse::Screen);
    }();
    return sRgb;
}
