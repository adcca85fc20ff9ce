// Profiles are checked before use, and the screen transforms give the engine's colours: the
// fast RGB lattice stays within a level of the engine's own 8-bit transform, wide-gamut numbers
// are reproduced as the colours they mean, and the cache shares transforms by profile contents.
#include "test_profiles.h"
#include "transform_cache.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <cstdlib>
#include <random>

namespace {

std::shared_ptr<const IccProfile> P3() { return IccProfile::FromBytes(DisplayP3Profile()); }

std::array<int, 3> Rgb(std::uint32_t word) {
    return {static_cast<int>(word >> 16 & 255), static_cast<int>(word >> 8 & 255),
            static_cast<int>(word & 255)};
}

std::uint32_t ConvertOne(const ScreenTransform& transform, std::array<std::uint8_t, 3> bgr) {
    std::uint32_t word = 0;
    transform.Convert(bgr.data(), &word, 1);
    return word;
}

int Distance(std::array<int, 3> a, std::array<int, 3> b) {
    return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

} // namespace

TEST(IccProfile, KeepsTheBytesAndRefusesWhatTheEngineCannotUse) {
    const std::vector<std::uint8_t> bytes = DisplayP3Profile();
    const auto profile = IccProfile::FromBytes(bytes);
    EXPECT_EQ(profile->Bytes(), bytes);
    EXPECT_EQ(profile->Description(), kTestProfileDescription);
    EXPECT_EQ(profile->Space(), ProfileSpace::RGB);
    EXPECT_TRUE(profile->SameAs(*IccProfile::FromBytes(bytes)));
    EXPECT_FALSE(profile->SameAs(*IccProfile::SRgb()));
    EXPECT_EQ(IccProfile::FromBytes(GrayProfile(2.2))->Space(), ProfileSpace::Gray);
    EXPECT_EQ(IccProfile::FromBytes(LabProfile())->Space(), ProfileSpace::Lab);

    std::vector<std::vector<std::uint8_t>> damaged;
    damaged.emplace_back(bytes.begin(), bytes.begin() + 100);                   // short
    damaged.emplace_back(bytes.begin(), bytes.begin() + bytes.size() / 2);      // cut in its tags
    damaged.emplace_back(std::vector<std::uint8_t>(IccProfile::kMaxBytes + 1)); // too large
    std::vector<std::uint8_t> noise(bytes.size());
    std::mt19937 random(7);
    for (std::uint8_t& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    damaged.push_back(noise);
    std::vector<std::uint8_t> scrambledTags = bytes;
    for (std::size_t i = 132; i < scrambledTags.size(); i += 5)
        scrambledTags[i] ^= 0xA5;
    damaged.push_back(scrambledTags);
    for (const auto& input : damaged)
        EXPECT_THROW(IccProfile::FromBytes(input), ProfileError) << input.size() << " bytes";

    // A screen takes RGB in.
    EXPECT_THROW(IccProfile::FromBytes(GrayProfile(2.2), ProfileUse::Screen), ProfileError);
    EXPECT_NO_THROW(IccProfile::FromBytes(bytes, ProfileUse::Screen));
}

TEST(ScreenTransform, RgbLatticeStaysWithinALevelOfTheEngine) {
    const auto p3 = P3();
    for (const auto& [image, screen] :
         {std::pair{p3, IccProfile::SRgb()}, std::pair{IccProfile::SRgb(), p3}}) {
        const ScreenTransform fast(*image, SampleFormat::Bgr8, *screen,
                                   RenderingIntent::Perceptual);
        cmsHPROFILE from = cmsOpenProfileFromMem(
            image->Bytes().data(), static_cast<cmsUInt32Number>(image->Bytes().size()));
        cmsHPROFILE to = cmsOpenProfileFromMem(
            screen->Bytes().data(), static_cast<cmsUInt32Number>(screen->Bytes().size()));
        cmsHTRANSFORM engine =
            cmsCreateTransform(from, TYPE_BGR_8, to, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
        std::mt19937 random(1);
        int worst = 0;
        for (int i = 0; i < 200000; ++i) {
            std::array<std::uint8_t, 3> bgr;
            for (std::uint8_t& sample : bgr)
                // Edge values are where the lattice clamps and the curves bend most.
                sample = static_cast<std::uint8_t>(i < 512 ? (random() & 1 ? 255 : random() % 4)
                                                           : random());
            std::array<std::uint8_t, 3> expected;
            cmsDoTransform(engine, bgr.data(), expected.data(), 1);
            worst = std::max(worst, Distance(Rgb(ConvertOne(fast, bgr)),
                                             {expected[2], expected[1], expected[0]}));
        }
        EXPECT_LE(worst, 1);
        cmsDeleteTransform(engine);
        cmsCloseProfile(from);
        cmsCloseProfile(to);
    }
    // sRGB to sRGB changes nothing, whatever the lattice rounds.
    const ScreenTransform identity(*IccProfile::SRgb(), SampleFormat::Bgr8, *IccProfile::SRgb(),
                                   RenderingIntent::Perceptual);
    for (int value = 0; value < 256; ++value) {
        const auto v = static_cast<std::uint8_t>(value);
        EXPECT_EQ(Rgb(ConvertOne(identity, {v, static_cast<std::uint8_t>(255 - v), v})),
                  (std::array<int, 3>{value, 255 - value, value}));
    }
}

TEST(ScreenTransform, WideGamutNumbersShowTheColoursTheyMean) {
    const auto p3 = P3();
    const auto& sRgb = IccProfile::SRgb();
    // sRGB's red stored in P3 numbers is a duller red; shown on an sRGB screen it is pure red
    // again, and pure sRGB red on a P3 screen becomes those duller numbers.
    const ScreenTransform toSRgb(*p3, SampleFormat::Bgr8, *sRgb, RenderingIntent::Perceptual);
    EXPECT_LE(Distance(Rgb(ConvertOne(toSRgb, {35, 51, 234})), {255, 0, 0}), 1);
    const ScreenTransform toP3(*sRgb, SampleFormat::Bgr8, *p3, RenderingIntent::Perceptual);
    EXPECT_LE(Distance(Rgb(ConvertOne(toP3, {0, 0, 255})), {234, 51, 35}), 1);
    // P3's own red lies outside sRGB: the screen shows the most saturated red it has.
    EXPECT_LE(Distance(Rgb(ConvertOne(toSRgb, {0, 0, 255})), {255, 0, 0}), 1);

    // A curve that reaches infinity would sum infinities of opposite sign: refused, so the view
    // shows the numbers unmanaged instead of indexing its tables with no number.
    EXPECT_THROW(ScreenTransform(*IccProfile::FromBytes(P3ProfileWithRunawayCurve()),
                                 SampleFormat::Bgr8, *sRgb, RenderingIntent::Perceptual),
                 ProfileError);

    // Colour-table words keep their alpha.
    const ScreenTransform words(*p3, SampleFormat::Bgra8, *sRgb, RenderingIntent::Perceptual);
    const std::uint32_t halfRed = 0x80EA3323u; // alpha 128, P3 (234, 51, 35)
    std::uint32_t shown = 0;
    words.Convert(reinterpret_cast<const std::uint8_t*>(&halfRed), &shown, 1);
    EXPECT_EQ(shown >> 24, 0x80u);
    EXPECT_LE(Distance(Rgb(shown), {255, 0, 0}), 1);
}

TEST(ScreenTransform, GrayAndLabGoThroughTheirProfiles) {
    const auto& sRgb = IccProfile::SRgb();
    // Linear-light gray 128 is half the light: sRGB codes that as 188.
    const ScreenTransform linear(*IccProfile::FromBytes(GrayProfile(1.0)), SampleFormat::Gray8,
                                 *sRgb, RenderingIntent::Perceptual);
    const std::uint8_t grays[3] = {0, 128, 255};
    std::uint32_t shown[3];
    linear.Convert(grays, shown, 3);
    EXPECT_EQ(Rgb(shown[0]), (std::array<int, 3>{0, 0, 0}));
    EXPECT_LE(Distance(Rgb(shown[1]), {188, 188, 188}), 1);
    EXPECT_EQ(Rgb(shown[2]), (std::array<int, 3>{255, 255, 255}));

    // L* 50 on a neutral axis is sRGB 119; the program's encoding puts a = b = 0 at 127.5.
    const auto lab = IccProfile::FromBytes(LabProfile());
    const ScreenTransform bytes(*lab, SampleFormat::Lab8, *sRgb, RenderingIntent::Perceptual);
    const std::uint8_t midGray[3] = {128, 128, 128};
    bytes.Convert(midGray, shown, 1);
    EXPECT_LE(Distance(Rgb(shown[0]), {119, 119, 119}), 2);
    EXPECT_EQ(shown[0] >> 24, 255u);
    const ScreenTransform words(*lab, SampleFormat::Lab16, *sRgb, RenderingIntent::Perceptual);
    const std::uint16_t midGrayWords[3] = {32768, 32768, 32768};
    words.Convert(reinterpret_cast<const std::uint8_t*>(midGrayWords), shown, 1);
    EXPECT_LE(Distance(Rgb(shown[0]), {119, 119, 119}), 2);

    EXPECT_THROW(ScreenTransform(*lab, SampleFormat::Bgr8, *sRgb, RenderingIntent::Perceptual),
                 ProfileError);
}

TEST(TransformCache, SharesTransformsByProfileContentsAndStaysBounded) {
    TransformCache cache;
    const auto first = cache.Get(P3(), SampleFormat::Bgr8, nullptr, RenderingIntent::Perceptual);
    // Another copy of the same bytes, as a second file would carry them.
    EXPECT_EQ(cache.Get(P3(), SampleFormat::Bgr8, IccProfile::SRgb(), RenderingIntent::Perceptual),
              first);
    EXPECT_NE(cache.Get(P3(), SampleFormat::Bgr8, nullptr, RenderingIntent::RelativeColorimetric),
              first);
    EXPECT_NE(cache.Get(P3(), SampleFormat::Bgra8, nullptr, RenderingIntent::Perceptual), first);
    EXPECT_NE(cache.Get(nullptr, SampleFormat::Bgr8, P3(), RenderingIntent::Perceptual), first);
    EXPECT_EQ(cache.Size(), 4u);
    for (int i = 0; i < 40; ++i)
        cache.Get(IccProfile::FromBytes(GrayProfile(1.0 + i / 20.0)), SampleFormat::Gray8, nullptr,
                  RenderingIntent::Perceptual);
    EXPECT_EQ(cache.Size(), TransformCache::kCapacity);
    EXPECT_THROW(cache.Get(IccProfile::FromBytes(LabProfile()), SampleFormat::Bgr8, nullptr,
                           RenderingIntent::Perceptual),
                 ProfileError);
}
