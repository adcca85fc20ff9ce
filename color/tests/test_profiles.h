// ICC profiles made by the colour engine for tests: wide-gamut RGB, gray and L*a*b*.
#pragma once

#include <cstdint>
#include <vector>

// Display P3: the P3 primaries with D65 white and the sRGB tone curve.
std::vector<std::uint8_t> DisplayP3Profile();
// The P3 primaries with a tone curve that overflows to infinity.
std::vector<std::uint8_t> P3ProfileWithRunawayCurve();
// A gray profile with a pure power curve (1.0 = linear light).
std::vector<std::uint8_t> GrayProfile(double gamma);
// The engine's L*a*b* identity profile (D50).
std::vector<std::uint8_t> LabProfile();
// The description every test profile carries.
inline constexpr const char* kTestProfileDescription = "Test Display P3";
