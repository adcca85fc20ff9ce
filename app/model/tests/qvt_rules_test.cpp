// The rules of QVT documents and their dialogs as tables: which level a file is read to and
// which region, the size the views lay out and the hint every level sends, when the level
// commands apply, what the open dialog's options panel enables for each kind of file and how it
// shows the region, and what the save dialog's check box means for each file type.
#include "child_title.h"
#include "commands.h"
#include "image_mode.h"
#include "open_dialog_state.h"
#include "qvt_reading_rules.h"
#include "save_dialog_rules.h"
#include "view_math.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

OpenOptions Options(bool thumbnail, int level, bool progressive = true) {
    OpenOptions options;
    options.thumbnail = thumbnail;
    options.level = level;
    options.progressive = progressive;
    return options;
}

} // namespace

TEST(QVTReadPlan, TargetLevelFromOptionsAndLevels) {
    const QVTFileFacts sixLevels{6, 4000, 3000, false};
    const struct {
        OpenOptions options;
        QVTFileFacts file;
        int target;
        bool progressive;
    } rows[] = {
        {Options(false, 0), sixLevels, 0, true},
        {Options(true, 0), sixLevels, 5, true},
        {Options(false, 2), sixLevels, 2, true},
        {Options(false, 9), sixLevels, 5, true},
        {Options(false, -3), sixLevels, 0, true},
        {Options(false, 2, false), sixLevels, 2, false},
        {Options(false, 3), {1, 20, 20, false}, 0, true},
        // Stored without levels: read whole at once, never progressively.
        {Options(true, 3), {0, 9, 9, false}, 0, false},
    };
    for (const auto& row : rows) {
        const QVTReadPlan plan = PlanQVTRead(row.options, row.file);
        EXPECT_EQ(plan.target, row.target) << row.options.level << " of " << row.file.levels;
        EXPECT_EQ(plan.progressive, row.progressive) << row.options.level;
        EXPECT_FALSE(plan.regionReading);
    }
}

TEST(QVTReadPlan, TheRegionIsClampedToTheImageAndReadOnlyWhereTheFileAllows) {
    const struct {
        RegionRect option;
        RegionRect clamped;
    } rows[] = {
        {{10, 20, 110, 220}, {10, 20, 110, 220}},
        {{500, 20, 700, 220}, {0, 20, 400, 220}},  // left beyond the width
        {{50, 20, 40, 220}, {0, 20, 40, 220}},     // left beyond the right edge
        {{10, 300, 110, 400}, {10, 0, 110, 300}},  // top beyond the height
        {{10, 20, 900, 9000}, {10, 20, 400, 300}}, // right and bottom beyond the image
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ClampOpenRegion(row.option, 400, 300), row.clamped) << row.option.left;

    OpenOptions options;
    options.regionOfInterest = true;
    options.regionRight = 0; // to the right edge
    options.regionBottom = 120;
    EXPECT_EQ(PlanQVTRead(options, {6, 400, 300, true}).region, (RegionRect{0, 0, 400, 120}));
    EXPECT_FALSE(PlanQVTRead(options, {6, 400, 300, false}).regionReading);
    EXPECT_FALSE(PlanQVTRead(options, {0, 9, 9, true}).regionReading);
}

TEST(QVTLayout, ReducedTargetsLayOutTheLevelShownOthersTheFullSize) {
    const QVTFileFacts file{6, 4000, 3000, true};
    QVTReadPlan toFull;
    QVTReadPlan toLevel2;
    toLevel2.target = 2;
    QVTReadPlan region = toLevel2;
    region.regionReading = true;
    region.region = {1000, 1000, 2001, 1500};
    const struct {
        const QVTReadPlan& plan;
        int shown;
        bool modified;
        Size size;
    } rows[] = {
        // The coarsest level fills the full size while reading goes on to it.
        {toFull, 5, false, {4000, 3000}},
        {toFull, 0, false, {4000, 3000}},
        {toLevel2, 5, false, {125, 94}},
        {toLevel2, 2, false, {1000, 750}},
        {region, 2, false, {251, 125}},
        // Edited: the image's own size.
        {toLevel2, 5, true, {60, 40}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(QVTLayoutSize(file, row.plan, row.shown, row.modified, {60, 40}), row.size)
            << row.plan.target << " " << row.shown;
    QVTReadPlan fullRegion = region;
    fullRegion.target = 0;
    EXPECT_EQ(QVTLayoutSize(file, fullRegion, 4, false, {}), (Size{1001, 500}));
}

TEST(QVTLayout, EveryLevelOnTheWayRepaintsAtOnceAndTheTargetEnds) {
    // Levels on the way repaint at once; the target ends the read.
    EXPECT_EQ(LevelHint(3, 2, true), 4);
    EXPECT_EQ(LevelHint(2, 2, true), 3); // a reduced target is a new size
    EXPECT_EQ(LevelHint(2, 2, false), 1);
}

TEST(LevelCommands, EnabledWhileTheUneditedFileIsOpenAboveTheItem) {
    const auto states = [](LevelFacts levels, bool busy = false) {
        CommandFacts facts;
        facts.document = DocumentFacts{};
        facts.document->hasImage = true;
        facts.document->busy = busy;
        facts.document->levels = levels;
        return EvaluateCommands(facts);
    };
    const struct {
        LevelFacts levels;
        Command command;
        bool enabled;
        bool checked;
    } rows[] = {
        {{true, true, false, 3}, Command::Level2, true, false},
        {{true, true, false, 3}, Command::Level0, true, false},
        {{true, true, false, 3}, Command::Level3, false, true},
        {{true, true, false, 3}, Command::Level4, false, false},
        {{true, true, false, 3}, Command::NextLevel, true, false},
        {{true, true, true, 3}, Command::Level2, false, false},    // edited
        {{true, true, true, 3}, Command::NextLevel, false, false}, // edited
        {{true, false, false, 3}, Command::Level2, false, false},  // the file was closed
        {{true, false, false, 0}, Command::Level0, false, true},
        {{true, true, false, 0}, Command::NextLevel, false, false},
        {{true, true, false, 9}, Command::Level6, true, false},
        {{false, false, false, 0}, Command::Level0, false, false}, // not a QVT document
    };
    for (const auto& row : rows) {
        const CommandState state = StateOf(states(row.levels), row.command);
        EXPECT_EQ(state.enabled, row.enabled)
            << static_cast<int>(row.command) << " target " << row.levels.target;
        EXPECT_EQ(state.checked, row.checked) << static_cast<int>(row.command);
    }
    EXPECT_FALSE(StateOf(states({true, true, false, 3}, true), Command::NextLevel).enabled);
    // Only the full image can be cropped.
    EXPECT_FALSE(StateOf(states({true, true, false, 3}), Command::Crop).enabled);
}

TEST(OpenDialog, ControlsFollowTheFileUnderTheCursor) {
    OpenDialogState state{OpenOptions{}};
    OpenDialogControls all{true, false, true, true, true, true};
    EXPECT_EQ(state.Controls(), all); // before a file is chosen: not "Overview"

    state.SelectFile(SelectedFile::QVT);
    OpenDialogControls qvt = all;
    qvt.regionEdits = false; // until the head says the file has regions
    EXPECT_EQ(state.Controls(), qvt);
    state.HeadRead(6, true);
    EXPECT_EQ(state.Controls(), all);
    EXPECT_EQ(state.LevelMaximum(), 5);
    state.HeadRead(0, false);
    EXPECT_EQ(state.Controls(), qvt);
    EXPECT_EQ(state.LevelMaximum(), 0);

    state.SelectFile(SelectedFile::Container);
    EXPECT_EQ(state.Controls(), (OpenDialogControls{false, true, false, false, false, false}));
    EXPECT_EQ(state.LevelMaximum(), OpenDialogState::kLevelMaximum);
    state.SelectFile(SelectedFile::Other);
    EXPECT_EQ(state.Controls(), OpenDialogControls{});
    // Passing over another file keeps the user's choices for the files to come.
    EXPECT_TRUE(state.Options().progressive);
}

TEST(OpenDialog, ThumbnailTakesProgressiveLoadingWithItAndGivesItBack) {
    OpenDialogState state{OpenOptions{}};
    state.SelectFile(SelectedFile::QVT);
    state.SetThumbnail(true);
    EXPECT_FALSE(state.Options().progressive);
    EXPECT_FALSE(state.Controls().progressive);
    EXPECT_FALSE(state.Controls().level);
    state.SetThumbnail(false);
    EXPECT_TRUE(state.Options().progressive);
    EXPECT_TRUE(state.Controls().level);

    // Options that start with a thumbnail show progressive loading off, and give it back.
    OpenOptions thumbnail;
    thumbnail.thumbnail = true;
    OpenDialogState fromThumbnail{thumbnail};
    EXPECT_FALSE(fromThumbnail.Options().progressive);
    fromThumbnail.SetThumbnail(false);
    EXPECT_TRUE(fromThumbnail.Options().progressive);
}

TEST(OpenDialog, TheRegionShowsAsLeftTopWidthAndHeight) {
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    const struct {
        std::uint32_t left, top, right, bottom;
        DialogRect shown;
    } rows[] = {
        {10, 20, 110, 220, {10, 20, 100, 200}},
        {0, 0, 0, 0, {0, 0, 0, 0}},
        {50, 60, 40, 30, {50, 60, 0, 0}}, // edges before their starts
    };
    for (const auto& row : rows) {
        OpenOptions options;
        options.regionLeft = row.left;
        options.regionTop = row.top;
        options.regionRight = row.right;
        options.regionBottom = row.bottom;
        EXPECT_EQ(DialogRectOf(options), row.shown) << row.left;
    }
    OpenOptions options;
    SetDialogRect(options, {10, 20, 100, 200});
    EXPECT_EQ(options.regionRight, 110u);
    EXPECT_EQ(options.regionBottom, 220u);
    SetDialogRect(options, {kMax - 5, 7, 100, kMax});
    EXPECT_EQ(options.regionRight, kMax);
    EXPECT_EQ(options.regionBottom, kMax);
}

TEST(SaveDialog, TheCheckBoxIsComputeLevelsForCodecFilesAndBinaryForAnymaps) {
    SaveOptions computed;
    SaveOptions counted;
    counted.checkBox = false;
    const struct {
        FileFilter type;
        const SaveOptions& options;
        SaveDialogControls controls;
    } rows[] = {
        {{"QVT (*.QVT)", {"*.QVT"}}, computed, {"Compute Levels", true, true, false, true}},
        {{"QVT (*.QVT)", {"*.QVT"}}, counted, {"Compute Levels", true, true, true, true}},
        {{"KLDExt (*.KLE)", {"*.kle"}}, counted, {"Compute Levels", true, true, true, true}},
        {{"PPM (*.PPM)", {"*.PPM"}}, counted, {"Binary", true, false, false, false}},
        {{"PGM (*.pgm)", {"*.pgm"}}, computed, {"Binary", true, false, false, false}},
        {{"PNG (*.png)", {"*.png"}}, counted, {"Compute Levels", false, false, false, false}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SaveControlsFor(row.type, row.options), row.controls) << row.type.description;
}

TEST(QVTViewMath, AFittedViewFitsTheNewLevelAndAnyOtherZoomStays) {
    const Size client{1000, 700};
    // A 4000 x 3000 thumbnail (125 x 94) fits at 400 %; read to full size it fits at 12.5 %.
    EXPECT_EQ(ZoomForNewLayout(4, {125, 94}, {4000, 3000}, client), 0.125);
    EXPECT_EQ(ZoomForNewLayout(2, {125, 94}, {4000, 3000}, client), 2.0);
    EXPECT_EQ(ZoomForNewLayout(4, {125, 94}, {0, 0}, client), 4.0);

    ChildTitleFacts facts{"photo.qvt", 1, 1, false, ModeRGB, 4, ' '};
    facts.level = 5;
    EXPECT_EQ(ChildTitle(facts), "photo.qvt @ 400% (RGB) @ Level 5");
}
