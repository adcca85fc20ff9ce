#include "qvt_user_data.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t LittleEndian(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

void AppendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

bool HasTagAt(std::span<const std::uint8_t> kept, std::size_t offset) {
    return kept.size() >= offset + kProfileBlockHead &&
           std::memcmp(kept.data() + offset, kProfileTag, sizeof kProfileTag) == 0;
}

// Where the profile block starts: first in the user data, or after a stored maximum.
std::optional<std::size_t> ProfileBlockAt(std::span<const std::uint8_t> kept) {
    if (HasTagAt(kept, 0)) return 0;
    if (HasTagAt(kept, kStoredMaximumLength)) return kStoredMaximumLength;
    return std::nullopt;
}

std::span<const std::uint8_t> Kept(std::span<const std::uint8_t> kept, std::uint32_t length) {
    return kept.first(std::min<std::size_t>(kept.size(), length));
}

} // namespace

std::vector<std::uint8_t> QVTUserData(std::optional<std::uint32_t> maximum,
                                      const IccProfile* profile) {
    std::vector<std::uint8_t> bytes;
    if (maximum) AppendLittleEndian(bytes, *maximum);
    if (profile) {
        bytes.insert(bytes.end(), std::begin(kProfileTag), std::end(kProfileTag));
        AppendLittleEndian(bytes, static_cast<std::uint32_t>(profile->Bytes().size()));
        bytes.insert(bytes.end(), profile->Bytes().begin(), profile->Bytes().end());
    }
    return bytes;
}

std::optional<std::uint32_t> ReadStoredMaximum(std::span<const std::uint8_t> kept,
                                               std::uint32_t length) {
    kept = Kept(kept, length);
    // Files from before profiles hold the maximum alone.
    if (length == kStoredMaximumLength && kept.size() == kStoredMaximumLength)
        return LittleEndian(kept.data());
    if (ProfileBlockAt(kept) == kStoredMaximumLength) return LittleEndian(kept.data());
    return std::nullopt;
}

std::shared_ptr<const IccProfile> ReadStoredProfile(std::span<const std::uint8_t> kept,
                                                    std::uint32_t length, bool& dropped) {
    kept = Kept(kept, length);
    const auto block = ProfileBlockAt(kept);
    if (!block) return nullptr;
    const std::uint32_t profileLength = LittleEndian(kept.data() + *block + 4);
    const std::span<const std::uint8_t> rest = kept.subspan(*block + kProfileBlockHead);
    try {
        if (profileLength > rest.size()) throw ProfileError("The profile block is cut short.");
        return IccProfile::FromBytes(rest.first(profileLength));
    } catch (const ProfileError&) {
        dropped = true;
        return nullptr;
    }
}
