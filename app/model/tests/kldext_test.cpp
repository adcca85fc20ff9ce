// Container documents without a window: the New dialog's rules and the header they make, the
// overview's mapping between screen and image through per-axis preview scales, the export
// region's moves and command rules; and on small containers in a temporary folder, that a pasted
// image reads back from the tiles, that a region drawn for copying is never written, that a file
// open in one place cannot be opened or overwritten from another (also through another name),
// that a failed replacement keeps the original, that reduced reads show the region where it
// lies, and that an older file is reorganised only when the user agrees.
#include "anymap_file.h"
#include "app_fixture.h"
#include "commands.h"
#include "file_preview.h"
#include "image_file.h"
#include "kldext_document.h"
#include "pixel_probe.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The pixels of a display image as bytes, row by row.
std::vector<std::uint8_t> Pixels(const RasterImage& image) {
    std::vector<std::uint8_t> bytes;
    const CDisplayImage& display = *image.display;
    const std::size_t row = std::size_t{display.Width()} * display.BitsPerPixel() / 8;
    for (std::uint32_t y = 0; y < display.Height(); ++y) {
        const std::uint8_t* start = display.TopRow() + std::ptrdiff_t{display.Pitch()} * y;
        bytes.insert(bytes.end(), start, start + row);
    }
    return bytes;
}

KLDExtFields SmallFields() {
    KLDExtFields fields;
    fields.width = 300;
    fields.height = 200;
    fields.previewWidth = 150;
    fields.previewHeight = 100;
    fields.tileWidth = 64;
    fields.tileHeight = 64;
    return fields;
}

std::size_t FilesIn(const std::string& folder) {
    const std::filesystem::directory_iterator files(folder);
    return static_cast<std::size_t>(std::distance(begin(files), end(files)));
}

class FailingRename : public CKLDExtImage {
    int RenameFile(const std::string&, const std::string&) override {
        errno = EXDEV;
        return -1;
    }
};

} // namespace

TEST(KLDExtDialog, DefaultsMakeTheDocumentedHeaderAndThePreviewFollowsTheWidth) {
    const KLDExtFields defaults;
    EXPECT_FALSE(CheckKLDExtFields(defaults));
    const KLDExtHeader header = HeaderFromFields(defaults);
    EXPECT_EQ(header.mode, ModeRGB);
    EXPECT_EQ(header.bitsPerPixel, 24);
    EXPECT_EQ(header.channels, 3);
    EXPECT_EQ(header.bitsPerChannel, 8);
    EXPECT_EQ(TileGrid(header).columns, 5u);
    EXPECT_EQ(TileGrid(header).rows, 5u);
    EXPECT_EQ(header.indexCompression, IndexZlib);
    EXPECT_EQ(header.ordering, OrderingRowWise);
    EXPECT_EQ(header.background, (std::array<std::uint8_t, 3>{0xFF, 0xFF, 0xFF}));
    const struct {
        std::uint32_t width, preview;
    } rows[] = {{1, 1}, {800, 800}, {1000, 1000}, {1300, 800}, {2500, 833}, {50000, 806}};
    for (const auto& row : rows)
        EXPECT_EQ(PreviewWidthFor(row.width), row.preview) << row.width;
    EXPECT_EQ(PreviewHeightFor(1300, 1000, 800), 615u);
    EXPECT_EQ(PreviewHeightFor(0, 1000, 800), 0u);
}

TEST(KLDExtDialog, RefusesFieldsThatMakeNoOpenableContainer) {
    const auto with = [](auto change) {
        KLDExtFields fields;
        change(fields);
        return CheckKLDExtFields(fields).has_value();
    };
    EXPECT_TRUE(with([](KLDExtFields& f) { f.width = 0; }));
    EXPECT_TRUE(with([](KLDExtFields& f) { f.previewWidth = 0; }));
    EXPECT_TRUE(with([](KLDExtFields& f) { f.previewHeight = 1001; }));
    EXPECT_TRUE(with([](KLDExtFields& f) { f.tileHeight = 0; }));
    EXPECT_TRUE(with([](KLDExtFields& f) { f.tileWidth = 1001; }));
    EXPECT_TRUE(with([](KLDExtFields& f) { f.qualityLoss = 32; }));
    EXPECT_TRUE(with([](KLDExtFields& f) {
        f.width = f.height = 100000;
        f.tileWidth = f.tileHeight = 65535; // larger than any tile may be
    }));
    EXPECT_FALSE(with([](KLDExtFields& f) { f.previewWidth = f.previewHeight = 1; }));
}

TEST(KLDExtOverview, RegionsMapPerAxisBetweenScreenAndImage) {
    // 8000 wide with an 800-pixel preview: 10 image pixels per preview pixel.
    const PreviewScales tenfold = PreviewScalesOf(8000, 6000, 800, 600);
    EXPECT_EQ(RegionInImage({100, 20, 50, 30}, tenfold, 1, 100, 20), (ExportRect{0, 0, 500, 300}));
    EXPECT_EQ(RegionOnScreen({500, 300, 500, 300}, tenfold, 2, 7, 9),
              (ExportRect{107, 69, 100, 60}));
    // A preview rounded up on one axis only: each axis keeps its own scale.
    const PreviewScales uneven = PreviewScalesOf(1000, 999, 100, 100);
    EXPECT_EQ(RegionInImage({0, 0, 100, 100}, uneven, 1, 0, 0), (ExportRect{0, 0, 1000, 999}));
    EXPECT_EQ(RegionOnScreen({0, 0, 1000, 999}, uneven, 1, 0, 0), (ExportRect{0, 0, 100, 100}));
    EXPECT_EQ(RegionOnScreen({5, 5, 10, 10}, PreviewScales{}, 1, 3, 4), (ExportRect{3, 4, 0, 0}));
}

TEST(KLDExtOverview, KeysAndDragsMoveTheRegionInImagePixels) {
    const ExportRect r{1000, 2000, 300, 40};
    const struct {
        RegionKey key;
        RegionStep step;
        ExportRect moved;
    } rows[] = {{RegionKey::Home, RegionStep::Pixel, {0, 0, 300, 40}},
                {RegionKey::Left, RegionStep::Pixel, {999, 2000, 300, 40}},
                {RegionKey::Right, RegionStep::Extent, {1300, 2000, 300, 40}},
                {RegionKey::Down, RegionStep::Hundred, {1000, 2100, 300, 40}},
                {RegionKey::Up, RegionStep::Extent, {1000, 1960, 300, 40}}};
    for (const auto& row : rows)
        EXPECT_EQ(MoveRegion(r, row.key, row.step), row.moved);
    const PreviewScales scales{10, 10};
    // A fixed-size region moves but snaps back from a resize; a rubber band resizes.
    EXPECT_EQ(DragRegion(r, CropHandle::Move, 5, -2, scales, 0.5, true),
              (ExportRect{1100, 1960, 300, 40}));
    EXPECT_EQ(DragRegion(r, CropHandle::Right, 5, 0, scales, 1, true), r);
    EXPECT_EQ(DragRegion(r, CropHandle::TopLeft, 1, 1, scales, 1, false),
              (ExportRect{1010, 2010, 290, 30}));
    EXPECT_EQ(RegionStatusText(r), "X: 1000, Y: 2000, W: 300, H: 40");
}

TEST(KLDExtOverview, OnlyARegionThatStandsForAnImageIsCommitted) {
    const ExportRegionState none, band{true, true, false}, hidden{true, false, false},
        fixed{true, true, true};
    EXPECT_FALSE(CanCommitRegion(band));
    EXPECT_TRUE(CanCommitRegion(fixed));
    EXPECT_TRUE(CanCopyRegion(band));
    EXPECT_FALSE(CanCopyRegion(fixed));
    EXPECT_TRUE(CanShowRegion(hidden));
    EXPECT_FALSE(CanShowRegion(none));
    EXPECT_FALSE(CanPasteRegion(band, true));
    EXPECT_TRUE(CanPasteRegion(hidden, true));
    EXPECT_FALSE(CanPasteRegion(none, false));

    CommandFacts facts;
    facts.document = DocumentFacts{};
    facts.document->hasImage = true;
    facts.document->mode = facts.document->displayMode = ModeARGB;
    facts.document->container = true;
    facts.view = ViewFacts{};
    facts.view->overview = true;
    facts.view->region = band;
    facts.clipboardOffersImage = true;
    CommandStates states = EvaluateCommands(facts);
    for (const Command off : {Command::ModeRGB24, Command::ChangeSize, Command::Crop,
                              Command::IncreaseTransparency, Command::Paste})
        EXPECT_FALSE(StateOf(states, off).enabled) << static_cast<int>(off);
    for (const Command on : {Command::Copy, Command::GrayMatte, Command::Repair})
        EXPECT_TRUE(StateOf(states, on).enabled) << static_cast<int>(on);
    facts.document->readOnly = true;
    facts.view->region = hidden;
    states = EvaluateCommands(facts);
    EXPECT_FALSE(StateOf(states, Command::Paste).enabled);
    EXPECT_FALSE(StateOf(states, Command::Repair).enabled);
    EXPECT_TRUE(StateOf(states, Command::ShowExportRegion).enabled);
}

TEST(KLDExtOverview, WritesStartInsideTheImageAndCopiesClampToIt) {
    EXPECT_EQ(WrittenPart({-1, 0, 10, 10}, 100, 100), std::nullopt);
    EXPECT_EQ(WrittenPart({95, 90, 10, 20}, 100, 100), (ExportRect{95, 90, 5, 10}));
    EXPECT_EQ(CopiedPart({-5, -5, 10, 10}, 100, 100), (ExportRect{0, 0, 5, 5}));
    EXPECT_EQ(CopiedPart({20, 20, -10, -10}, 100, 100), (ExportRect{10, 10, 10, 10}));
    EXPECT_EQ(CopiedPart({100, 0, 10, 10}, 100, 100), std::nullopt);
    EXPECT_EQ(VisibleRegion({-250, 10}, {100, 100}, 0.5, 1000, 1000),
              (ExportRect{500, 0, 200, 180}));
}

using KLDExtDocuments = AppFixture;

TEST_F(KLDExtDocuments, NewPasteAndReadBackThenSaveACompactedCopy) {
    // A data pixmap wider than the container, read in strips of whole tile rows.
    RasterImage data = GradientImage(310, 150);
    WriteAnymapFile(data, dir / "data.ppm", true);
    KLDExtFields fields = SmallFields();
    fields.dataPath = dir / "data.ppm";
    services.savePath = dir / "made";
    app.NewKLDExt(fields);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(opened.size(), 1u) << LastMessage();
    auto& doc = static_cast<CKLDExtDoc&>(*opened.back());
    EXPECT_EQ(doc.Path(), dir / "made.KLE");
    EXPECT_EQ(doc.Width(), 150u); // the preview
    EXPECT_DOUBLE_EQ(doc.Scales().x, 2);
    std::shared_ptr<RasterImage> top;
    app.RunDocumentJob(doc, doc.CopyJob({0, 0, 400, 150}, [&](RasterImage image) {
        top = std::make_shared<RasterImage>(std::move(image));
    }));
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(top);
    EXPECT_EQ(Pixels(*top), Pixels(CropRasterImage(data, {0, 0, 300, 150})));

    auto pasted = std::make_shared<RasterImage>(GradientImage(90, 70));
    auto job = doc.ImportJob(pasted, 100, 50, services);
    ASSERT_TRUE(job);
    app.RunDocumentJob(doc, std::move(*job));
    ASSERT_TRUE(Idle());
    std::shared_ptr<RasterImage> back;
    app.RunDocumentJob(doc, doc.CopyJob({100, 50, 90, 70}, [&](RasterImage image) {
        back = std::make_shared<RasterImage>(std::move(image));
    }));
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(back);
    EXPECT_EQ(Pixels(*back), Pixels(*pasted));

    // Exported a strip at a time, the region is the same (clipped to the image).
    app.RunDocumentJob(doc, doc.ExportJob({100, 50, 90, 70}, dir / "region.ppm"));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Pixels(ReadImageFile(dir / "region.ppm")), Pixels(*pasted));

    // A region left of the image writes nothing, and says so.
    EXPECT_FALSE(doc.ImportJob(pasted, -1, 0, services));
    EXPECT_NE(services.status.find("Nothing was written"), std::string::npos);

    services.savePath = dir / "copy.png";
    app.Save(doc, SaveKind::SaveAs);
    EXPECT_EQ(LastMessage(), kNoSuitableFormat);
    services.savePath = dir / "copy.kle";
    app.Save(doc, SaveKind::SaveAs);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(services.lastFilters.size(), 1u);
    EXPECT_EQ(doc.Path(), dir / "made.KLE");
    CKLDExtImage copy;
    EXPECT_TRUE(copy.OpenFile(dir / "copy.kle"));
    const RasterImage copied = copy.LoadRegion({100, 50, 90, 70}, 1, nullptr, nullptr);
    EXPECT_EQ(Pixels(copied), Pixels(*pasted));
    // Strips of a few rows meet without a seam; negative edges are clamped.
    copy.ExportRegion({-10, -20, 210, 150}, dir / "strips.ppm", nullptr, nullptr, 1000);
    RasterImage strips = ReadImageFile(dir / "strips.ppm");
    ASSERT_EQ(strips.Width(), 200u);
    EXPECT_EQ(Pixels(CropRasterImage(strips, {100, 50, 190, 120})), Pixels(*pasted));
}

TEST_F(KLDExtDocuments, AContainerInUseIsNeitherOpenedNorReplaced) {
    CKLDExtImage first;
    first.CreateFile(dir / "a.kle", HeaderFromFields(SmallFields()), 150, 100);
    const auto size = std::filesystem::file_size(dir / "a.kle");
    CKLDExtImage second;
    EXPECT_THROW(second.OpenFile(dir / "a.kle"), ImageFileError);
    // Creating over it fails before anything is cut.
    EXPECT_THROW(second.CreateFile(dir / "a.kle", HeaderFromFields(SmallFields()), 10, 10),
                 ImageFileError);
    EXPECT_EQ(std::filesystem::file_size(dir / "a.kle"), size);
    // The open dialog's preview still reads it; a damaged file gives its message.
    EXPECT_GT(LoadKLDExtThumbnail(dir / "a.kle").Width(), 0u);
    WriteBytes(dir / "bad.kle", "KLE");
    EXPECT_THROW(LoadKLDExtThumbnail(dir / "bad.kle"), ImageFileError);

    // Another name of its own file is its own file, and another container is not written over it.
    std::filesystem::create_symlink(dir / "a.kle", dir / "link.kle");
    EXPECT_TRUE(first.IsOwnFile(dir / "link.kle"));
    try {
        first.ReorganizeTo(dir / "link.kle", nullptr, nullptr);
        ADD_FAILURE() << "wrote over its own file";
    } catch (const ImageFileError& error) {
        EXPECT_STREQ(error.what(), kContainerItself);
    }
    CKLDExtImage other;
    other.CreateFile(dir / "b.kle", HeaderFromFields(SmallFields()), 150, 100);
    try {
        other.ReorganizeTo(dir / "link.kle", nullptr, nullptr);
        ADD_FAILURE() << "replaced a file in use";
    } catch (const ImageFileError& error) {
        EXPECT_STREQ(error.what(), kContainerInUse);
    }
    first.CloseFile();
    EXPECT_TRUE(second.OpenFile(dir / "a.kle"));
}

TEST_F(KLDExtDocuments, AFailedReplacementKeepsTheOriginalAndItsNeighbours) {
    FailingRename container;
    container.CreateFile(dir / "a.kle", HeaderFromFields(SmallFields()), 150, 100);
    WriteBytes(dir / "a.kle.tmp", "someone else's");
    const std::string before = ReadBytes(dir / "a.kle");
    EXPECT_THROW(container.ReorganizeInPlace(nullptr, nullptr), ImageFileError);
    EXPECT_EQ(ReadBytes(dir / "a.kle"), before);
    EXPECT_EQ(ReadBytes(dir / "a.kle.tmp"), "someone else's");
    EXPECT_EQ(FilesIn(dir / ""), 2u);
    EXPECT_TRUE(container.IsOpen());
    EXPECT_NO_THROW(container.LoadRegion({0, 0, 10, 10}, 1, nullptr, nullptr));
}

TEST_F(KLDExtDocuments, ReducedReadsShowTheRegionWhereItLies) {
    // A red square on white, read through the preview (2 image pixels each) and through the tiles,
    // of which a read keeps those it may reuse.
    CKLDExtImage container;
    container.CreateFile(dir / "a.kle", HeaderFromFields(SmallFields()), 150, 100);
    container.LoadRegion({50, 0, 250, 200}, 0.6, nullptr, nullptr);
    RasterImage red;
    red.display = CreateEmptyDisplayImage(100, 100, ModeRGB);
    for (std::uint32_t y = 0; y < 100; ++y)
        for (std::uint32_t x = 0; x < 100; ++x)
            std::copy_n("\0\0\xff", 3, red.display->TopRow() + red.display->Pitch() * y + 3 * x);
    ImagePixels pixels(red);
    container.WritePixMap(
        *AttachPixMap({100, 50, 200, 150}, ModeRGB, pixels->GetBits(), pixels->Stride()), nullptr,
        nullptr);
    const auto check = [&](double scale, Rgb background) {
        const RasterImage image = container.LoadRegion({50, 0, 250, 200}, scale, nullptr, nullptr);
        ASSERT_EQ(image.Width(), static_cast<std::uint32_t>(250 * scale)) << scale;
        const auto at = [&](double x, double y) {
            const Rgba pixel = DisplayPixel(*image.display, static_cast<std::uint32_t>(x * scale),
                                            static_cast<std::uint32_t>(y * scale));
            return Rgb{pixel.red, pixel.green, pixel.blue};
        };
        // The square lies at 50 ... 150 on both axes of the region.
        EXPECT_EQ(at(60, 60), (Rgb{255, 0, 0})) << scale;
        EXPECT_EQ(at(140, 140), (Rgb{255, 0, 0})) << scale;
        EXPECT_EQ(at(40, 100), (Rgb{255, 255, 255})) << scale;
        EXPECT_EQ(at(100, 40), (Rgb{255, 255, 255})) << scale;
        // In a tile never written.
        EXPECT_EQ(at(5, 100), background) << scale;
    };
    check(0.2, {255, 255, 255});
    check(0.6, {255, 255, 255});
    // Tiles never written read as the new background.
    container.SetBackground({0, 0, 0});
    check(0.6, {0, 0, 0});

    // A read of many tiles not kept from the last has the preview's picture as its stand-in.
    KLDExtFields fields = SmallFields();
    fields.width = fields.height = 512;
    fields.tileWidth = fields.tileHeight = 16;
    container.CreateFile(dir / "b.kle", HeaderFromFields(fields), 128, 128);
    const auto standIn = container.StandIn({0, 0, 512, 512}, 0.5);
    ASSERT_TRUE(standIn);
    EXPECT_EQ(standIn->Width(), 256u);
    container.LoadRegion({0, 0, 512, 512}, 0.5, nullptr, nullptr);
    EXPECT_FALSE(container.StandIn({0, 0, 512, 512}, 0.5));
    EXPECT_FALSE(container.StandIn({0, 0, 512, 512}, 1));
}

TEST_F(KLDExtDocuments, AnOlderFileIsReorganisedOnlyWhenTheUserAgrees) {
    // An older file: magic "QVE", the header's first 18 bytes (a plain index) and four bytes of
    // user data in place of the rest, so that tiles, index and preview keep their offsets.
    KLDExtFields fields = SmallFields();
    fields.compressedIndex = false;
    CKLDExtImage().CreateFile(dir / "new.kle", HeaderFromFields(fields), 150, 100);
    const std::string current = ReadBytes(dir / "new.kle");
    KLDExtLayout layout =
        LoadKLDExtLayout(reinterpret_cast<const std::uint8_t*>(current.data()) + 30);
    layout.userDataLength = 4;
    const auto layoutBytes = StoreKLDExtLayout(layout);
    const std::string older = std::string("QVE\3\x12\0\0\0", 8) + current.substr(8, 18) +
                              std::string(layoutBytes.begin(), layoutBytes.end()) +
                              std::string(4, '\0') + current.substr(kKLDFixedPartSize);

    services.answer = Answer::No;
    EXPECT_EQ(OpenBytes("old.kle", older), nullptr);
    ASSERT_EQ(services.questions.size(), 1u);
    EXPECT_EQ(services.questions.back(),
              "The file structure is not valid. Do you want to reorganize the file structure?");
    EXPECT_EQ(ReadBytes(dir / "old.kle"), older);

    services.answer = Answer::Yes;
    ASSERT_NE(OpenFile("old.kle"), nullptr) << LastMessage();
    EXPECT_EQ(ReadBytes(dir / "old.kle").substr(0, 3), "KLE");
    // Replaced by rename: nothing is left beside it.
    EXPECT_EQ(FilesIn(dir / ""), 2u);
}
