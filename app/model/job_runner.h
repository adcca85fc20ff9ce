// Long work off the UI thread. A job's work runs on a worker thread; its owner (a document) is
// busy until the job's completion has run on the UI thread. The worker reports progress through
// the codec's callback, which stores the fraction, posts the percentage to the UI when it
// changes, and answers "stop" when Esc was pressed and stopping is allowed there.
//
// Threading rules for work functions: touch no widget and no document state that the UI thread
// may change (a busy document's commands are disabled, so its image is read-only meanwhile);
// hand results back through the completion. Every exception is caught and becomes the job's
// message.
#pragma once

#include "desktop_services.h"
#include "progress.h"
#include "progress_rules.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

enum class JobStatus { Done, Stopped, Failed };

struct JobResult {
    JobStatus status = JobStatus::Done;
    std::string message; // the error's text for Failed
};

// What a work function gets: the progress callback to hand to the codec, the number of
// threads it may use, and a way to hand partial results to the UI thread while it runs.
class JobContext {
public:
    // Called with the fraction done and whether the caller allows a stop there; true stops.
    using Progress = std::function<bool(double fraction, bool escapeAllowed)>;
    // Runs a task on the UI thread.
    using Deliverer = std::function<void(std::function<void()> task)>;

    JobContext(Progress progress, int threads, Deliverer deliverer = {})
        : progress_(std::move(progress)), threads_(threads), deliverer_(std::move(deliverer)) {}

    ProgressCallback Callback() const { return &JobContext::Trampoline; }
    void* Data() { return this; }
    int Threads() const { return threads_; }
    // Reports progress from the work's own loops; throws the codec's ErrorUserBreak on a stop.
    void Report(double fraction) { ReportProgress(Callback(), fraction, Data()); }
    // Runs `task` on the UI thread before the job's completion, in the order delivered; dropped
    // when the runner has gone. Work run without a runner (tests) runs it at once.
    void Deliver(std::function<void()> task) {
        if (deliverer_)
            deliverer_(std::move(task));
        else
            task();
    }

private:
    static bool Trampoline(double fraction, bool escapeAllowed, void* data);

    Progress progress_;
    int threads_;
    Deliverer deliverer_;
};

struct Job {
    std::string message;        // shown while the job runs
    bool escapeAllowed = false; // Esc may stop it
    std::function<void(JobContext&)> work;
    std::function<void(const JobResult&)> done; // on the UI thread
};

class JobRunner {
public:
    explicit JobRunner(DesktopServices& services);
    // Asks every job that may stop to stop, and waits for all.
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Starts the job of `owner`; an owner runs one job at a time (false when busy).
    bool Start(const void* owner, Job job);
    bool IsBusy(const void* owner) const;
    bool AnyBusy() const;
    // Esc for the owner's job, or for the job whose progress is shown when `owner` is null.
    enum class Escape { NoJob, Stopping, RunsOn };
    Escape PressEscape(const void* owner = nullptr);
    // Waits for every worker to end; their completions stay queued for the UI thread.
    void JoinAll();

    // Worker threads for one more job: the processors shared by the jobs that run at once.
    static int ThreadsFor(int runningJobs);

private:
    struct Running;
    struct Shared;

    DesktopServices& services_;
    std::shared_ptr<Shared> shared_;
};
