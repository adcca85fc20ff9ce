// An ICC colour profile as an image or a screen carries it: the bytes exactly as stored, checked
// once by the colour engine, with the facts the program shows and decides by.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// The colour model a profile describes: the one an image's samples must be in for it to apply.
enum class ProfileSpace { Gray, RGB, CMYK, Lab, Other };

// A profile the colour engine cannot use, with the reason.
class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a profile is checked for: describing an image's numbers, or a screen's (which must also
// take colours in, as an RGB device).
enum class ProfileUse { Image, Screen };

class IccProfile {
public:
    // Profiles beyond this size are refused unread; the largest real ones are a few megabytes.
    static constexpr std::size_t kMaxBytes = std::size_t{16} << 20;

    // Checks the bytes by opening them and linking them to sRGB the way `use` needs. Throws
    // ProfileError with the reason when the engine cannot.
    static std::shared_ptr<const IccProfile> FromBytes(std::span<const std::uint8_t> bytes,
                                                       ProfileUse use = ProfileUse::Image);
    // The sRGB profile the engine builds: images without a profile and screens without one are
    // taken to be in it.
    static const std::shared_ptr<const IccProfile>& SRgb();

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    // The profile's own description (its English text when it has several), possibly empty.
    const std::string& Description() const { return description_; }
    ProfileSpace Space() const { return space_; }
    // A hash of the bytes, so that equal profiles read from different files share transforms.
    std::uint64_t Digest() const { return digest_; }
    bool SameAs(const IccProfile& other) const {
        return digest_ == other.digest_ && bytes_ == other.bytes_;
    }

private:
    IccProfile() = default;

    std::vector<std::uint8_t> bytes_;
    std::string description_;
    ProfileSpace space_ = ProfileSpace::Other;
    std::uint64_t digest_ = 0;
};
