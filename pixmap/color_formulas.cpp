#include "color_formulas.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

std::array<std::uint8_t, 4> BgrToCmyk(int blue, int green, int red) {
    const int c = 255 - red, m = 255 - green, y = 255 - blue;
    const int k0 = std::min({c, m, y});
    const int black = k0 <= 76 ? 0 : std::min(255, (k0 - 77) * 230 / 178);
    return {static_cast<std::uint8_t>(c - k0 / 10), static_cast<std::uint8_t>(m - k0 / 10),
            static_cast<std::uint8_t>(y - k0 / 10), static_cast<std::uint8_t>(black)};
}

std::array<std::uint8_t, 3> CmykToBgr(int cyan, int magenta, int yellow, int black) {
    const int k = (black * 178 / 230 + 77) / 10;
    return {static_cast<std::uint8_t>(std::max(0, 255 - yellow - k)),
            static_cast<std::uint8_t>(std::max(0, 255 - magenta - k)),
            static_cast<std::uint8_t>(std::max(0, 255 - cyan - k))};
}

std::array<std::uint16_t, 4> Bgr48ToCmyk64(int blue, int green, int red) {
    const int c = 65535 - red, m = 65535 - green, y = 65535 - blue;
    const int k0 = std::min({c, m, y});
    return {static_cast<std::uint16_t>(c - k0 / 10), static_cast<std::uint16_t>(m - k0 / 10),
            static_cast<std::uint16_t>(y - k0 / 10), 0};
}

std::array<std::uint16_t, 3> Cmyk64ToBgr48(std::uint32_t cyan, std::uint32_t magenta,
                                           std::uint32_t yellow, std::uint32_t black) {
    const std::uint32_t k = (black * 45875u / 58981u + 19660u) / 10u;
    const auto channel = [k](std::uint32_t ink) {
        return static_cast<std::uint16_t>(65535u - std::min(ink + k, 65535u));
    };
    return {channel(yellow), channel(magenta), channel(cyan)};
}

// ---- L*a*b* ----

namespace {

constexpr double kEpsilon = 0.008856451679035631;
constexpr double kKappa = 903.2962962962963;

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

double LabF(double t) { return t > kEpsilon ? std::pow(t, 1.0 / 3.0) : (kKappa * t + 16) / 116; }

// The inverse of LabF for X and Z.
double LabFInverse(double f) {
    const double cube = f * f * f;
    return cube > kEpsilon ? cube : (116 * f - 16) / kKappa;
}

struct LightnessTerms {
    double y;
    double fy;
};

LightnessTerms FromLightness(double lightness) {
    const double t = (lightness + 16) / 116;
    const double y = lightness > 8 ? t * t * t : lightness / kKappa;
    const double fy = y > kEpsilon ? (lightness + 16) / 116 : (kKappa * y + 16) / 116;
    return {y, fy};
}

double ScaledLightness(int stored, double scale) { return stored * 100 / scale; }
double ScaledOpponent(int stored, double scale) { return stored * 240 / scale - 120; }
double XFrom(double fy, double a) { return LabFInverse(fy + a / 500) * 0.950468; }
double ZFrom(double fy, double b) { return LabFInverse(fy - b / 200) * 1.0889687; }

double Encode(double v) {
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// Linear blue, green, red of X, Y, Z, clamped to 0 ... 1.
std::array<double, 3> XyzToLinearBgr(double x, double y, double z) {
    return {Clamp01(0.0556352 * x - 0.203996 * y + 1.05707 * z),
            Clamp01(-0.969258 * x + 1.87599 * y + 0.0415557 * z),
            Clamp01(3.24071 * x - 1.53726 * y - 0.498571 * z)};
}

std::array<int, 3> XyzToBgr(double x, double y, double z, double outScale) {
    const auto linear = XyzToLinearBgr(x, y, z);
    return {static_cast<int>(Encode(linear[0]) * outScale),
            static_cast<int>(Encode(linear[1]) * outScale),
            static_cast<int>(Encode(linear[2]) * outScale)};
}

int Encode8(double v) { return static_cast<int>(Encode(v) * 255); }

// The 8-bit sRGB encoding by thresholds: threshold k is the smallest linear value whose literal
// encoded byte is k, found by bisection over the bit patterns of the doubles in 0 ... 1 (which
// order like the values). A lookup then gives the literal byte wherever the computed curve does
// not decrease, which the tests check against the literal formula. `start` holds the byte at each
// multiple of 1/4096 and leaves at most a step or two to walk.
struct Encode8Thresholds {
    static constexpr int kSteps = 4096;
    std::array<double, 257> threshold{};
    std::array<std::uint8_t, kSteps + 1> start{};

    Encode8Thresholds() {
        const auto bitsOf = [](double v) { return std::bit_cast<std::uint64_t>(v); };
        threshold[0] = -1;
        threshold[256] = 2;
        for (int k = 1; k < 256; ++k) {
            std::uint64_t low = bitsOf(0.0), high = bitsOf(1.0);
            if (Encode8(1.0) < k) {
                threshold[static_cast<std::size_t>(k)] = 2;
                continue;
            }
            while (high - low > 1) {
                const std::uint64_t middle = low + (high - low) / 2;
                (Encode8(std::bit_cast<double>(middle)) >= k ? high : low) = middle;
            }
            threshold[static_cast<std::size_t>(k)] = std::bit_cast<double>(high);
        }
        for (int j = 0; j <= kSteps; ++j) {
            const double v = double(j) / kSteps;
            int k = 0;
            while (v >= threshold[static_cast<std::size_t>(k + 1)])
                ++k;
            start[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(k);
        }
    }

    int Encode(double v) const {
        std::size_t k = start[static_cast<std::size_t>(v * kSteps)];
        while (v >= threshold[k + 1])
            ++k;
        return static_cast<int>(k);
    }
};

std::vector<double> MakeLinearTable(int count, double scale) {
    std::vector<double> table(static_cast<std::size_t>(count));
    for (int v = 0; v < count; ++v)
        table[static_cast<std::size_t>(v)] = SampleToLinear(v, scale);
    return table;
}

// X of every (L', a') and Z of every (L', b') pair, and Y of every L', for 8-bit Lab.
struct Lab8Tables {
    std::vector<double> x = std::vector<double>(65536);
    std::vector<double> z = std::vector<double>(65536);
    std::array<double, 256> y{};

    Lab8Tables() {
        for (int l = 0; l < 256; ++l) {
            const LightnessTerms terms = FromLightness(ScaledLightness(l, 255));
            y[static_cast<std::size_t>(l)] = terms.y;
            for (int o = 0; o < 256; ++o) {
                const auto at = static_cast<std::size_t>(l * 256 + o);
                x[at] = XFrom(terms.fy, ScaledOpponent(o, 255));
                z[at] = ZFrom(terms.fy, ScaledOpponent(o, 255));
            }
        }
    }
};

} // namespace

double SampleToLinear(int value, double scale) {
    const double v = value / scale;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

std::array<int, 3> LinearToLab(double red, double green, double blue, double scale) {
    double x = Clamp01(0.412424 * red + 0.357579 * green + 0.180464 * blue);
    const double y = Clamp01(0.212656 * red + 0.715158 * green + 0.0721856 * blue);
    double z = Clamp01(0.0193324 * red + 0.119193 * green + 0.950444 * blue);
    x = x / 0.950468;
    z = z / 1.0889687;
    const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
    const double lightness = 116 * fy - 16, a = 500 * (fx - fy), b = 200 * (fy - fz);
    return {static_cast<int>(lightness * scale / 100), static_cast<int>((a + 120) * scale / 240),
            static_cast<int>((b + 120) * scale / 240)};
}

std::array<int, 3> LabToBgr(int lightness, int a, int b, double inScale, double outScale) {
    const LightnessTerms terms = FromLightness(ScaledLightness(lightness, inScale));
    return XyzToBgr(XFrom(terms.fy, ScaledOpponent(a, inScale)), terms.y,
                    ZFrom(terms.fy, ScaledOpponent(b, inScale)), outScale);
}

const double* LinearTable8() {
    static const std::vector<double> table = MakeLinearTable(256, 255);
    return table.data();
}

const double* LinearTable16() {
    static const std::vector<double> table = MakeLinearTable(65536, 65535);
    return table.data();
}

std::array<int, 3> Lab8ToBgr8Fast(int lightness, int a, int b) {
    static const Lab8Tables tables;
    static const Encode8Thresholds encode;
    const auto row = static_cast<std::size_t>(lightness * 256);
    const auto linear = XyzToLinearBgr(tables.x[row + static_cast<std::size_t>(a)],
                                       tables.y[static_cast<std::size_t>(lightness)],
                                       tables.z[row + static_cast<std::size_t>(b)]);
    return {encode.Encode(linear[0]), encode.Encode(linear[1]), encode.Encode(linear[2])};
}
