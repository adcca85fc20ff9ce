// The conversion of an image's samples from the image's profile into the screen's, as the view
// draws them. 8-bit RGB between profiles of colorant matrices and tone curves (nearly every
// photograph and screen; painted on every repaint) goes through tables of the curves and one
// matrix, several times faster than the engine's own 8-bit path and within a level of it; gray
// goes through a table of all 256 values; everything else through the engine itself.
#pragma once

#include "icc_profile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// How the samples come, one pixel after the other.
enum class SampleFormat {
    Bgr8,   // blue, green, red bytes (24-bit display images)
    Bgra8,  // 32-bit words 0xAARRGGBB (ARGB display images, colour tables); alpha is kept
    Gray8,  // one byte per pixel
    Cmyk8,  // cyan, magenta, yellow, black bytes, 255 = full ink
    Cmyk16, // the same in 16-bit words
    Lab8, // the program's L*a*b* bytes: L × 255 / 100, (a + 120) × 255 / 240, (b + 120) × 255 / 240
    Lab16, // the same in 16-bit words, on a scale of 65535
};

enum class RenderingIntent { Perceptual, RelativeColorimetric };

// The profile space samples of the format are in.
ProfileSpace SpaceOfFormat(SampleFormat format);

class ScreenTransform {
public:
    // Links the image's profile to the screen's. Throws ProfileError when the engine cannot, or
    // when the profile is not of the format's space.
    ScreenTransform(const IccProfile& image, SampleFormat format, const IccProfile& screen,
                    RenderingIntent intent);
    ~ScreenTransform();
    ScreenTransform(const ScreenTransform&) = delete;
    ScreenTransform& operator=(const ScreenTransform&) = delete;

    SampleFormat Format() const { return format_; }

    // Converts `count` pixels into words 0xAARRGGBB (alpha 255 unless the format has it); words
    // (Bgra8) may be converted in place. Safe to call from several threads at once.
    void Convert(const std::uint8_t* from, std::uint32_t* to, std::size_t count) const;

private:
public:
    struct MatrixPath;

private:
    void ConvertByMatrices(const std::uint8_t* from, std::uint32_t* to, std::size_t count,
                           std::size_t step) const;
    void ConvertThroughEngine(const std::uint8_t* from, std::uint32_t* to, std::size_t count) const;

    SampleFormat format_;
    std::unique_ptr<const MatrixPath> matrices_;
    // Gray: the screen's colour of each value.
    std::vector<std::uint32_t> grays_;
    // Everything else: the engine's transform.
    std::unique_ptr<void, void (*)(void*)> engine_{nullptr, nullptr};
};
