// The image view's arithmetic as tables: zoom steps, the zoom box, wheel steps, the fitting zoom,
// drawn size and scroll extent, centring, scrolling after a zoom, panning, screen/image mapping,
// the crop tracker and the window title. A wrong entry here is a view that jumps, cannot reach
// its last column or crops the wrong pixels.
#include "child_title.h"
#include "crop_geometry.h"
#include "image_mode.h"
#include "view_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

TEST(ViewMath, ZoomStepsRoundDownAndWalkTheTable) {
    const struct {
        double zoom, step;
    } rounding[] = {{0.1, 0.125}, {0.125, 0.125}, {0.3, 0.25},  {0.74, 0.5},
                    {0.75, 0.75}, {1.67, 1},      {3, 2},       {1000, 32},
                    {0, 0.125},   {-2, 0.125},    {NAN, 0.125}, {INFINITY, 32}};
    for (const auto& row : rounding)
        EXPECT_EQ(RoundToZoomStep(row.zoom), row.step) << row.zoom;

    std::vector<double> up{0.125};
    while (ZoomIn(up.back()) != up.back())
        up.push_back(ZoomIn(up.back()));
    EXPECT_EQ(up, (std::vector<double>{0.125, 0.25, 0.5, 0.75, 1, 2, 4, 8, 16, 32}));
    std::vector<double> down{1};
    while (ZoomOut(down.back()) != down.back())
        down.push_back(ZoomOut(down.back()));
    EXPECT_EQ(down, (std::vector<double>{1, 0.75, 0.5, 0.25, 0.125}));
    // A zoom of 0 (a view that never had a size) must not double forever.
    EXPECT_EQ(ZoomIn(0), 0.25);
}

TEST(ViewMath, ZoomBoxTakesOnlyFiniteNumbersAboveZero) {
    const struct {
        const char* text;
        std::optional<double> zoom;
    } rows[] = {{"300", 2},      {"5", 0.125}, {"12.5 %", 0.125}, {"100 %", 1},
                {"  75%", 0.75}, {"nan", {}},  {"inf", {}},       {"0", {}},
                {"-50", {}},     {"abc", {}},  {"", {}},          {"1e400", {}}};
    for (const auto& row : rows)
        EXPECT_EQ(ParseZoomText(row.text), row.zoom) << row.text;
    EXPECT_EQ(ZoomText(0.125), "12.5 %");
    EXPECT_EQ(ZoomText(32), "3200 %");
}

TEST(ViewMath, WheelTakesOneStepPerWholeNotchAndCarriesTheRest) {
    const struct {
        std::vector<int> deltas;
        std::vector<int> steps;
    } rows[] = {
        {{-240}, {-2}},
        {{-121}, {-1}},
        {{-120, 120}, {-1, 1}},
        // A touchpad's small deltas add up to one step per 120 units.
        {{15, 15, 15, 15, 15, 15, 15, 15, 15}, {0, 0, 0, 0, 0, 0, 0, 1, 0}},
        // Turning back drops the carried part instead of cancelling against it.
        {{100, -30, -100}, {0, 0, -1}},
    };
    for (const auto& row : rows) {
        WheelSteps wheel;
        std::vector<int> steps;
        for (const int delta : row.deltas)
            steps.push_back(wheel.Add(delta));
        EXPECT_EQ(steps, row.steps);
    }
}

TEST(ViewMath, FitZoomWaitsForARealClient) {
    EXPECT_EQ(FitZoom({400, 300}, {1000, 500}), 1);
    EXPECT_EQ(FitZoom({400, 300}, {100, 100}), 0.25);
    EXPECT_EQ(FitZoom({4, 3}, {1000, 1000}), 32);
    EXPECT_EQ(FitZoom({100000, 100}, {100, 100}), 0.125);
    EXPECT_EQ(FitZoom({400, 300}, {0, 500}), std::nullopt);
    EXPECT_EQ(FitZoom({0, 0}, {100, 100}), std::nullopt);
}

TEST(ViewMath, DrawnSizeAndScrollExtentAgree) {
    const struct {
        std::uint32_t length;
        double zoom;
        std::int64_t drawn;
    } rows[] = {{7, 0.125, 1}, {5, 0.75, 4}, {640, 0.75, 480}, {3, 32, 96}, {600000, 32, 19200000}};
    for (const auto& row : rows)
        EXPECT_EQ(ZoomedLength(row.length, row.zoom), row.drawn);
    // The last column of a 5-pixel image at 75 % lies inside the scroll range.
    const std::int64_t client = 2;
    const std::int64_t maximum = ScrollMaximum(ZoomedLength(5, 0.75), client);
    const Point origin = ImageOrigin({4, 1}, {client, 1}, {maximum, 0});
    EXPECT_EQ(ImagePixelAt({client - 1, 0}, origin, {5, 1}, 0.75), (Point{4, 0}));
}

TEST(ViewMath, OriginCentresSmallImagesAndScrollsLargeOnes) {
    EXPECT_EQ(ImageOrigin({100, 50}, {301, 200}, {0, 0}), (Point{100, 75}));
    EXPECT_EQ(ImageOrigin({1000, 50}, {300, 200}, {250, 7}), (Point{-250, 75}));
}

TEST(ViewMath, ScrollAfterZoomKeepsTheCentre) {
    const struct {
        std::int64_t scroll, client;
        double from, to;
        std::int64_t content, expected;
    } rows[] = {
        {0, 100, 1, 2, 400, 50},    {100, 100, 1, 0.5, 200, 25}, {300, 100, 2, 4, 1000, 650},
        {500, 100, 1, 2, 300, 200}, {10, 100, 1, 0.5, 80, 0},    {10, 100, 0, 2, 400, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ScrollAfterZoom(row.scroll, row.client, row.from, row.to, row.content),
                  row.expected)
            << row.scroll << " " << row.from << "->" << row.to;
}

TEST(ViewMath, PanStaysInsideTheRange) {
    EXPECT_EQ(PanScroll(100, 50, 40, 500), 110);
    EXPECT_EQ(PanScroll(5, 10, 40, 500), 0);
    EXPECT_EQ(PanScroll(495, 40, 10, 500), 500);
}

TEST(ViewMath, ScreenAndImageEdgesMeetAtTheFarEdge) {
    const struct {
        std::uint32_t length;
        double zoom;
    } rows[] = {{7, 0.125}, {5, 0.75}, {640, 0.75}, {1001, 0.125}, {3, 32}, {33, 0.25}};
    for (const auto& row : rows) {
        const std::int64_t drawn = ZoomedLength(row.length, row.zoom);
        EXPECT_EQ(ScreenEdge(row.length, row.length, row.zoom), drawn);
        EXPECT_EQ(ImageEdge(drawn, row.length, row.zoom), row.length);
        EXPECT_EQ(ImageEdge(drawn + 50, row.length, row.zoom), row.length);
        EXPECT_EQ(ImageEdge(-3, row.length, row.zoom), 0);
        for (std::int64_t offset = 0; offset <= drawn; ++offset)
            EXPECT_LE(ImageEdge(offset, row.length, row.zoom), row.length);
    }
    // At 100 % and above every image edge survives the trip to the screen and back.
    for (const double zoom : {1.0, 2.0, 32.0})
        for (std::int64_t edge = 0; edge <= 9; ++edge)
            EXPECT_EQ(ImageEdge(ScreenEdge(edge, 9, zoom), 9, zoom), edge);
    EXPECT_EQ(ImagePixelAt({10, 10}, {10, 10}, {5, 5}, 2), (Point{0, 0}));
    EXPECT_EQ(ImagePixelAt({19, 19}, {10, 10}, {5, 5}, 2), (Point{4, 4}));
    EXPECT_EQ(ImagePixelAt({20, 19}, {10, 10}, {5, 5}, 2), std::nullopt);
    EXPECT_EQ(ImagePixelAt({9, 12}, {10, 10}, {5, 5}, 2), std::nullopt);
}

TEST(CropGeometry, TrackerFollowsTheImageAndStaysInside) {
    const Size image{100, 80};
    // The whole image at 75 %, drawn at (10, 20): its far edges land on the drawn size exactly.
    EXPECT_EQ(CropOnScreen({0, 0, 100, 80}, {10, 20}, image, 0.75), (ImageRect{10, 20, 85, 80}));
    EXPECT_EQ(CropOnScreen({0, 0, 100, 80}, {0, 0}, {7, 7}, 0.125), (ImageRect{0, 0, 1, 1}));

    const ImageRect start{10, 10, 50, 40};
    const struct {
        CropHandle handle;
        std::int64_t dx, dy;
        double zoom;
        ImageRect expected;
    } drags[] = {
        {CropHandle::Right, 20, 0, 2, {10, 10, 60, 40}},
        {CropHandle::Right, 1000, 0, 1, {10, 10, 100, 40}}, // clamped to the image
        {CropHandle::TopLeft, -100, -100, 1, {0, 0, 50, 40}},
        {CropHandle::Bottom, 0, 10, 0.5, {10, 10, 50, 60}},
        {CropHandle::Left, 60, 0, 1, {70, 10, 50, 40}},       // crosses: empty until fixed
        {CropHandle::Move, 1000, -1000, 1, {60, 0, 100, 30}}, // keeps its size, inside
        {CropHandle::Move, 3, 5, 0.125, {34, 50, 74, 80}},
        {CropHandle::None, 3, 5, 1, start},
    };
    for (const auto& row : drags)
        EXPECT_EQ(DragCrop(start, row.handle, row.dx, row.dy, image, row.zoom), row.expected)
            << static_cast<int>(row.handle);

    EXPECT_EQ(CheckCrop({0, 0, 100, 80}, image), CropCheck::WholeImage);
    EXPECT_EQ(CheckCrop({70, 10, 50, 40}, image), CropCheck::Empty);
    EXPECT_EQ(CheckCrop({10, 10, 10, 40}, image), CropCheck::Empty);
    EXPECT_EQ(CheckCrop({1, 0, 100, 80}, image), CropCheck::Apply);
}

TEST(CropGeometry, HandlesSitOutsideTheCornersAndEdgeMiddles) {
    const ImageRect screen{100, 100, 200, 160};
    const struct {
        Point point;
        CropHandle handle;
    } rows[] = {{{95, 95}, CropHandle::TopLeft},       {{201, 95}, CropHandle::TopRight},
                {{201, 161}, CropHandle::BottomRight}, {{99, 165}, CropHandle::BottomLeft},
                {{150, 96}, CropHandle::Top},          {{150, 162}, CropHandle::Bottom},
                {{96, 130}, CropHandle::Left},         {{203, 130}, CropHandle::Right},
                {{150, 130}, CropHandle::Move},        {{300, 300}, CropHandle::None}};
    for (const auto& row : rows)
        EXPECT_EQ(HitCropHandle(screen, row.point, 6), row.handle)
            << row.point.x << "," << row.point.y;
}

TEST(ChildTitle, ShowsWindowNumberModifiedMarkZoomModeAndChannel) {
    ChildTitleFacts facts{"photo.ppm", 2, 2, true, ModeRGB, 2, ' '};
    EXPECT_EQ(ChildTitle(facts), "photo.ppm:2* @ 200% (RGB)");
    facts.channelLetter = 'B';
    EXPECT_EQ(ChildTitle(facts), "photo.ppm:2* @ 200% (RGB, B)");
    EXPECT_EQ(ChildTitle({"a.pgm", 1, 1, false, ModeGray16, 0.125, ' '}), "a.pgm @ 12.5% (Gray16)");
    EXPECT_EQ(ChildTitle({"new", 1, 1, false, 255, 1, ' '}), "new");
}
