// Documents as the user meets them, without a window: every file kind opens through its
// template (hostile bytes give their message and no crash), saving picks its writer by extension
// and mode, a save that fails or is stopped keeps the old file and leaves no temporary file, and
// closing waits for a busy document.
#include "anymap_file.h"
#include "app_fixture.h"
#include "document_templates.h"
#include "image_commands.h"
#include "image_documents.h"
#include "image_size_fields.h"
#include "memory_budget.h"
#include "pixmap_factory.h"
#include "qt_image_file.h"
#include "qvt_file.h"
#include "safe_save.h"
#include "test_profiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr std::uint8_t kWhite[4] = {255, 255, 255, 255};

std::size_t FilesIn(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

// A P6 file of `width` × `height` with a gradient.
std::string Ppm(int width, int height) {
    std::string bytes = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int i = 0; i < width * height * 3; ++i)
        bytes.push_back(static_cast<char>(i * 7));
    return bytes;
}

} // namespace

TEST(Templates, FilesGoToTheirFamilyByTheFileNamesExtension) {
    const auto templates = MakeDocumentTemplates(TestPlatform());
    ASSERT_EQ(templates.size(), 4u);
    const struct {
        const char* path;
        DocumentKind kind;
    } rows[] = {{"a.bmp", DocumentKind::Bitmap},
                {"a.QVT", DocumentKind::QVT},
                {"a.qvt", DocumentKind::QVT},
                {"x/a.PpM", DocumentKind::Anymap},
                {"a.pbm", DocumentKind::Anymap},
                {"a.kle", DocumentKind::KLDExt},
                {"a.jpg", DocumentKind::Bitmap},
                {"photos/v1.2/scan", DocumentKind::Bitmap},
                {"photos/v1.qvt/scan", DocumentKind::Bitmap}};
    for (const auto& row : rows)
        EXPECT_EQ(templates[MatchTemplate(templates, row.path)].kind, row.kind) << row.path;
    EXPECT_EQ(FilterExtensions(".PBM;*.PGM;*.PPM"),
              (std::vector<std::string>{".PBM", ".PGM", ".PPM"}));
    EXPECT_EQ(FileExtension("photos/v1.2/scan"), "");
    EXPECT_EQ(FileExtension("photos/v1.2/scan.tar.PNG"), "PNG");
    EXPECT_EQ(FileExtension(".hidden"), "hidden");
}

TEST(SaveDispatch, ExtensionAndModeChooseTheWriter) {
    const PlatformImages platform = TestPlatform();
    const struct {
        const char* path;
        std::uint32_t mode;
        SaveTarget target;
    } rows[] = {
        {"a.qvt", ModeCMYK, SaveTarget::QVT},       {"a.QVT", ModeRGB, SaveTarget::QVT},
        {"a.ppm", ModeRGB48, SaveTarget::Anymap},   {"a.pbm", ModeGray, SaveTarget::Anymap},
        {"a.PGM", ModeBitmap, SaveTarget::Anymap},  {"a.bmp", ModeIndexed, SaveTarget::QtEncoder},
        {"a.png", ModeARGB, SaveTarget::QtEncoder}, {"a.bmp", ModeCMYK, SaveTarget::None},
        {"a.ppm", ModeARGB, SaveTarget::None},      {"a.ppm", ModeCMYK, SaveTarget::None},
        {"a.xyz", ModeRGB, SaveTarget::None},       {"v1.2/scan", ModeRGB, SaveTarget::None},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChooseSaveTarget(row.path, row.mode, platform), row.target)
            << row.path << " " << row.mode;
}

TEST(MemoryBudget, HugeImagesAreRefusedBeforeTheyAreMade) {
    EXPECT_EQ(ParseMemAvailable("MemTotal: 100 kB\nMemAvailable:   2048 kB\n"), 2048u * 1024);
    EXPECT_EQ(ParseMemAvailable("MemTotal: 100 kB\n"), std::nullopt);
    EXPECT_TRUE(AllocationFits(100u << 20, std::uint64_t{1}));
    EXPECT_FALSE(AllocationFits(std::uint64_t{8} << 30, std::uint64_t{4} << 30));
    EXPECT_TRUE(AllocationFits(std::uint64_t{2} << 30, std::uint64_t{4} << 30));
    EXPECT_TRUE(AllocationFits(std::uint64_t{8} << 30, std::nullopt));
    EXPECT_EQ(DocumentImageBytes(10, 2, ModeRGB), 2u * 32);
    EXPECT_EQ(DocumentImageBytes(10, 2, ModeRGB48), 2u * 32 + 2u * 60);
    EXPECT_EQ(DocumentImageBytes(33, 1, ModeBitmap), 8u);
}

TEST_F(AppFixture, EveryFileKindOpensAndHostileFilesGiveTheirMessage) {
    CMyDoc* ppm = OpenBytes("a.ppm", Ppm(5, 3));
    ASSERT_NE(ppm, nullptr);
    EXPECT_EQ(ppm->Kind(), DocumentKind::Anymap);
    EXPECT_EQ(ppm->Mode(), ModeRGB);
    EXPECT_EQ(ppm->Title(), "a.ppm");
    EXPECT_FALSE(ppm->Modified());

    RasterImage image;
    image.display = CreateEmptyDisplayImage(4, 2, ModeGray);
    WriteQtImageFile(image, dir / "b.bmp");
    CMyDoc* bmp = OpenBytes("c.bmp", ReadBytes(dir / "b.bmp"));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->Kind(), DocumentKind::Bitmap);
    EXPECT_EQ(bmp->Width(), 4u);

    const std::size_t count = opened.size();
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } hostile[] = {
        {"h1.pgm", "P5\n-3 2\n255\n", "Cannot read image header."},
        {"h2.pgm", "P5\n3 2\n0\n", "Cannot read image header."},
        {"h3.ppm", "P9\n3 2\n255\n", "QVT error: wrong data file format"},
        {"h4.ppm", "P6\n100000 100000\n255\n\x01\x02", "Cannot read image header."},
        {"h5.bmp", std::string("BM\x10\0\0\0garbage", 13), "QVT error"},
        {"h6.qvt", "not a codec file at all", "QVT error"},
    };
    for (const auto& row : hostile) {
        EXPECT_EQ(OpenBytes(row.name, row.bytes), nullptr) << row.name;
        EXPECT_NE(LastMessage().find(row.message), std::string::npos) << LastMessage();
    }
    app.OpenPaths({dir / "missing.ppm"});
    ASSERT_TRUE(Idle());
    EXPECT_NE(LastMessage().find("No such file or directory"), std::string::npos);
    EXPECT_EQ(opened.size(), count);

    // A raster that ends early opens, and says so.
    std::string truncated = Ppm(8, 8);
    truncated.resize(truncated.size() - 50);
    ASSERT_NE(OpenBytes("t.ppm", truncated), nullptr);
    EXPECT_EQ(services.messages.back().icon, MessageIcon::Exclamation);
    EXPECT_NE(LastMessage().find("ends before"), std::string::npos);

    EXPECT_EQ(OpenBytes("c.kle", "KLE"), nullptr);
    EXPECT_EQ(LastMessage().rfind(dir / "c.kle", 0), 0u);
}

TEST_F(AppFixture, FilesOpenInTheOrderAskedForWhicheverIsReadFirst) {
    WriteBytes(dir / "big.ppm", Ppm(1200, 900));
    {
        RasterImage big = ReadAnymapFile(dir / "big.ppm");
        WriteQVTFile(big, dir / "big.qvt");
    }
    WriteBytes(dir / "tiny.ppm", Ppm(2, 2));
    app.OpenPaths({dir / "big.qvt", dir / "missing.ppm", dir / "tiny.ppm"});
    ASSERT_TRUE(Idle());
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0]->Path(), dir / "big.qvt");
    EXPECT_EQ(opened[1]->Path(), dir / "tiny.ppm");
    EXPECT_EQ(services.messages.size(), 1u);
}

TEST_F(AppFixture, AStoppedOrFailedSaveKeepsTheOldFileAndNoTemporary) {
    CMyDoc* document = OpenBytes("a.ppm", Ppm(512, 512));
    ASSERT_NE(document, nullptr);
    WriteBytes(dir / "old.ppm", "the user's only copy");
    WriteBytes(dir / "old.qvt", "the user's only copy");
    const std::size_t files = FilesIn(dir / "");

    for (const auto& [name, target] :
         {std::pair{"old.ppm", SaveTarget::Anymap}, std::pair{"old.qvt", SaveTarget::QVT}}) {
        int calls = 0;
        JobContext stopsAtSecondCall([&calls](double, bool) { return ++calls == 2; }, 1);
        try {
            SaveImage(document->Image(), dir / name, target, document->Options(), app.Platform(),
                      stopsAtSecondCall);
            ADD_FAILURE() << "the save was not stopped";
        } catch (const ImageFileError& error) {
            EXPECT_EQ(error.Code(), ErrorUserBreak);
        }
        EXPECT_EQ(calls, 2);
        EXPECT_TRUE(ReadBytes(dir / name) == "the user's only copy") << name;
        EXPECT_EQ(FilesIn(dir / ""), files);
    }

    // The same through the program: a failed write (here the target is a folder, which no
    // rename replaces) says so, and what was there stays.
    std::filesystem::create_directory(dir / "taken.ppm");
    WriteBytes(dir / "taken.ppm/inside", "kept");
    services.savePath = dir / "taken.ppm";
    app.Save(*document, SaveKind::SaveAs);
    ASSERT_TRUE(Idle());
    EXPECT_NE(LastMessage().find("Is a directory"), std::string::npos) << LastMessage();
    EXPECT_NE(LastMessage().find("taken.ppm was left as it was"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "taken.ppm/inside"), "kept");
    EXPECT_EQ(FilesIn(dir / ""), files + 1);
    EXPECT_EQ(document->Path(), dir / "a.ppm");
}

TEST_F(AppFixture, SavingRenamesReopensOrCopiesAsTheUserAsked) {
    CMyDoc* document = OpenBytes("a.ppm", Ppm(6, 4));
    ASSERT_NE(document, nullptr);
    const std::string original = ReadBytes(dir / "a.ppm");

    document->SetModified(true);
    app.Save(*document, SaveKind::Save); // to its own file, no dialog
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(services.saveTitles.empty());
    EXPECT_FALSE(document->Modified());
    EXPECT_EQ(ReadBytes(dir / "a.ppm"), original);

    services.savePath = dir / "copy.qvt";
    app.Save(*document, SaveKind::SaveCopy);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(services.saveTitles.back(), "Save Copy");
    EXPECT_EQ(services.lastProposed, dir / "a");
    EXPECT_EQ(services.lastFilters[services.lastSelected].description, "PPM (*.PPM)");
    EXPECT_EQ(document->Path(), dir / "a.ppm");
    EXPECT_TRUE(std::filesystem::exists(dir / "copy.qvt"));

    // An anymap document whose mode no anymap holds is saved as Save As does, under a new
    // name, and the file then opens as the kind it is.
    RasterImage argb;
    argb.display = CreateEmptyDisplayImage(3, 3, ModeARGB);
    document->Adopt(std::move(argb), dir / "a.ppm", 0);
    services.savePath = dir / "a.png";
    app.Save(*document, SaveKind::Save);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(services.saveTitles.back(), "Save As");
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(opened.back()->Kind(), DocumentKind::Bitmap);
    EXPECT_EQ(opened.back()->Path(), dir / "a.png");
    EXPECT_EQ(ReadBytes(dir / "a.ppm"), original);

    // No writer for CMYK in a BMP file.
    EXPECT_EQ(ChooseSaveTarget(dir / "a.bmp", ModeCMYK, app.Platform()), SaveTarget::None);
    EXPECT_TRUE(app.SaveFilters(ModeCMYK).size() == 1);
    EXPECT_EQ(app.SaveFilters(ModeCMYK)[0].description, "QVT (*.QVT)");
}

TEST_F(AppFixture, ClosingAsksAboutChangesAndWaitsForABusyDocument) {
    CMyDoc* document = OpenBytes("a.ppm", Ppm(6, 4));
    ASSERT_NE(document, nullptr);
    document->SetModified(true);
    services.answer = Answer::Cancel;
    EXPECT_FALSE(app.RequestClose(*document));
    EXPECT_EQ(services.questions.back(), "Save changes to a.ppm?");
    EXPECT_TRUE(closed.empty());

    // Yes saves first and closes once the save has ended.
    services.answer = Answer::Yes;
    EXPECT_FALSE(app.RequestClose(*document));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(closed.size(), 1u);
    EXPECT_TRUE(app.Documents().empty());
}

TEST_F(AppFixture, CropAndChannelsReplaceTheImageConsistently) {
    CMyDoc* document = OpenBytes("a.ppm", Ppm(6, 4));
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->ChannelCount(), 3);
    ASSERT_TRUE(document->SelectChannel(0));
    EXPECT_EQ(document->ChannelLetter(), 'B');
    ASSERT_NE(document->ChannelImage(), nullptr);
    EXPECT_FALSE(document->SelectChannel(3));

    document->Crop({1, 1, 4, 3});
    EXPECT_EQ(document->Width(), 3u);
    EXPECT_EQ(document->Height(), 2u);
    EXPECT_TRUE(document->Modified());
    // The old channel image would be drawn over the new image.
    EXPECT_EQ(document->SelectedChannel(), -1);
    EXPECT_EQ(document->ChannelImage(), nullptr);
}

TEST_F(AppFixture, ImageCommandsReplaceTheImageOnlyWhenTheyComplete) {
    CMyDoc* document = OpenBytes("a.ppm", Ppm(6, 4));
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(document->SelectChannel(1));
    ChangeMode(app, *document, ModeCMYK);
    EXPECT_TRUE(app.IsBusy(*document));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(document->Mode(), ModeCMYK);
    EXPECT_TRUE(document->Modified());
    EXPECT_EQ(document->SelectedChannel(), -1);

    // A size no memory holds fails with the message and leaves image and flag as they were.
    document->SetModified(false);
    const auto before = document->SharedImage();
    ChangeSize(app, *document, kMaxImageSide, kMaxImageSide);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(LastMessage(), kImageCreationFailed);
    EXPECT_EQ(document->SharedImage(), before);
    EXPECT_FALSE(document->Modified());

    // Esc stops a conversion with the same outcome.
    CMyDoc* large = OpenBytes("b.ppm", Ppm(1500, 1000));
    ASSERT_NE(large, nullptr);
    const auto largeBefore = large->SharedImage();
    ChangeMode(app, *large, ModeLab);
    EXPECT_EQ(app.Jobs().PressEscape(large), JobRunner::Escape::Stopping);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(services.status, "Stopped; the image was left as it was.");
    EXPECT_EQ(large->SharedImage(), largeBefore);
    EXPECT_FALSE(large->Modified());
}

TEST_F(AppFixture, ANewImageRebuildsTheSelectedChannelOrEndsTheSelection) {
    CMyDoc* document = OpenBytes("a.ppm", Ppm(6, 4));
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(document->SelectChannel(2));
    // A kind that reads its file again (a finer level, a reloaded region) adopts a new image.
    auto red = CreatePixMap({0, 0, 8, 5}, ModeRGB);
    std::memset(red->GetBits(), 0, static_cast<std::size_t>(red->Stride()) * 5);
    red->Row(0)[2] = 200;
    document->Adopt(MakeRasterImage(std::move(red), 0), document->Path(), 0);
    ASSERT_NE(document->ChannelImage(), nullptr);
    EXPECT_EQ(document->ChannelImage()->Width(), 8u);
    EXPECT_EQ(document->ChannelImage()->TopRow()[0], 200);
    EXPECT_EQ(document->SelectedChannel(), 2);
    document->Adopt(MakeRasterImage(CreatePixMap({0, 0, 8, 5}, ModeGray, kWhite, 1), 0),
                    document->Path(), 0);
    EXPECT_EQ(document->SelectedChannel(), -1);
    EXPECT_EQ(document->ChannelImage(), nullptr);
}

TEST_F(AppFixture, ImagesFromOtherProgramsOpenAsUntitledModifiedDocuments) {
    app.OpenUntitled(DocumentKind::QVT, [](JobContext&) {
        return MakeRasterImage(CreatePixMap({0, 0, 3, 2}, ModeCMYK, kWhite, 4), 0);
    });
    ASSERT_TRUE(Idle());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->Kind(), DocumentKind::QVT);
    EXPECT_EQ(opened[0]->Title(), "Untitled");
    EXPECT_TRUE(opened[0]->Modified());
    app.OpenUntitled(DocumentKind::Bitmap, [](JobContext&) -> RasterImage {
        throw ImageFileError(kImageCreationFailed);
    });
    ASSERT_TRUE(Idle());
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(LastMessage(), kImageCreationFailed);
}

TEST_F(AppFixture, CommandsThatMakeFullRangeSamplesSetTheFullRange) {
    using namespace std::string_literals;
    // 16-bit gray samples of maximum 1000 (1000 and 500) become 8-bit ones of maximum 255.
    CMyDoc* deep = OpenBytes("deep.pgm", "P5\n2 1\n1000\n\x03\xE8\x01\xF4"s);
    ASSERT_NE(deep, nullptr);
    ChangeMode(app, *deep, ModeGray);
    ASSERT_TRUE(Idle());
    services.savePath = dir / "eight.pgm";
    app.Save(*deep, SaveKind::SaveAs);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(ReadBytes(dir / "eight.pgm"), "P5\n2 1\n255\n\xFF\x80"s);

    // 8-bit samples of maximum 200 widen to 16-bit ones of maximum 65535.
    CMyDoc* low = OpenBytes("low.pgm", "P5\n2 1\n200\n\xC8\x64"s);
    ASSERT_NE(low, nullptr);
    ChangeMode(app, *low, ModeGray16);
    ASSERT_TRUE(Idle());
    services.savePath = dir / "sixteen.pgm";
    app.Save(*low, SaveKind::SaveAs);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(ReadBytes(dir / "sixteen.pgm"), "P5\n2 1\n65535\n\xFF\x00\x80\x00"s);
}

TEST_F(AppFixture, ProfilesComeWithTheFileAndStayWhileTheColourModelDoes) {
    RasterImage tagged;
    tagged.display = CreateEmptyDisplayImage(6, 4, ModeRGB);
    tagged.profile = IccProfile::FromBytes(DisplayP3Profile());
    WriteQtImageFile(tagged, dir / "tagged.png");
    app.OpenPaths({dir / "tagged.png"});
    ASSERT_TRUE(Idle());
    CMyDoc* document = opened.back();
    ASSERT_TRUE(document->ColorProfile());
    EXPECT_EQ(document->ColorProfile()->Description(), kTestProfileDescription);
    document->Crop({1, 1, 4, 3});
    ASSERT_TRUE(document->ColorProfile());
    EXPECT_EQ(document->ColorProfile()->Bytes(), tagged.profile->Bytes());

    // A damaged profile is named in the status bar; the image opens without it.
    const std::string profile(tagged.profile->Bytes().begin(), tagged.profile->Bytes().end());
    WriteQVTFile(tagged, dir / "damaged.qvt");
    std::string bytes = ReadBytes(dir / "damaged.qvt");
    const auto at = bytes.find(profile);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 128] = 0x7F; // millions of tags
    document = OpenBytes("damaged.qvt", bytes);
    ASSERT_NE(document, nullptr);
    EXPECT_FALSE(document->ColorProfile());
    EXPECT_EQ(services.status, std::string("damaged.qvt: ") + kDroppedProfile);
}
