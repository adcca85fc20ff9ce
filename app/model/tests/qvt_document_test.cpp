// QVT documents read the way the format allows, without a window: the first picture is the
// coarsest level and every finer level follows with its hint; a stop keeps what was decoded and
// the level commands go on from there to the exact full image; each document reads with the
// options it was opened with, whatever happens to the program-wide ones afterwards; a read that
// fails keeps the last level; and a document that shows less than its file never replaces it.
#include "app_fixture.h"
#include "file_preview.h"
#include "level_commands.h"
#include "pixmap_factory.h"
#include "qvt_document.h"
#include "qvt_file.h"
#include "region_at_level.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

bool SameImage(RasterImage& first, RasterImage& second) {
    return SamePixels(*ImagePixels(first), *ImagePixels(second));
}

// The hints a view of the document receives.
struct HintLog : DocumentObserver {
    std::vector<int> hints;
    void DocumentChanged(int hint) override { hints.push_back(hint); }
};

// Runs a job's work and completion on the calling thread, as the runner would.
JobResult RunHere(Job& job, JobContext& context) {
    JobResult result;
    try {
        job.work(context);
    } catch (const ImageFileError& error) {
        result = {error.Code() == ErrorUserBreak ? JobStatus::Stopped : JobStatus::Failed,
                  error.what()};
    } catch (const IOException& error) {
        result = {error.error == ErrorUserBreak ? JobStatus::Stopped : JobStatus::Failed,
                  ErrorMessageForCode(error.error)};
    }
    job.done(result);
    return result;
}

struct QVTFixture : AppFixture {
    RasterImage source = GradientImage(400, 320);
    JobContext quiet{nullptr, 1};

    QVTFixture() {
        QVTWriteOptions six;
        six.levels = 6;
        WriteQVTFile(source, dir / "six.qvt", six);
        six.regionSupport = true;
        WriteQVTFile(source, dir / "region.qvt", six);
    }
    CQVTDoc* Open(const std::string& name) { return static_cast<CQVTDoc*>(OpenFile(name)); }
    // A document opened by hand, showing its first picture.
    void OpenHere(CQVTDoc& document, const std::string& name, const OpenOptions& options) {
        document.TakeOpenOptions(options);
        RasterImage first = document.ReadFile(dir / name, quiet);
        document.Adopt(std::move(first), dir / name, 0);
    }
    static bool Enabled(const CQVTDoc& document, Command command) {
        CommandFacts facts;
        facts.document = DocumentFacts{};
        facts.document->levels = document.Levels();
        return StateOf(EvaluateCommands(facts), command).enabled;
    }
};

} // namespace

TEST_F(QVTFixture, ProgressiveOpenShowsTheCoarsestLevelThenEveryFinerOne) {
    CQVTDoc document;
    OpenHere(document, "six.qvt", {});
    EXPECT_EQ(document.ShownLevel(), 5);
    EXPECT_EQ(document.LayoutSize(), (Size{400, 320})); // drawn stretched to the full size
    EXPECT_TRUE(document.FileOpen());
    EXPECT_EQ(document.Options().levels, 6); // a save keeps the file's own settings

    HintLog log;
    document.AddObserver(&log);
    auto continuation = document.ContinuationJob();
    ASSERT_TRUE(continuation);
    EXPECT_EQ(RunHere(*continuation, quiet).status, JobStatus::Done);
    EXPECT_EQ(log.hints, (std::vector<int>{4, 4, 4, 4, 1}));
    EXPECT_EQ(document.ShownLevel(), 0);
    EXPECT_FALSE(document.FileOpen());
    EXPECT_TRUE(SameImage(document.Image(), source));
    document.RemoveObserver(&log);
}

TEST_F(QVTFixture, EscapeKeepsWhatIsDecodedAndTheLevelCommandsGoOnToTheExactImage) {
    CQVTDoc document;
    OpenHere(document, "six.qvt", {});
    auto continuation = document.ContinuationJob();
    int calls = 0;
    // Esc is taken at the second report: after level 3.
    JobContext stopsAtLevel3([&calls](double, bool) { return ++calls == 2; }, 1);
    EXPECT_EQ(RunHere(*continuation, stopsAtLevel3).status, JobStatus::Stopped);
    EXPECT_EQ(document.ShownLevel(), 3);
    EXPECT_EQ(document.TargetLevel(), 3);
    EXPECT_EQ(document.LayoutSize(), (Size{50, 40}));
    EXPECT_TRUE(document.FileOpen());
    EXPECT_TRUE(Enabled(document, Command::Level2));
    EXPECT_FALSE(Enabled(document, Command::Level4));

    Job full = document.ReadLevelJob(0);
    RunHere(full, quiet);
    EXPECT_EQ(document.ShownLevel(), 0);
    EXPECT_FALSE(document.FileOpen());
    EXPECT_TRUE(SameImage(document.Image(), source));
    EXPECT_FALSE(Enabled(document, Command::NextLevel));
}

TEST_F(QVTFixture, ALevelCommandReadsOnOnceWithoutProgressiveLoadingAndNeverWhenEdited) {
    CQVTDoc document;
    OpenOptions thumbnail;
    thumbnail.thumbnail = true;
    thumbnail.progressive = false;
    OpenHere(document, "six.qvt", thumbnail);
    EXPECT_EQ(document.ReducedLevel(), 5);
    EXPECT_EQ(document.LayoutSize(), (Size{13, 10})); // the level shown, not the full size
    EXPECT_FALSE(document.ContinuationJob());

    HintLog log;
    document.AddObserver(&log);
    Job job = document.ReadLevelJob(1);
    RunHere(job, quiet);
    // The read is announced (its layout may change), then one picture arrives.
    EXPECT_EQ(log.hints, (std::vector<int>{HintSize, 1}));
    EXPECT_EQ(document.ShownLevel(), 1);
    EXPECT_EQ(document.LayoutSize(), (Size{200, 160}));
    document.RemoveObserver(&log);

    // An edited level is the user's: reading on would replace it.
    document.SetModified(true);
    EXPECT_FALSE(Enabled(document, Command::Level0));
    EXPECT_FALSE(Enabled(document, Command::NextLevel));

    // An image imported from elsewhere has no levels to read and is all there is.
    CQVTDoc imported;
    imported.Adopt(GradientImage(5, 4), "", 0);
    imported.SetModified(true);
    EXPECT_EQ(imported.LayoutSize(), (Size{5, 4}));
    EXPECT_FALSE(imported.ShowsLessThanFile());
    EXPECT_FALSE(Enabled(imported, Command::Level0));
}

TEST_F(QVTFixture, ClosingWhileReadingStopsAtTheNextLevelAndThenCloses) {
    app.OpenPaths({dir / "six.qvt"});
    ASSERT_TRUE(services.RunUntil([this] { return !opened.empty(); }));
    ASSERT_TRUE(app.IsBusy(*opened[0]));
    EXPECT_FALSE(app.RequestClose(*opened[0]));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(closed.size(), 1u);
    EXPECT_TRUE(app.Documents().empty());
}

TEST_F(QVTFixture, DocumentsReadWithTheOptionsTheyOpenedWith) {
    // A region beyond a small file is clamped for that file only.
    OpenOptions& options = app.Options();
    options.regionOfInterest = true;
    options.regionLeft = 500;
    options.regionTop = 8;
    options.regionRight = 900;
    options.regionBottom = 40;
    options.level = 3;
    CQVTDoc* first = Open("region.qvt");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->LayoutSize(), (Size{50, 4})); // 0 ... 400 x 8 ... 40 at level 3
    EXPECT_EQ(options.regionLeft, 500u);
    EXPECT_EQ(options.regionRight, 900u);

    // A later change of the program's options leaves what the document reads alone.
    options.regionOfInterest = false;
    options.level = 0;
    RunLevelCommand(app, *first, Command::Level0);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(first->ShownLevel(), 0);
    EXPECT_EQ(first->Width(), 400u);
    EXPECT_EQ(first->Height(), 32u);
    EXPECT_TRUE(first->ShowsLessThanFile());
}

TEST_F(QVTFixture, AFileWithoutLevelsOpensWholeAndLeavesProgressiveLoadingOn) {
    RasterImage tiny = GradientImage(9, 9);
    WriteQVTFile(tiny, dir / "tiny.qvt");
    CQVTDoc* document = Open("tiny.qvt");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->File().levels, 0);
    EXPECT_EQ(document->ShownLevel(), 0);
    EXPECT_FALSE(document->FileOpen());
    EXPECT_TRUE(SameImage(document->Image(), tiny));
    EXPECT_TRUE(app.Options().progressive);
    EXPECT_EQ(document->Options().checkBox, true); // saved again, the codec chooses
}

TEST_F(QVTFixture, AFailedReadKeepsTheLastLevelClosesTheFileAndSaysWhy) {
    // The finest level's data is cut off.
    std::string bytes = ReadBytes(dir / "six.qvt");
    bytes.resize(bytes.size() * 3 / 4);
    WriteBytes(dir / "cut.qvt", bytes);
    CQVTDoc* document = Open("cut.qvt");
    ASSERT_NE(document, nullptr);
    EXPECT_GT(document->ShownLevel(), 0);
    EXPECT_EQ(document->TargetLevel(), document->ShownLevel());
    EXPECT_FALSE(document->FileOpen());
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_NE(services.messages[0].text.find("QVT error"), std::string::npos)
        << services.messages[0].text;
    EXPECT_EQ(document->Width(), CeilAtLevel(400, document->ShownLevel()));
}

TEST_F(QVTFixture, LessThanTheFileIsNeverSavedOverTheFile) {
    app.Options().thumbnail = true;
    CQVTDoc* document = Open("six.qvt");
    ASSERT_NE(document, nullptr);
    const std::string original = ReadBytes(dir / "six.qvt");
    document->SetModified(true);

    app.Save(*document, SaveKind::Save);
    services.savePath = dir / "six.qvt";
    app.Save(*document, SaveKind::SaveAs);
    std::filesystem::create_symlink(dir / "six.qvt", dir / "link.qvt");
    services.savePath = dir / "link.qvt";
    app.Save(*document, SaveKind::SaveCopy);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(services.messages.size(), 3u);
    for (const auto& message : services.messages)
        EXPECT_NE(message.text.find("would replace the full image"), std::string::npos);
    EXPECT_TRUE(ReadBytes(dir / "six.qvt") == original);

    // Save As to another name writes what is shown, and the document is that file now.
    services.savePath = dir / "small.qvt";
    app.Save(*document, SaveKind::SaveAs);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(document->Path(), dir / "small.qvt");
    EXPECT_FALSE(document->Modified());
    EXPECT_FALSE(document->ShowsLessThanFile());
    EXPECT_EQ(document->ReducedLevel(), 0);
    EXPECT_FALSE(Enabled(*document, Command::NextLevel));
    EXPECT_EQ(ReadQVTFile(dir / "small.qvt").Width(), 13u);
    document->SetModified(true);
    app.Save(*document, SaveKind::Save);
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(document->Modified());
    EXPECT_EQ(services.messages.size(), 3u);
}

TEST_F(QVTFixture, TheSaveDialogsChoicesDecideTheFileWritten) {
    app.Options().progressive = false;
    CQVTDoc* document = Open("six.qvt");
    ASSERT_NE(document, nullptr);
    SaveOptions chosen;
    chosen.levels = 3;
    chosen.checkBox = false;
    chosen.quality = 4;
    chosen.regionSupport = true;
    services.saveOptions = chosen;
    services.savePath = dir / "copy.qvt";
    app.Save(*document, SaveKind::SaveCopy);
    ASSERT_TRUE(Idle());
    CQVTDoc copy;
    OpenHere(copy, "copy.qvt", {});
    EXPECT_EQ(copy.File().levels, 3);
    EXPECT_TRUE(copy.File().regionSupport);
    EXPECT_EQ(copy.Options().quality, 4);
}

TEST_F(QVTFixture, UsedBitsGiveTheMaximumChannelValueAndNoneMeansTheFullRange) {
    for (const auto& [usedBits, maximum] : {std::pair{12, 4095u}, std::pair{0, 65535u}}) {
        RasterImage deep;
        deep.pixMap = CreatePixMap({0, 0, 40, 30}, ModeGray16);
        deep.display = CreateEmptyDisplayImage(40, 30, ModeGray);
        deep.maxChannelValue = 4095;
        WriteQVTFile(deep, dir / "deep.qvt");
        std::string bytes = ReadBytes(dir / "deep.qvt");
        bytes[8 + 13] = static_cast<char>(usedBits); // the header's used bits per channel
        WriteBytes(dir / "deep.qvt", bytes);
        CQVTDoc* document = Open("deep.qvt");
        ASSERT_NE(document, nullptr) << usedBits;
        EXPECT_EQ(document->Image().maxChannelValue, maximum) << usedBits;
    }
}

TEST_F(QVTFixture, TheOpenDialogPreviewsTheCoarsestLevelOnlyWhenItIsSmall) {
    const QVTPreview preview = LoadQVTPreview(dir / "region.qvt");
    EXPECT_EQ(preview.levels, 6);
    EXPECT_TRUE(preview.regionSupport);
    ASSERT_TRUE(preview.image);
    EXPECT_EQ(preview.image->Width(), 13u);

    // One level: the coarsest is half the full size, here above the limit.
    QVTWriteOptions one;
    one.levels = 1;
    WriteQVTFile(source, dir / "one.qvt", one);
    const QVTPreview large = LoadQVTPreview(dir / "one.qvt", 100 * 100);
    EXPECT_EQ(large.levels, 1);
    EXPECT_FALSE(large.image);
    EXPECT_THROW(LoadQVTPreview(dir / "missing.qvt"), ImageFileError);
}
