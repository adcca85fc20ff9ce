// What this program keeps in a QVT file's user data, which other readers skip unread:
//
//   [maximum]  4 bytes, little-endian: a deep image's largest sample value, present only when
//              the used bits cannot say it (it is not 2^b − 1)
//   [profile]  the image's ICC profile, present only when the image has one:
//                offset 0  4 bytes  tag "ICCP"
//                offset 4  4 bytes  profile length n, little-endian
//                offset 8  n bytes  the profile exactly as the image carries it
//
// Images with neither have no user data, so their files are the same as without profiles.
// Readers tolerate user data of other writers: bytes that do not have this form are ignored. (A
// maximum never reads as the tag: it is below 2^30, so its last byte is below 'P'.)
#pragma once

#include "icc_profile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

inline constexpr std::uint32_t kStoredMaximumLength = 4;
inline constexpr std::uint8_t kProfileTag[4] = {'I', 'C', 'C', 'P'};
inline constexpr std::uint32_t kProfileBlockHead = 8;
// How much user data a reader keeps: the maximum and the largest profile it accepts.
inline constexpr std::uint32_t kKeptUserDataLength =
    kStoredMaximumLength + kProfileBlockHead + static_cast<std::uint32_t>(IccProfile::kMaxBytes);

// The user data for an image whose maximum must be stored (nothing when `maximum` is empty)
// and which carries `profile` (nothing when null).
std::vector<std::uint8_t> QVTUserData(std::optional<std::uint32_t> maximum,
                                      const IccProfile* profile);

// What `kept`, the first bytes of user data `length` bytes long, holds of ours: the stored
// maximum, and the profile (null when there is none; `dropped` is set when a profile block is
// there but its profile cannot be used, being damaged or cut short).
std::optional<std::uint32_t> ReadStoredMaximum(std::span<const std::uint8_t> kept,
                                               std::uint32_t length);
std::shared_ptr<const IccProfile> ReadStoredProfile(std::span<const std::uint8_t> kept,
                                                    std::uint32_t length, bool& dropped);
