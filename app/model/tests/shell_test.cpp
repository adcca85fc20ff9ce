// The shell's rules as tables: what the properties pane shows for each document kind (sizes in
// binary units up to TiB, QVT headers and regions at the level shown), which typed crop borders
// are taken, the recent-file list, the About box's names, where a printed image goes on the page
// (tall and huge images included) and when the tab-group commands apply.
#include "about_text.h"
#include "app_fixture.h"
#include "commands.h"
#include "print_layout.h"
#include "property_rows.h"
#include "qvt_document.h"
#include "qvt_file.h"
#include "recent_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

std::string Value(const std::vector<PropertyRow>& rows, const std::string& group,
                  const std::string& name) {
    for (const PropertyRow& row : rows)
        if (row.group == group && row.name == name) return row.value;
    return "(none)";
}

bool HasGroup(const std::vector<PropertyRow>& rows, const std::string& group) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](const PropertyRow& row) { return row.group == group; });
}

} // namespace

TEST(PropertyRows, FileSizesInTheLargestUnitReached) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } rows[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1 KiB"},
        {1536, "1.5 KiB"},
        {1048575, "1024 KiB"}, // four significant digits
        {1048576, "1 MiB"},
        {10737418240ull, "10 GiB"},
        {3ull << 40, "3 TiB"},
        {1536ull << 40, "1536 TiB"},
        {~0ull, "1.678e+07 TiB"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatFileSize(row.bytes), row.text) << row.bytes;
}

TEST(PropertyRows, KindsAddTheirGroupsAfterFileAndImage) {
    PropertyFacts plain;
    plain.path = "/images/a.bmp";
    plain.fileSize = 1536;
    plain.region = {0, 0, 640, 480};
    const auto bitmap = PropertyRows(plain);
    EXPECT_EQ(bitmap.front().group, "File");
    EXPECT_EQ(Value(bitmap, "File", "Size"), "1.5 KiB");
    EXPECT_EQ(Value(bitmap, "File", "Is Open"), "No");
    EXPECT_EQ(Value(bitmap, "Image", "Width"), "640");
    EXPECT_FALSE(HasGroup(bitmap, "QVT Header"));
    EXPECT_FALSE(HasGroup(bitmap, "QVT Codec"));
    EXPECT_FALSE(HasGroup(bitmap, "Overview"));

    PropertyFacts container = plain;
    container.region = {1000, 2000, 1512, 2512}; // the region of the container shown
    container.overview = Size{256, 128};
    const auto tiled = PropertyRows(container);
    EXPECT_EQ(Value(tiled, "Image", "Left"), "1000");
    EXPECT_EQ(Value(tiled, "Image", "Height"), "512");
    EXPECT_EQ(Value(tiled, "Overview", "Width"), "256");
    EXPECT_EQ(Value(tiled, "Overview", "Height"), "128");
    EXPECT_FALSE(HasGroup(tiled, "QVT Header"));
}

struct QVTPropertiesTest : AppFixture {
    RasterImage source = GradientImage(400, 320);
    QVTPropertiesTest() {
        QVTWriteOptions options;
        options.levels = 6;
        WriteQVTFile(source, dir / "plain.qvt", options);
        options.regionSupport = true;
        WriteQVTFile(source, dir / "region.qvt", options);
    }
};

TEST_F(QVTPropertiesTest, HeaderLevelLengthsAndTheRegionAtTheLevelShown) {
    CMyDoc* plain = OpenFile("plain.qvt");
    ASSERT_NE(plain, nullptr);
    const auto rows = PropertyRows(plain->Properties());
    EXPECT_EQ(Value(rows, "File", "Size"),
              FormatFileSize(std::filesystem::file_size(dir / "plain.qvt")));
    EXPECT_EQ(Value(rows, "File", "Is Open"), "No"); // read to full size: the file is closed
    EXPECT_EQ(Value(rows, "Image", "Width"), "400");
    EXPECT_EQ(Value(rows, "QVT Header", "Levels"), "6");
    EXPECT_EQ(Value(rows, "QVT Header", "ROI Support"), "No");
    EXPECT_EQ(Value(rows, "QVT Header", "Version"), "7");
    EXPECT_EQ(Value(rows, "QVT Header", "Channel Depth"), "8");
    EXPECT_EQ(Value(rows, "QVT Header", "Max Channel Depth"), "32");
    EXPECT_EQ(Value(rows, "QVT Codec", "Version"), "7");
    // The length items run from the coarsest level's name down to 0, with the file's counts.
    const auto facts = plain->Properties();
    ASSERT_TRUE(facts.qvt);
    std::vector<std::string> names;
    std::uint64_t total = 0;
    for (const PropertyRow& row : rows)
        if (row.subgroup == "Length") {
            names.push_back(row.name);
            total += std::stoull(row.value);
        }
    EXPECT_EQ(names.size(), facts.qvt->levelLengths.size());
    EXPECT_EQ(names.front(), std::to_string(names.size() - 1));
    EXPECT_EQ(names.back(), "0");
    EXPECT_GT(total, 0u);
    EXPECT_LT(total, std::filesystem::file_size(dir / "plain.qvt"));

    // A region read at level 3 shows the region at that level, rounded up; the file stays open
    // for the finer levels.
    OpenOptions& options = app.Options();
    options.regionOfInterest = true;
    options.regionLeft = 20;
    options.regionTop = 9;
    options.regionRight = 300;
    options.regionBottom = 100;
    options.level = 3;
    CMyDoc* region = OpenFile("region.qvt");
    ASSERT_NE(region, nullptr);
    const auto regionRows = PropertyRows(region->Properties());
    EXPECT_EQ(Value(regionRows, "QVT Header", "ROI Support"), "Yes");
    EXPECT_EQ(Value(regionRows, "File", "Is Open"), "Yes");
    EXPECT_EQ(Value(regionRows, "Image", "Left"), "3");   // ceil(20 / 8)
    EXPECT_EQ(Value(regionRows, "Image", "Top"), "2");    // ceil(9 / 8)
    EXPECT_EQ(Value(regionRows, "Image", "Width"), "35"); // ceil(300 / 8) - 3
    EXPECT_EQ(Value(regionRows, "Image", "Height"), "11");
}

TEST(CropEdits, OnlyWholeNumbersInsideTheImageAndShortOfTheOppositeBorder) {
    const ImageRect crop{10, 20, 100, 80};
    const Size image{200, 150};
    const struct {
        CropEdge edge;
        const char* text;
        std::optional<ImageRect> result;
    } rows[] = {
        {CropEdge::Left, "0", ImageRect{0, 20, 100, 80}},
        {CropEdge::Left, " 99 ", ImageRect{99, 20, 100, 80}},
        {CropEdge::Left, "100", std::nullopt}, // would meet the right border
        {CropEdge::Left, "-1", std::nullopt},
        {CropEdge::Left, "12.5", std::nullopt},
        {CropEdge::Left, "12px", std::nullopt},
        {CropEdge::Left, "", std::nullopt},
        {CropEdge::Left, "99999999999999999999", std::nullopt},
        {CropEdge::Top, "79", ImageRect{10, 79, 100, 80}},
        {CropEdge::Top, "80", std::nullopt},
        {CropEdge::Right, "200", ImageRect{10, 20, 200, 80}},
        {CropEdge::Right, "201", std::nullopt},
        {CropEdge::Right, "10", std::nullopt}, // smaller than left
        {CropEdge::Bottom, "150", ImageRect{10, 20, 100, 150}},
        {CropEdge::Bottom, "151", std::nullopt},
        {CropEdge::Bottom, "20", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(EditCrop(crop, image, row.edge, row.text), row.result)
            << static_cast<int>(row.edge) << " '" << row.text << "'";
    EXPECT_EQ(Value(CropRows(crop), std::string(kCropGroup), "Width"), "90");
    EXPECT_EQ(CropEdgeOf("Width"), std::nullopt); // derived values are not typed in
}

TEST(RecentFiles, FourMostRecentFirstEachFileOnce) {
    TempDir dir;
    for (const char* name : {"a", "b", "c", "d", "e"})
        std::ofstream(dir / name) << name;
    RecentFiles files;
    for (const char* name : {"a", "b", "c", "d", "e"})
        files.Add(dir / name);
    ASSERT_EQ(files.Entries().size(), 4u);
    EXPECT_EQ(files.Entries().front(), std::filesystem::canonical(dir / "e").string());
    EXPECT_EQ(files.Entries().back(), std::filesystem::canonical(dir / "b").string());

    // The same file by another name moves to the top instead of coming twice.
    std::filesystem::create_symlink(dir / "c", dir / "link");
    files.Add(dir / "./link");
    files.Add(dir / "sub/../c");
    ASSERT_EQ(files.Entries().size(), 4u);
    EXPECT_EQ(files.Entries().front(), std::filesystem::canonical(dir / "c").string());
    EXPECT_EQ(std::count(files.Entries().begin(), files.Entries().end(), files.Entries()[0]), 1);

    // A stored list keeps its order and loses duplicates, blanks and the excess.
    files.Remove(dir / "e");
    EXPECT_EQ(files.Entries().size(), 3u);
    const RecentFiles stored(
        {dir / "a", "", dir / "a", dir / "b", dir / "c", dir / "d", dir / "e"});
    ASSERT_EQ(stored.Entries().size(), 4u);
    EXPECT_EQ(stored.Entries().front(), std::filesystem::canonical(dir / "a").string());
    EXPECT_EQ(stored.Entries().back(), std::filesystem::canonical(dir / "d").string());
}

TEST(AboutText, ArchitecturesAndVersion) {
    const std::pair<const char*, const char*> rows[] = {
        {"i386", "x86"},  {"x86_64", "x64"},   {"arm", "ARM"},
        {"arm64", "ARM"}, {"ia64", "Itanium"}, {"riscv64", ""},
    };
    for (const auto& [build, shown] : rows)
        EXPECT_EQ(ArchitectureName(build), shown) << build;
    const auto lines = AboutLines("0.1", "x86_64");
    EXPECT_EQ(lines[1], "Version 0.1 (x64)");
    EXPECT_EQ(AboutLines("0.1", "riscv64")[1], "Version 0.1");
}

TEST(PrintLayout, ImagesFitThePrintableAreaWithTheirAspectRatio) {
    const struct {
        Size image;
        Size page;
        double dpiX, dpiY;
        Size printed;
    } rows[] = {
        {{400, 300}, {2400, 3300}, 300, 300, {2400, 1800}}, // wide: the page width
        {{100, 1000}, {2400, 3300}, 300, 300, {330, 3300}}, // tall: the page height
        {{300, 300}, {2400, 3300}, 300, 600, {1650, 3300}}, // dots twice as high as wide
        {{50000, 50000}, {9921, 14031}, 1200, 1200, {9921, 9921}},
        {{3, 3}, {1000, 1000}, 300, 300, {1000, 1000}},       // exact, not a dot short
        {{4000000000, 1}, {2400, 3300}, 300, 300, {2400, 1}}, // never 0 dots high
    };
    for (const auto& row : rows) {
        const Size printed = PrintedSize(row.image, row.page, row.dpiX, row.dpiY);
        EXPECT_EQ(printed, row.printed) << row.image.width << "x" << row.image.height;
        EXPECT_LE(printed.width, row.page.width);
        EXPECT_LE(printed.height, row.page.height);
    }
}

TEST(TabGroupCommands, SplittingAndMovingNeedWindowsAndGroups) {
    const auto enabled = [](TabGroupFacts groups, Command command) {
        CommandFacts facts;
        facts.tabGroups = groups;
        return StateOf(EvaluateCommands(facts), command).enabled;
    };
    const TabGroupFacts lone{1, 0, 1, false};
    const TabGroupFacts two{1, 0, 2, false};
    const TabGroupFacts sideBySide{2, 0, 2, true};
    const TabGroupFacts lastOfThree{3, 2, 1, true};
    EXPECT_FALSE(enabled(lone, Command::NewVerticalTabGroup)); // its group would be left empty
    EXPECT_TRUE(enabled(two, Command::NewVerticalTabGroup));
    EXPECT_TRUE(enabled(two, Command::NewHorizontalTabGroup));
    EXPECT_TRUE(enabled(sideBySide, Command::NewVerticalTabGroup));
    EXPECT_FALSE(enabled(sideBySide, Command::NewHorizontalTabGroup)); // groups split one way
    EXPECT_FALSE(enabled(two, Command::MoveToNextTabGroup));
    EXPECT_TRUE(enabled(sideBySide, Command::MoveToNextTabGroup));
    EXPECT_FALSE(enabled(sideBySide, Command::MoveToPreviousTabGroup));
    EXPECT_FALSE(enabled(lastOfThree, Command::MoveToNextTabGroup));
    EXPECT_TRUE(enabled(lastOfThree, Command::MoveToPreviousTabGroup));
}
