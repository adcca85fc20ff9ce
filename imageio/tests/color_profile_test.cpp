// Embedded ICC profiles travel with the image: Qt's readers hand them over and its writers embed
// them again with the pixels unchanged, QVT files keep them in a block of user data that leaves
// files without a profile as they were and tolerates other writers' data, and a damaged profile
// is left out with a flag while the image still opens.
#include "qt_image_file.h"
#include "qvt_file.h"
#include "qvt_user_data.h"
#include "test_files.h"
#include "test_profiles.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::vector<std::uint8_t>& P3Bytes() {
    static const std::vector<std::uint8_t> bytes = DisplayP3Profile();
    return bytes;
}

RasterImage TaggedRgb(std::uint32_t width = 24, std::uint32_t height = 10) {
    RasterImage image;
    image.display = CreateEmptyDisplayImage(width, height, ModeRGB);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.display->TopRow() + image.display->Pitch() * y + 3 * x;
            pixel[0] = static_cast<std::uint8_t>(x * 11);
            pixel[1] = static_cast<std::uint8_t>(y * 25);
            pixel[2] = static_cast<std::uint8_t>(255 - x * 7);
        }
    image.profile = IccProfile::FromBytes(P3Bytes());
    return image;
}

bool SameDisplayPixels(RasterImage& a, RasterImage& b) {
    return SamePixels(*ImagePixels(a), *ImagePixels(b));
}

// The file with the first copy of the profile's bytes changed by `damage`.
void DamageProfileIn(const std::string& path, void (*damage)(std::string& profile)) {
    std::string file = ReadBytes(path);
    const std::string profile(P3Bytes().begin(), P3Bytes().end());
    const auto at = file.find(profile);
    ASSERT_NE(at, std::string::npos);
    std::string damaged = profile;
    damage(damaged);
    file.replace(at, profile.size(), damaged);
    WriteBytes(path, file);
}

// The tag table is said to hold millions of entries.
void BreakTagCount(std::string& profile) {
    for (int i = 0; i < 3; ++i)
        profile[128 + i] = static_cast<char>(0x7F);
}

std::uint32_t HeaderSizeOf(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    std::uint32_t size = 0;
    std::memcpy(&size, bytes.data() + 4, 4);
    return size;
}

} // namespace

TEST(ColorProfile, QtFormatsEmbedTheProfileAndKeepThePixels) {
    TempDir dir;
    RasterImage image = TaggedRgb();
    for (const std::string extension : {"png", "tif", "webp", "jpg"}) {
        const std::string path = dir / ("tagged." + extension);
        WriteQtImageFile(image, path);
        RasterImage back = ReadQtImageFile(path);
        ASSERT_TRUE(back.profile) << extension;
        EXPECT_EQ(back.profile->Bytes(), P3Bytes()) << extension;
        EXPECT_FALSE(back.profileDropped);
        if (extension == "jpg" || extension == "webp") continue; // lossy
        EXPECT_TRUE(SameDisplayPixels(image, back)) << extension;
        // A copy saved from what was read has the same pixels and profile again.
        WriteQtImageFile(back, dir / ("copy." + extension));
        RasterImage copy = ReadQtImageFile(dir / ("copy." + extension));
        EXPECT_TRUE(SameDisplayPixels(image, copy));
        EXPECT_EQ(copy.profile->Bytes(), P3Bytes());
    }
    // A profile of another colour model is not embedded in an RGB file.
    image.profile = IccProfile::FromBytes(GrayProfile(2.2));
    WriteQtImageFile(image, dir / "gray_profile.png");
    EXPECT_FALSE(ReadQtImageFile(dir / "gray_profile.png").profile);
}

TEST(ColorProfile, ADamagedProfileIsLeftOutAndTheImageStillOpens) {
    TempDir dir;
    RasterImage image = TaggedRgb();
    WriteQtImageFile(image, dir / "damaged.tif");
    DamageProfileIn(dir / "damaged.tif", BreakTagCount);
    RasterImage back = ReadQtImageFile(dir / "damaged.tif");
    EXPECT_FALSE(back.profile);
    EXPECT_TRUE(back.profileDropped);
    EXPECT_TRUE(SameDisplayPixels(image, back));

    WriteQVTFile(image, dir / "damaged.qvt");
    DamageProfileIn(dir / "damaged.qvt", BreakTagCount);
    back = ReadQVTFile(dir / "damaged.qvt");
    EXPECT_FALSE(back.profile);
    EXPECT_TRUE(back.profileDropped);
    EXPECT_TRUE(SameDisplayPixels(image, back));
}

TEST(ColorProfile, QVTFilesKeepTheProfileBesideTheMaximum) {
    TempDir dir;
    RasterImage image = TaggedRgb();
    WriteQVTFile(image, dir / "tagged.qvt");
    EXPECT_EQ(HeaderSizeOf(dir / "tagged.qvt"), 16 + 8 + P3Bytes().size());
    RasterImage back = ReadQVTFile(dir / "tagged.qvt");
    ASSERT_TRUE(back.profile);
    EXPECT_EQ(back.profile->Bytes(), P3Bytes());
    EXPECT_TRUE(SameDisplayPixels(image, back));

    // Without a profile the head is what it always was: no user data, or the maximum alone.
    image.profile.reset();
    WriteQVTFile(image, dir / "plain.qvt");
    EXPECT_EQ(HeaderSizeOf(dir / "plain.qvt"), 16u);
    RasterImage deep = MakeRasterImage(RandomDeepMap<std::uint16_t>(ModeRGB48, 9, 7, 1000), 1000);
    WriteQVTFile(deep, dir / "deep.qvt");
    EXPECT_EQ(HeaderSizeOf(dir / "deep.qvt"), 16u + kStoredMaximumLength);

    deep.profile = IccProfile::FromBytes(P3Bytes());
    WriteQVTFile(deep, dir / "deep_tagged.qvt");
    back = ReadQVTFile(dir / "deep_tagged.qvt");
    EXPECT_EQ(back.maxChannelValue, 1000u);
    ASSERT_TRUE(back.profile);
    EXPECT_EQ(back.profile->Bytes(), P3Bytes());
    EXPECT_TRUE(SamePixels(*deep.pixMap, *back.pixMap));
}

TEST(QVTUserData, OtherWritersDataAndCutBlocksAreTolerated) {
    const auto profile = IccProfile::FromBytes(P3Bytes());
    const std::vector<std::uint8_t> ours = QVTUserData(1000u, profile.get());
    bool dropped = false;
    EXPECT_EQ(ReadStoredMaximum(ours, static_cast<std::uint32_t>(ours.size())), 1000u);
    EXPECT_TRUE(ReadStoredProfile(ours, static_cast<std::uint32_t>(ours.size()), dropped)
                    ->SameAs(*profile));
    EXPECT_FALSE(dropped);

    // Bytes of another writer, even with our tag further in, say nothing to this reader.
    std::vector<std::uint8_t> foreign = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    foreign.insert(foreign.end(), ours.begin() + 4, ours.end());
    EXPECT_FALSE(ReadStoredMaximum(foreign, static_cast<std::uint32_t>(foreign.size())));
    EXPECT_FALSE(ReadStoredProfile(foreign, static_cast<std::uint32_t>(foreign.size()), dropped));
    EXPECT_FALSE(dropped);

    // A block whose profile is cut short, in the file or in what the reader kept of it.
    const std::vector<std::uint8_t> cut(ours.begin(), ours.end() - 1);
    EXPECT_FALSE(ReadStoredProfile(cut, static_cast<std::uint32_t>(cut.size()), dropped));
    EXPECT_TRUE(dropped);
    dropped = false;
    EXPECT_FALSE(ReadStoredProfile(cut, static_cast<std::uint32_t>(ours.size()), dropped));
    EXPECT_TRUE(dropped);
    EXPECT_EQ(ReadStoredMaximum(cut, static_cast<std::uint32_t>(cut.size())), 1000u);
}
