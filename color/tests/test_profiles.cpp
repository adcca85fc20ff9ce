#include "test_profiles.h"

#include <lcms2.h>

#include <algorithm>

namespace {

constexpr std::ptrdiff_t kCreationDate = 24; // twelve bytes in the profile's header

std::vector<std::uint8_t> Saved(cmsHPROFILE profile, const char* description) {
    if (description) {
        cmsMLU* text = cmsMLUalloc(nullptr, 1);
        cmsMLUsetASCII(text, "en", "US", description);
        cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
        cmsMLUfree(text);
    }
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    // The engine stamps the time of making into the header; without it every profile made from
    // the same description has the same bytes, whenever it is made.
    std::fill(bytes.begin() + kCreationDate, bytes.begin() + kCreationDate + 12, 0);
    return bytes;
}

} // namespace

namespace {

std::vector<std::uint8_t> P3PrimariesProfile(cmsToneCurve* curve, const char* description) {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return Saved(profile, description);
}

} // namespace

std::vector<std::uint8_t> DisplayP3Profile() {
    const cmsFloat64Number sRgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return P3PrimariesProfile(cmsBuildParametricToneCurve(nullptr, 4, sRgbCurve),
                              kTestProfileDescription);
}

std::vector<std::uint8_t> P3ProfileWithRunawayCurve() {
    // (242 x + 0.05)^102 passes any float long before white, as a damaged file's curve did.
    const cmsFloat64Number steep[5] = {102, 242.4, 0.052, 0.077, 0.0405};
    return P3PrimariesProfile(cmsBuildParametricToneCurve(nullptr, 4, steep),
                              "Test P3 with a runaway curve");
}

std::vector<std::uint8_t> GrayProfile(double gamma) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return Saved(profile, "Test gray");
}

std::vector<std::uint8_t> LabProfile() { return Saved(cmsCreateLab4Profile(nullptr), nullptr); }
