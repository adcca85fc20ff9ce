// The Image menu without a window: which commands each mode enables, what every mode change does
// to the display image and to the maximum channel value, that the banded, threaded pixel work
// gives exactly the core's whole-image result, the Change Size arithmetic, the colour-table
// grid, the PSNR pair's lifetime rules, and the pixel-map block from other programs.
#include "banded_pixels.h"
#include "clipboard_image.h"
#include "color_table_layout.h"
#include "image_edits.h"
#include "image_size_fields.h"
#include "mode_commands.h"
#include "mode_conversion.h"
#include "pixmap_block.h"
#include "psnr_pairing.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

std::set<Command> EnabledModeCommands(std::uint32_t mode) {
    CommandFacts facts;
    facts.document =
        DocumentFacts{false, true, mode, DisplayModeOf(mode), 0, -1, true, false, {}, false, false};
    const CommandStates states = EvaluateCommands(facts);
    std::set<Command> enabled;
    for (const ModeCommand& row : kModeCommands)
        if (StateOf(states, row.command).enabled) enabled.insert(row.command);
    return enabled;
}

// A document's image of `mode` with random pixels.
RasterImage RandomImage(std::uint32_t mode, std::uint32_t width, std::uint32_t height,
                        std::uint32_t maximum = 0) {
    return MakeRasterImage(RandomMap(mode, width, height, mode * 7 + width), maximum);
}

// A display image's pixel as blue, green, red, alpha (24 or 32 bits).
std::vector<std::uint8_t> DisplayBytes(const CDisplayImage& image, std::uint32_t x) {
    const int bytes = image.BitsPerPixel() / 8;
    const std::uint8_t* pixel = image.TopRow() + static_cast<std::size_t>(x) * bytes;
    return {pixel, pixel + bytes};
}

struct Job2 {
    JobContext context{nullptr, 2};
};

} // namespace

TEST(ImageMenuRules, ModeCommandsFollowTheImageMode) {
    using enum Command;
    EXPECT_EQ(EnabledModeCommands(ModeRGB),
              (std::set<Command>{ModeGrayscale8, ModeIndexed8, ModeRGB12, ModeRGB16, ModeRGB48,
                                 ModeARGB32, ModeCMYK32, ModeLab24}));
    EXPECT_EQ(EnabledModeCommands(ModeCMYK), (std::set<Command>{ModeRGB24, ModeCMYK64}));
    EXPECT_EQ(EnabledModeCommands(ModeGray),
              (std::set<Command>{ModeBitmap1, ModeGrayscale16, ModeGrayscale32, ModeRGB24}));
    EXPECT_EQ(EnabledModeCommands(::ModeRGB48),
              (std::set<Command>{ModeGrayscale16, ModeRGB24, ModeCMYK64, ModeLab48}));
    EXPECT_EQ(EnabledModeCommands(::ModeRGB12),
              (std::set<Command>{ModeIndexed8, ModeRGB16, ModeRGB24}));
    EXPECT_EQ(EnabledModeCommands(ModeNotGiven), std::set<Command>{});
    // Every command a mode enables is a conversion the pixel maps make, and Indexed 4 none.
    for (const std::uint32_t mode : kPixMapModes)
        for (const Command command : EnabledModeCommands(mode)) {
            EXPECT_NE(command, ModeIndexed4);
            EXPECT_TRUE(CanConvert(static_cast<ImageMode>(mode), FindModeCommand(command)->target))
                << mode << " to " << static_cast<int>(FindModeCommand(command)->target);
        }
}

TEST(ImageMenuRules, ImageCommandsNeedTheirDocumentViewAndApplicationFacts) {
    CommandFacts facts;
    facts.document =
        DocumentFacts{false, true, ModeARGB, ModeARGB, 4, -1, false, false, {}, false, false};
    facts.view = ViewFacts{1, true, false, false, false, {}};
    auto states = EvaluateCommands(facts);
    EXPECT_TRUE(StateOf(states, Command::IncreaseTransparency).enabled);
    EXPECT_TRUE(StateOf(states, Command::ChangeSize).enabled);
    EXPECT_FALSE(StateOf(states, Command::ColorTable).enabled);
    EXPECT_FALSE(StateOf(states, Command::Crop).enabled); // the document's own rule says no
    EXPECT_FALSE(StateOf(states, Command::Import).enabled);
    EXPECT_TRUE(StateOf(states, Command::ComputePSNR).enabled);

    facts.document =
        DocumentFacts{false, true, ModeIndexed, ModeIndexed, 1, -1, true, true, {}, false, false};
    facts.clipboardOffersImage = true;
    facts.comparisonArmed = true;
    states = EvaluateCommands(facts);
    EXPECT_FALSE(StateOf(states, Command::DecreaseTransparency).enabled);
    EXPECT_TRUE(StateOf(states, Command::ColorTable).enabled);
    EXPECT_TRUE(StateOf(states, Command::ColorTable).checked);
    EXPECT_TRUE(StateOf(states, Command::Crop).enabled);
    EXPECT_TRUE(StateOf(states, Command::Import).enabled);
    EXPECT_FALSE(StateOf(states, Command::ComputePSNR).enabled);
    facts.view.reset();
    EXPECT_FALSE(StateOf(EvaluateCommands(facts), Command::Copy).enabled);
}

TEST(ImageEdits, EveryKindOfModeChangeRefreshesOrKeepsTheDisplayImage) {
    Job2 job;
    // RGB -> CMYK shows the round trip: white comes back as 248.
    RasterImage white = RandomImage(ModeRGB, 3, 2);
    std::memset(white.display->TopRow(), 255, 9);
    RasterImage cmyk = ChangedMode(white, ModeCMYK, job.context);
    ASSERT_TRUE(cmyk.pixMap);
    EXPECT_EQ(PixelValues(*cmyk.pixMap, 0, 0), (std::vector<std::int64_t>{0, 0, 0, 0}));
    EXPECT_EQ(DisplayBytes(*cmyk.display, 0), (std::vector<std::uint8_t>{248, 248, 248}));

    // CMYK -> CMYK 64 keeps what the display showed (marked here so a rebuild would show).
    cmyk.display->TopRow()[0] = 7;
    RasterImage deep = ChangedMode(cmyk, ModeCMYK64, job.context);
    EXPECT_EQ(deep.display->TopRow()[0], 7);
    EXPECT_EQ(deep.maxChannelValue, 65535u);
    // CMYK 64 -> RGB 24 converts the deep map into a display image of its own.
    RasterImage rgb = ChangedMode(deep, ModeRGB, job.context);
    EXPECT_FALSE(rgb.pixMap);
    EXPECT_EQ(DisplayBytes(*rgb.display, 0), (std::vector<std::uint8_t>{248, 248, 248}));
    EXPECT_EQ(rgb.maxChannelValue, 0u);

    // Gray 16 -> Grayscale 8 only drops the map; Gray -> Gray 16 makes full-range samples.
    RasterImage gray16 = RandomImage(ModeGray16, 5, 3);
    gray16.display->TopRow()[1] = 9;
    const RasterImage gray = ChangedMode(gray16, ModeGray, job.context);
    EXPECT_EQ(gray.display->TopRow()[1], 9);
    EXPECT_EQ(ChangedMode(white, ModeGray, job.context).maxChannelValue, 0u);
    RasterImage gray8 = RandomImage(ModeGray, 5, 3);
    EXPECT_EQ(ChangedMode(gray8, ModeGray16, job.context).maxChannelValue, 65535u);
}

TEST(ImageEdits, DeepSamplesBelowASmallerMaximumAreStretchedFirst) {
    Job2 job;
    // RGB 48 at maximum 1000, all samples at the maximum: white, not near-black, through CMYK 64.
    auto map = CreatePixMap({0, 0, 2, 2}, ModeRGB48);
    for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t i = 0; i < 6; ++i) {
            const std::uint16_t sample = 1000;
            std::memcpy(map->Row(y) + 2 * i, &sample, 2);
        }
    RasterImage rgb48 = MakeRasterImage(std::move(map), 1000);
    RasterImage cmyk64 = ChangedMode(rgb48, ModeCMYK64, job.context);
    EXPECT_EQ(cmyk64.maxChannelValue, 65535u);
    RasterImage rgb = ChangedMode(cmyk64, ModeRGB, job.context);
    EXPECT_EQ(DisplayBytes(*rgb.display, 1), (std::vector<std::uint8_t>{248, 248, 248}));
    // Resampling and the clipboard block see full-range samples too.
    RasterImage resized = Resized(rgb48, 3, 3, job.context);
    EXPECT_EQ(resized.maxChannelValue, 65535u);
    EXPECT_EQ(PixelValues(*resized.pixMap, 2, 2), (std::vector<std::int64_t>(3, 65535)));
    EXPECT_EQ(PixelValues(*CreatePixMapFromBlock(PixMapBlockOf(rgb48)), 0, 0),
              (std::vector<std::int64_t>(3, 65535)));
}

TEST(ImageEdits, BandsOnSeveralThreadsGiveTheWholeImageResult) {
    Job2 job;
    // Taller than a few bands, so that every thread takes some.
    constexpr std::uint32_t kWidth = 37, kHeight = 101;
    for (const std::uint32_t mode : kPixMapModes) {
        RasterImage image = RandomImage(mode, kWidth, kHeight);
        const FullRangePixels source(image);
        for (const ModeCommand& row : kModeCommands) {
            if (!row.enabledFrom.Contains(mode)) continue;
            const RasterImage changed = ChangedMode(image, row.target, job.context);
            const auto expected = CreatePixMap(source->Rect(), row.target);
            source->ConvertTo(*expected);
            ASSERT_EQ(changed.Mode(), row.target);
            RasterImage copy;
            copy.display = CopyDisplayImage(*changed.display);
            EXPECT_TRUE(
                SamePixels(changed.pixMap ? *changed.pixMap : *ImagePixels(copy), *expected))
                << mode << " to " << int{row.target};
        }
        RasterImage resized = Resized(image, 53, 131, job.context);
        const auto expected = CreatePixMap({0, 0, 53, 131}, static_cast<ImageMode>(mode));
        source->StretchRect(source->Rect(), *expected, expected->Rect());
        EXPECT_TRUE(SamePixels(*ImagePixels(resized), *expected)) << "resize " << mode;
    }
}

TEST(ImageEdits, TransparencyStepsStayInRangeAndLeaveTheColours) {
    EXPECT_EQ(SteppedAlpha(10, -kTransparencyStep), 0);
    EXPECT_EQ(SteppedAlpha(250, kTransparencyStep), 255);
    EXPECT_EQ(SteppedAlpha(100, -kTransparencyStep), 84);
    Job2 job;
    RasterImage argb = RandomImage(ModeARGB, 40, 70);
    const RasterImage lighter = WithAlphaStep(argb, kTransparencyStep, job.context);
    for (const std::uint32_t x : {0u, 39u}) {
        std::vector<std::uint8_t> expected = DisplayBytes(*argb.display, x);
        expected[3] = SteppedAlpha(expected[3], kTransparencyStep);
        EXPECT_EQ(DisplayBytes(*lighter.display, x), expected);
    }
    // Commands asked for what the image cannot give refuse instead of reading past its rows.
    RasterImage rgb = RandomImage(ModeRGB, 3, 2);
    EXPECT_THROW(WithAlphaStep(rgb, kTransparencyStep, job.context), ImageFileError);
    EXPECT_THROW(ChangedMode(rgb, ModeCMYK64, job.context), ImageFileError);
}

TEST(ImageEdits, AStopEndsEveryThreadAndKeepsTheSourceImage) {
    int calls = 0;
    JobContext stopping([&calls](double, bool) { return ++calls == 3; }, 2);
    RasterImage image = RandomImage(ModeRGB, 64, 400);
    try {
        ChangedMode(image, ModeLab, stopping);
        FAIL() << "the stop was not taken";
    } catch (const ImageFileError&) {
        FAIL() << "a stop is no failure";
    } catch (const IOException& stop) {
        EXPECT_EQ(stop.error, ErrorUserBreak);
    }
    EXPECT_EQ(image.Mode(), ModeRGB);
}

TEST(ImageSizeFields, EditsFollowEachOtherWithinRange) {
    ImageSizeFields fields(640, 480);
    fields.EditWidth(100);
    EXPECT_EQ(fields.Height(), 75);
    EXPECT_FLOAT_EQ(fields.WidthPercent(), 15.625f);
    EXPECT_FLOAT_EQ(fields.HeightPercent(), 15.625f);
    fields.EditWidthPercent(33.3);
    EXPECT_EQ(fields.Width(), 213);
    EXPECT_EQ(fields.Height(), 160);
    EXPECT_FLOAT_EQ(fields.HeightPercent(), 33.3f);
    fields.EditWidthPercent(0);
    EXPECT_EQ(fields.Width(), 1);
    EXPECT_EQ(fields.Height(), 1);
    fields.EditHeight(0);
    EXPECT_EQ(fields.Height(), 1);
    EXPECT_TRUE(fields.Acceptable(ModeRGB, std::nullopt));

    // A huge percentage saturates instead of overflowing; memory decides whether OK may take it.
    fields.EditHeightPercent(1e300);
    EXPECT_EQ(fields.Height(), kMaxImageSide);
    EXPECT_EQ(fields.Width(), kMaxImageSide);
    EXPECT_FALSE(fields.Acceptable(ModeRGB, std::uint64_t{16} << 30));
    // A side typed beyond the range stays as typed, the others as they were, and OK is off.
    fields.EditWidth(640);
    fields.EditWidth(kMaxImageSide + 1);
    EXPECT_EQ(fields.Height(), 480);
    EXPECT_FALSE(fields.Acceptable(ModeRGB, std::nullopt));
    fields.EditUnreadable();
    EXPECT_FALSE(fields.Acceptable(ModeRGB, std::nullopt));

    fields.AllowDifferentAspect(true);
    fields.EditWidth(320);
    EXPECT_EQ(fields.Height(), 480);
    EXPECT_FLOAT_EQ(fields.HeightPercent(), 100);
    fields.AllowDifferentAspect(false);
    EXPECT_EQ(fields.Height(), 240);
    EXPECT_FLOAT_EQ(fields.HeightPercent(), 50);
}

TEST(ColorTableLayout, OneCellAtLeastPerRowAndTooltipsOfTheSortKeys) {
    const ColorGrid wide = LayoutColorGrid(256, 330);
    EXPECT_EQ(wide.columns, 16);
    EXPECT_EQ(wide.rows, 16);
    EXPECT_EQ(wide.Height(), 320);
    const ColorGrid narrow = LayoutColorGrid(256, 3);
    EXPECT_EQ(narrow.columns, 1);
    EXPECT_EQ(narrow.rows, 256);
    const CellRect cell = ColorCellRect(17, wide);
    EXPECT_EQ(cell.left, 20 + kColorCellInset);
    EXPECT_EQ(cell.top, 20 + kColorCellInset);
    EXPECT_EQ(ColorCellAt(cell.left, cell.top + kColorCellSide - 1, wide, 256), 17);
    EXPECT_EQ(ColorCellAt(cell.left + kColorCellSide, cell.top, wide, 256), -1); // the gap
    EXPECT_EQ(ColorCellAt(16 * 20 + 5, 5, wide, 256), -1);
    EXPECT_EQ(ColorCellAt(5, 5, wide, 0), -1);
    EXPECT_EQ(ColorCellTooltip(255, 0, 0), "RGB:255,0,0; HSL:0,255,127");
    EXPECT_EQ(ColorCellTooltip(0, 0, 255), "RGB:0,0,255; HSL:240,255,127");
    EXPECT_EQ(ColorCellTooltip(128, 128, 128), "RGB:128,128,128; HSL:0,0,128");
}

namespace {

class PlainDocument : public CMyDoc {
public:
    explicit PlainDocument(RasterImage image) { Adopt(std::move(image), "a.ppm", 0); }
    DocumentKind Kind() const override { return DocumentKind::Anymap; }
    RasterImage ReadFile(const std::string&, JobContext&) override { return {}; }
    bool HoldsSaveTarget(SaveTarget) const override { return false; }
};

} // namespace

TEST(PSNRPairing, ThePairLivesOnlyAsLongAsItsDocuments) {
    PlainDocument a(RandomImage(ModeRGB, 4, 4));
    PlainDocument b(RandomImage(ModeRGB, 4, 4));
    PlainDocument small(RandomImage(ModeRGB, 2, 4));
    const int viewA = 0, viewB = 0, viewSmall = 0;
    PSNRPairing pairing;

    pairing.Arm(a, &viewA);
    EXPECT_FALSE(pairing.Activated(&a, &viewA)); // the same view again: still armed
    EXPECT_TRUE(pairing.Armed());
    EXPECT_TRUE(pairing.Activated(&a, &viewB)); // another view of the same image
    EXPECT_FALSE(pairing.Armed());
    auto outcome = pairing.CompareNow();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->text, "There is no difference. Lossless quality!");
    EXPECT_FALSE(pairing.CompareNow());

    pairing.Arm(a, &viewA);
    ASSERT_TRUE(pairing.Activated(&small, &viewSmall));
    outcome = pairing.CompareNow();
    EXPECT_EQ(outcome->text, "The two images are incompatible. The PSNR cannot be computed.");
    EXPECT_EQ(outcome->icon, MessageIcon::Exclamation);

    // Closing either image disarms the comparison or drops the pair waiting to be compared.
    pairing.Arm(a, &viewA);
    pairing.Forget(a);
    EXPECT_FALSE(pairing.Armed());
    EXPECT_FALSE(pairing.Activated(&b, &viewB));
    pairing.Arm(a, &viewA);
    ASSERT_TRUE(pairing.Activated(&b, &viewB));
    pairing.Forget(b);
    EXPECT_FALSE(pairing.CompareNow());
    // A view without an image document cancels.
    pairing.Arm(a, &viewA);
    EXPECT_FALSE(pairing.Activated(nullptr, &viewB));
    EXPECT_FALSE(pairing.Armed());
}

TEST(ClipboardImage, BlocksFromOtherProgramsAreReadWithTheCheckedReader) {
    const auto errorOf = [](const std::vector<std::uint8_t>& block) -> std::string {
        try {
            ImageFromPixMapBlock(block);
        } catch (const ImageFileError& error) {
            return error.what();
        }
        return {};
    };
    RasterImage cmyk = RandomImage(ModeCMYK, 2, 2);
    std::vector<std::uint8_t> block = PixMapBlockOf(cmyk);
    // A megabyte past a 2 × 2 rectangle is ignored; a rectangle its bytes cannot fill is refused
    // before it is allocated.
    block.resize(block.size() + (1 << 20), 0xEE);
    EXPECT_TRUE(SamePixels(*ImageFromPixMapBlock(block).pixMap, *cmyk.pixMap));
    std::vector<std::uint8_t> huge = block;
    huge[13 + 8] = huge[13 + 9] = huge[13 + 12] = huge[13 + 13] = 0xFF;
    EXPECT_EQ(errorOf(huge), kDamagedImageData);
    std::vector<std::uint8_t> empty = block;
    empty[13 + 8] = 0; // right = left
    EXPECT_EQ(errorOf(empty), kDamagedImageData);
    EXPECT_EQ(errorOf({block.begin(), block.begin() + 40}), kDamagedImageData);

    // Indexed blocks carry no table: the image data beside them is read instead.
    block[0] = ModeIndexed;
    EXPECT_FALSE(IsUsablePixMapBlock(block));
    block[0] = 7;
    EXPECT_FALSE(IsUsablePixMapBlock(block));
    block[0] = ModeCMYK;
    EXPECT_TRUE(IsUsablePixMapBlock(block));

    // 30-bit gray samples above their range are limited to it.
    auto gray32 = CreatePixMap({0, 0, 1, 1}, ModeGray32);
    std::memset(gray32->Row(0), 0xFF, 4);
    const RasterImage limited = ImageFromPixMapBlock(WritePixMapBlock(*gray32));
    EXPECT_EQ(PixelValues(*limited.pixMap, 0, 0), (std::vector<std::int64_t>{0x3FFFFFFF}));
    EXPECT_EQ(limited.maxChannelValue, 0x3FFFFFFFu);
}

TEST(ClipboardImage, PastedImagesDropOnlyAnAlphaThatIsOpaqueEverywhere) {
    RasterImage opaque = RandomImage(ModeARGB, 3, 2);
    for (std::uint32_t x = 0; x < 3; ++x)
        opaque.display->TopRow()[4 * x + 3] =
            opaque.display->TopRow()[opaque.display->Pitch() + 4 * x + 3] = 255;
    const std::vector<std::uint8_t> colour = DisplayBytes(*opaque.display, 2);
    const RasterImage rgb = WithoutOpaqueAlpha(std::move(opaque));
    EXPECT_EQ(rgb.Mode(), ModeRGB);
    EXPECT_EQ(DisplayBytes(*rgb.display, 2),
              std::vector<std::uint8_t>(colour.begin(), colour.begin() + 3));
    RasterImage seeThrough = RandomImage(ModeARGB, 3, 2);
    seeThrough.display->TopRow()[3] = 10;
    EXPECT_EQ(WithoutOpaqueAlpha(std::move(seeThrough)).Mode(), ModeARGB);
}
