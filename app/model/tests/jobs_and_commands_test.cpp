// Long work and command enabling: progress rounding and the one-key-per-call Esc rule, the job
// runner's threading (work off the UI thread, completions on it, exceptions turned into
// messages, one job per document), and the action table's rules, where a stale entry would
// leave a shortcut live on a busy document.
#include "commands.h"
#include "fake_services.h"
#include "job_runner.h"
#include "progress_rules.h"
#include "raster_image.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <new>

TEST(ProgressRules, PercentRoundsAndEscapeCountsOnlyWhereAllowed) {
    EXPECT_EQ(ProgressPercent(0.25), 25);
    EXPECT_EQ(ProgressPercent(0.996), 100);
    EXPECT_EQ(ProgressPercent(0.004), 0);
    EXPECT_EQ(ProgressPercent(1.7), 100);
    EXPECT_EQ(ProgressPercent(-1), 0);
    EXPECT_EQ(ProgressPercent(NAN), 0);

    StopRequest stop;
    EXPECT_FALSE(stop.Take(true));
    stop.PressEscape();
    EXPECT_FALSE(stop.Take(false)); // a container write uses the key up and goes on
    EXPECT_FALSE(stop.Take(true));
    stop.PressEscape();
    stop.PressEscape();
    EXPECT_TRUE(stop.Take(true));
    EXPECT_FALSE(stop.Take(true));
}

namespace {

struct RunnerFixture : ::testing::Test {
    FakeServices services;
    JobRunner runner{services};
    int owner = 0;
    std::optional<JobResult> result;

    Job MakeJob(std::function<void(JobContext&)> work, bool escapeAllowed = true) {
        Job job;
        job.message = "Working";
        job.escapeAllowed = escapeAllowed;
        job.work = std::move(work);
        job.done = [this](const JobResult& r) { result = r; };
        return job;
    }
    bool Finish() {
        return services.RunUntil([this] { return result.has_value(); });
    }
};

} // namespace

TEST_F(RunnerFixture, WorkRunsOffTheUiThreadAndReportsOnIt) {
    const auto ui = std::this_thread::get_id();
    std::thread::id worker;
    ASSERT_TRUE(runner.Start(&owner, MakeJob([&](JobContext& context) {
        worker = std::this_thread::get_id();
        for (int i = 0; i <= 400; ++i)
            context.Report(i / 400.0);
    })));
    EXPECT_TRUE(runner.IsBusy(&owner));
    EXPECT_FALSE(runner.Start(&owner, MakeJob([](JobContext&) {})));
    ASSERT_TRUE(Finish());
    EXPECT_NE(worker, ui);
    EXPECT_EQ(result->status, JobStatus::Done);
    EXPECT_FALSE(runner.IsBusy(&owner));
    EXPECT_FALSE(services.progressShown);
    // One step per change of percent, not one per call.
    EXPECT_EQ(services.percents.size(), 101u);
    EXPECT_EQ(services.percents.back(), 100);
}

TEST_F(RunnerFixture, EscapeStopsOnlyJobsThatAllowIt) {
    std::atomic<bool> pressed{false};
    const auto work = [&](JobContext& context) {
        while (!pressed)
            std::this_thread::yield();
        for (int i = 0; i < 3; ++i)
            context.Report(0.5);
    };
    ASSERT_TRUE(runner.Start(&owner, MakeJob(work, false)));
    EXPECT_EQ(runner.PressEscape(&owner), JobRunner::Escape::RunsOn);
    pressed = true;
    ASSERT_TRUE(Finish());
    EXPECT_EQ(result->status, JobStatus::Done);

    result.reset();
    pressed = false;
    ASSERT_TRUE(runner.Start(&owner, MakeJob(work, true)));
    EXPECT_EQ(runner.PressEscape(), JobRunner::Escape::Stopping);
    pressed = true;
    ASSERT_TRUE(Finish());
    EXPECT_EQ(result->status, JobStatus::Stopped);
}

TEST_F(RunnerFixture, ExceptionsBecomeTheJobsMessage) {
    const struct {
        std::function<void()> thrower;
        std::string message;
    } rows[] = {
        {[] { throw ImageFileError("Cannot read image header."); }, "Cannot read image header."},
        {[] { throw std::bad_alloc(); }, "Image creation failed."},
        {[] { ThrowCodecError(ErrorWrongFormat); }, "QVT error: wrong data file format"},
        {[] { throw 42; }, "An unexpected error ended the operation."},
    };
    for (const auto& row : rows) {
        result.reset();
        ASSERT_TRUE(runner.Start(&owner, MakeJob([&](JobContext&) { row.thrower(); })));
        ASSERT_TRUE(Finish());
        EXPECT_EQ(result->status, JobStatus::Failed);
        EXPECT_EQ(result->message, row.message);
    }
}

TEST(Commands, DocumentAndViewRulesBothHoldAndBusyDocumentsWait) {
    CommandFacts none;
    auto states = EvaluateCommands(none);
    EXPECT_TRUE(StateOf(states, Command::Open).enabled);
    EXPECT_FALSE(StateOf(states, Command::Save).enabled);
    EXPECT_FALSE(StateOf(states, Command::ZoomIn).enabled);
    EXPECT_FALSE(StateOf(states, Command::NextWindow).enabled);

    CommandFacts rgb;
    rgb.document =
        DocumentFacts{false, true, ModeRGB, ModeRGB, 3, 1, true, false, {}, false, false};
    rgb.view = ViewFacts{32, true, true, false, false, {}};
    rgb.windowCount = 2;
    states = EvaluateCommands(rgb);
    EXPECT_TRUE(StateOf(states, Command::Save).enabled);
    EXPECT_FALSE(StateOf(states, Command::ZoomIn).enabled); // at 3200 %
    EXPECT_TRUE(StateOf(states, Command::ZoomOut).enabled);
    EXPECT_TRUE(StateOf(states, Command::Crop).enabled);
    EXPECT_TRUE(StateOf(states, Command::Crop).checked);
    EXPECT_FALSE(StateOf(states, Command::GrayMatte).enabled);
    EXPECT_TRUE(StateOf(states, Command::Channel3).enabled);
    EXPECT_FALSE(StateOf(states, Command::Channel4).enabled);
    EXPECT_TRUE(StateOf(states, Command::Channel2).checked);
    EXPECT_FALSE(StateOf(states, Command::ChannelAll).checked);
    EXPECT_TRUE(StateOf(states, Command::NextWindow).enabled);

    // The document's rule alone does not enable a view command.
    CommandFacts noView = rgb;
    noView.view.reset();
    EXPECT_FALSE(StateOf(EvaluateCommands(noView), Command::Crop).enabled);
    EXPECT_TRUE(StateOf(EvaluateCommands(noView), Command::Save).enabled);

    CommandFacts busy = rgb;
    busy.document->busy = true;
    states = EvaluateCommands(busy);
    for (const Command command : {Command::Save, Command::Close, Command::Crop, Command::ZoomOut,
                                  Command::Channel1, Command::SaveAs})
        EXPECT_FALSE(StateOf(states, command).enabled) << static_cast<int>(command);
    EXPECT_TRUE(StateOf(states, Command::Open).enabled);

    CommandFacts argb = rgb;
    argb.document->mode = ModeARGB;
    argb.document->channelCount = 4;
    argb.view->grayMatte = true;
    states = EvaluateCommands(argb);
    EXPECT_TRUE(StateOf(states, Command::GrayMatte).enabled);
    EXPECT_TRUE(StateOf(states, Command::GrayMatte).checked);
    EXPECT_TRUE(StateOf(states, Command::Channel4).enabled);

    CommandFacts gray = rgb;
    gray.document->channelCount = 1;
    EXPECT_FALSE(StateOf(EvaluateCommands(gray), Command::Channel1).enabled);
}
