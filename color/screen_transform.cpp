#include "screen_transform.h"

#include "lcms_handles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// Steps of linear light between the matrix and the screen's tone curves: fine enough that the
// darkest step of a pure power curve moves the 8-bit result by less than two levels.
constexpr int kLinearSteps = 16383;

cmsUInt32Number IntentOf(RenderingIntent intent) {
    return intent == RenderingIntent::Perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC;
}

constexpr std::uint32_t Word(std::uint32_t red, std::uint32_t green, std::uint32_t blue,
                             std::uint32_t alpha = 255) {
    return alpha << 24 | red << 16 | green << 8 | blue;
}

TransformHandle Link(const IccProfile& image, cmsUInt32Number from, const IccProfile& screen,
                     cmsUInt32Number to, RenderingIntent intent, cmsUInt32Number flags = 0) {
    const ProfileHandle source = OpenProfile(image);
    const ProfileHandle target = OpenProfile(screen);
    if (!source || !target) throw ProfileError("The profile cannot be read.");
    // No cache: a transform with the engine's one-pixel cache may not be shared by threads.
    TransformHandle transform(cmsCreateTransform(source.get(), from, target.get(), to,
                                                 IntentOf(intent), cmsFLAGS_NOCACHE | flags));
    if (!transform) throw ProfileError("The profiles cannot be linked.");
    return transform;
}

// Whether the engine links the pair by colorant matrices and tone curves alone (no lookup
// tables for the intent on either side), so that the fast path gives what the engine gives.
bool LinksByMatrices(cmsHPROFILE image, cmsHPROFILE screen, cmsUInt32Number intent) {
    return cmsIsMatrixShaper(image) && !cmsIsCLUT(image, intent, LCMS_USED_AS_INPUT) &&
           cmsIsMatrixShaper(screen) && !cmsIsCLUT(screen, intent, LCMS_USED_AS_OUTPUT);
}

using Matrix = std::array<std::array<double, 3>, 3>;

// Device RGB to the connection space's XYZ: the colorants as columns.
Matrix ColorantMatrix(cmsHPROFILE profile) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    Matrix matrix{};
    for (int column = 0; column < 3; ++column) {
        const auto* colorant = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[column]));
        if (!colorant) throw ProfileError("The profile has no colorants.");
        matrix[0][column] = colorant->X;
        matrix[1][column] = colorant->Y;
        matrix[2][column] = colorant->Z;
    }
    return matrix;
}

Matrix Inverse(const Matrix& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::abs(det) > 1e-12)) throw ProfileError("The profile's colorants are degenerate.");
    Matrix inverse{};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            // The cofactor of the transposed position, by cyclic indices.
            const int r1 = (column + 1) % 3, r2 = (column + 2) % 3;
            const int c1 = (row + 1) % 3, c2 = (row + 2) % 3;
            inverse[row][column] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return inverse;
}

Matrix Product(const Matrix& a, const Matrix& b) {
    Matrix product{};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            for (int k = 0; k < 3; ++k)
                product[row][column] += a[row][k] * b[k][column];
    return product;
}

const cmsToneCurve* ToneCurve(cmsHPROFILE profile, int channel) {
    const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tags[channel]));
    if (!curve) throw ProfileError("The profile has no tone curves.");
    return curve;
}

std::vector<std::uint32_t> MakeGrayTable(const IccProfile& image, const IccProfile& screen,
                                         RenderingIntent intent) {
    const TransformHandle transform = Link(image, TYPE_GRAY_8, screen, TYPE_RGB_8, intent);
    std::array<std::uint8_t, 256> grays{};
    for (std::size_t i = 0; i < grays.size(); ++i)
        grays[i] = static_cast<std::uint8_t>(i);
    std::array<std::uint8_t, 256 * 3> rgb{};
    cmsDoTransform(transform.get(), grays.data(), rgb.data(), 256);
    std::vector<std::uint32_t> table(256);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = Word(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    return table;
}

cmsUInt32Number EngineFormat(SampleFormat format) {
    switch (format) {
    case SampleFormat::Bgr8:
        return TYPE_BGR_8;
    case SampleFormat::Bgra8:
        return TYPE_BGRA_8;
    case SampleFormat::Gray8:
        return TYPE_GRAY_8;
    case SampleFormat::Cmyk8:
        return TYPE_CMYK_8;
    case SampleFormat::Cmyk16:
        return TYPE_CMYK_16;
    case SampleFormat::Lab8:
    case SampleFormat::Lab16:
        break;
    }
    return TYPE_Lab_DBL; // the program's L*a*b* is unpacked first
}

// The program's L*a*b* samples as the engine's: L 0 ... 100, a and b −120 ... 120.
void UnpackLab(const std::uint8_t* from, cmsCIELab* to, std::size_t count, bool wide) {
    const double scale = wide ? 65535.0 : 255.0;
    for (std::size_t i = 0; i < count; ++i) {
        double samples[3];
        for (int c = 0; c < 3; ++c) {
            if (wide) {
                std::uint16_t word;
                std::memcpy(&word, from + 6 * i + 2 * c, 2);
                samples[c] = word;
            } else {
                samples[c] = from[3 * i + c];
            }
        }
        to[i] = {samples[0] * 100 / scale, samples[1] * 240 / scale - 120,
                 samples[2] * 240 / scale - 120};
    }
}

std::size_t BytesPerPixel(SampleFormat format) {
    switch (format) {
    case SampleFormat::Gray8:
        return 1;
    case SampleFormat::Bgr8:
    case SampleFormat::Lab8:
        return 3;
    case SampleFormat::Bgra8:
    case SampleFormat::Cmyk8:
        return 4;
    case SampleFormat::Lab16:
        return 6;
    case SampleFormat::Cmyk16:
        return 8;
    }
    return 0;
}

} // namespace

// RGB linked by matrices: the image's tone curves as tables of linear light, the matrix from the
// image's RGB to the screen's, and the screen's inverse tone curves over kLinearSteps + 1 steps.
struct ScreenTransform::MatrixPath {
    std::array<std::array<float, 256>, 3> linear;
    std::array<std::array<float, 3>, 3> matrix;
    std::array<std::vector<std::uint8_t>, 3> encode;
    // The table of each channel: screens whose three curves are the same (most) share the first,
    // which then stays in the first-level cache.
    std::array<const std::uint8_t*, 3> encodeTable;
};

namespace {

std::unique_ptr<const ScreenTransform::MatrixPath>
MakeMatrixPath(cmsHPROFILE image, cmsHPROFILE screen, cmsUInt32Number intent) {
    if (!LinksByMatrices(image, screen, intent)) return nullptr;
    auto path = std::make_unique<ScreenTransform::MatrixPath>();
    const Matrix matrix = Product(Inverse(ColorantMatrix(screen)), ColorantMatrix(image));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            path->matrix[row][column] = static_cast<float>(matrix[row][column]);
    for (int channel = 0; channel < 3; ++channel) {
        const cmsToneCurve* decode = ToneCurve(image, channel);
        for (int value = 0; value < 256; ++value) {
            const float linear =
                cmsEvalToneCurveFloat(decode, static_cast<cmsFloat32Number>(value / 255.0));
            // A damaged curve can reach infinity, and infinities of opposite sign in the matrix
            // sum make a number no screen table can index.
            if (!std::isfinite(linear))
                throw ProfileError("The profile's tone curves leave the range of numbers.");
            path->linear[channel][value] = linear;
        }
        std::unique_ptr<cmsToneCurve, void (*)(cmsToneCurve*)> encode(
            cmsReverseToneCurve(ToneCurve(screen, channel)), cmsFreeToneCurve);
        if (!encode) throw ProfileError("The screen's tone curves cannot be inverted.");
        std::vector<std::uint8_t>& table = path->encode[channel];
        table.resize(kLinearSteps + 1);
        for (int step = 0; step <= kLinearSteps; ++step)
            table[step] = static_cast<std::uint8_t>(std::lround(
                std::clamp(cmsEvalToneCurveFloat(encode.get(),
                                                 static_cast<cmsFloat32Number>(
                                                     static_cast<double>(step) / kLinearSteps)),
                           0.0f, 1.0f) *
                255.0f));
    }
    for (int channel = 0; channel < 3; ++channel)
        path->encodeTable[channel] = path->encode[channel] == path->encode[0]
                                         ? path->encode[0].data()
                                         : path->encode[channel].data();
    return path;
}

} // namespace

ProfileSpace SpaceOfFormat(SampleFormat format) {
    switch (format) {
    case SampleFormat::Bgr8:
    case SampleFormat::Bgra8:
        return ProfileSpace::RGB;
    case SampleFormat::Gray8:
        return ProfileSpace::Gray;
    case SampleFormat::Cmyk8:
    case SampleFormat::Cmyk16:
        return ProfileSpace::CMYK;
    case SampleFormat::Lab8:
    case SampleFormat::Lab16:
        return ProfileSpace::Lab;
    }
    return ProfileSpace::Other;
}

ScreenTransform::ScreenTransform(const IccProfile& image, SampleFormat format,
                                 const IccProfile& screen, RenderingIntent intent)
    : format_(format) {
    if (image.Space() != SpaceOfFormat(format))
        throw ProfileError("The profile does not describe samples of this kind.");
    if (format == SampleFormat::Gray8) {
        grays_ = MakeGrayTable(image, screen, intent);
        return;
    }
    if (format == SampleFormat::Bgr8 || format == SampleFormat::Bgra8) {
        const ProfileHandle source = OpenProfile(image);
        const ProfileHandle target = OpenProfile(screen);
        if (!source || !target) throw ProfileError("The profile cannot be read.");
        matrices_ = MakeMatrixPath(source.get(), target.get(), IntentOf(intent));
        if (matrices_) return;
    }
    engine_ = {Link(image, EngineFormat(format), screen, TYPE_BGRA_8, intent,
                    format == SampleFormat::Bgra8 ? cmsFLAGS_COPY_ALPHA : 0)
                   .release(),
               [](void* transform) { cmsDeleteTransform(transform); }};
}

ScreenTransform::~ScreenTransform() = default;

void ScreenTransform::Convert(const std::uint8_t* from, std::uint32_t* to,
                              std::size_t count) const {
    if (matrices_)
        return ConvertByMatrices(from, to, count, format_ == SampleFormat::Bgra8 ? 4 : 3);
    if (format_ == SampleFormat::Gray8) {
        for (std::size_t i = 0; i < count; ++i)
            to[i] = grays_[from[i]];
        return;
    }
    ConvertThroughEngine(from, to, count);
}

void ScreenTransform::ConvertByMatrices(const std::uint8_t* from, std::uint32_t* to,
                                        std::size_t count, std::size_t step) const {
    const MatrixPath& path = *matrices_;
    const auto& m = path.matrix;
    const auto encode = [](const std::uint8_t* table, float linear) -> std::uint32_t {
        // Colours beyond the screen's gamut are clipped to its edge.
        const float scaled = std::clamp(linear, 0.0f, 1.0f) * kLinearSteps + 0.5f;
        return table[static_cast<std::size_t>(scaled)];
    };
    for (std::size_t i = 0; i < count; ++i, from += step) {
        const float blue = path.linear[2][from[0]];
        const float green = path.linear[1][from[1]];
        const float red = path.linear[0][from[2]];
        const std::uint32_t alpha = step == 4 ? from[3] : 255;
        to[i] = Word(encode(path.encodeTable[0], m[0][0] * red + m[0][1] * green + m[0][2] * blue),
                     encode(path.encodeTable[1], m[1][0] * red + m[1][1] * green + m[1][2] * blue),
                     encode(path.encodeTable[2], m[2][0] * red + m[2][1] * green + m[2][2] * blue),
                     alpha);
    }
}

void ScreenTransform::ConvertThroughEngine(const std::uint8_t* from, std::uint32_t* to,
                                           std::size_t count) const {
    const bool lab = SpaceOfFormat(format_) == ProfileSpace::Lab;
    const std::size_t bytes = BytesPerPixel(format_);
    constexpr std::size_t kChunk = 1024;
    std::vector<cmsCIELab> unpacked(lab ? std::min(count, kChunk) : 0);
    for (std::size_t done = 0; done < count; done += kChunk) {
        const std::size_t n = std::min(kChunk, count - done);
        const void* input = from + done * bytes;
        if (lab) {
            UnpackLab(from + done * bytes, unpacked.data(), n, format_ == SampleFormat::Lab16);
            input = unpacked.data();
        }
        cmsDoTransform(engine_.get(), input, to + done, static_cast<cmsUInt32Number>(n));
        // The engine writes blue, green and red and leaves the fourth byte unless it copies alpha.
        if (format_ != SampleFormat::Bgra8)
            for (std::size_t i = done; i < done + n; ++i)
                to[i] |= 0xFF000000u;
    }
}
