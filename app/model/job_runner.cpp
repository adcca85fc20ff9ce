#include "job_runner.h"

#include "raster_image.h"

#include <algorithm>
#include <exception>
#include <new>
#include <vector>

struct JobRunner::Running {
    std::thread thread;
    StopRequest stop;
    JobContext context{nullptr, 1};
    std::string message;
    bool escapeAllowed = false;
    std::function<void(const JobResult&)> done;
    int percent = -1; // the last percentage shown, UI thread only
};

struct JobRunner::Shared {
    DesktopServices* services = nullptr;
    std::mutex mutex;
    std::map<const void*, std::unique_ptr<Running>> jobs;
    // The job whose progress the status bar shows: the newest one (UI thread only).
    const void* shown = nullptr;
};

namespace {

JobResult ResultOfException(std::exception_ptr error) {
    const auto stoppedOrFailed = [](std::uint32_t code, std::string text) {
        if (code == ErrorUserBreak) return JobResult{JobStatus::Stopped, {}};
        return JobResult{JobStatus::Failed, std::move(text)};
    };
    try {
        std::rethrow_exception(error);
    } catch (const ImageFileError& failure) {
        return stoppedOrFailed(failure.Code(), failure.what());
    } catch (const IOException& failure) {
        return stoppedOrFailed(failure.error, ErrorMessageForCode(failure.error));
    } catch (const std::bad_alloc&) {
        return {JobStatus::Failed, kImageCreationFailed};
    } catch (const std::exception& failure) {
        return {JobStatus::Failed, failure.what()};
    } catch (...) {
        return {JobStatus::Failed, "An unexpected error ended the operation."};
    }
}

} // namespace

bool JobContext::Trampoline(double fraction, bool escapeAllowed, void* data) {
    const auto& context = *static_cast<JobContext*>(data);
    return context.progress_ && context.progress_(fraction, escapeAllowed);
}

JobRunner::JobRunner(DesktopServices& services)
    : services_(services), shared_(std::make_shared<Shared>()) {
    shared_->services = &services;
}

JobRunner::~JobRunner() {
    {
        std::lock_guard lock(shared_->mutex);
        for (auto& [owner, job] : shared_->jobs)
            job->stop.PressEscape();
    }
    JoinAll();
}

int JobRunner::ThreadsFor(int runningJobs) {
    const int processors = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    return std::max(1, processors / std::max(1, runningJobs + 1));
}

bool JobRunner::Start(const void* owner, Job job) {
    auto running = std::make_unique<Running>();
    Running& state = *running;
    int threads = 1;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->jobs.contains(owner)) return false;
        threads = ThreadsFor(static_cast<int>(shared_->jobs.size()));
        shared_->jobs.emplace(owner, std::move(running));
    }
    state.message = job.message;
    state.escapeAllowed = job.escapeAllowed;
    state.done = std::move(job.done);
    std::weak_ptr<Shared> weak = shared_;
    // The percentage reaches the UI only when it changes: row exports call back once per row.
    const auto showPercent = [weak, owner, services = &services_](int percent) {
        services->PostToUi([weak, owner, percent] {
            const auto shared = weak.lock();
            if (!shared) return;
            std::lock_guard lock(shared->mutex);
            const auto found = shared->jobs.find(owner);
            if (found == shared->jobs.end()) return;
            found->second->percent = percent;
            if (shared->shown == owner) shared->services->StepProgress(percent);
        });
    };
    // Partial results reach the UI while the job is still registered: the completion, posted
    // after them, removes it.
    const auto deliver = [weak, owner, services = &services_](std::function<void()> task) {
        services->PostToUi([weak, owner, task = std::move(task)] {
            const auto shared = weak.lock();
            if (!shared) return;
            {
                std::lock_guard lock(shared->mutex);
                if (!shared->jobs.contains(owner)) return;
            }
            task();
        });
    };
    state.context = JobContext(
        [&state, showPercent, lastPercent = -1](double fraction, bool escapeAllowed) mutable {
            const int percent = ProgressPercent(fraction);
            if (percent != lastPercent) showPercent(lastPercent = percent);
            return state.stop.Take(escapeAllowed && state.escapeAllowed);
        },
        threads, deliver);
    shared_->shown = owner;
    services_.BeginProgress(state.message);
    state.thread = std::thread([weak, owner, work = std::move(job.work), &state] {
        JobResult result;
        try {
            work(state.context);
        } catch (...) {
            result = ResultOfException(std::current_exception());
        }
        if (const auto shared = weak.lock())
            shared->services->PostToUi([weak, owner, result] {
                if (const auto alive = weak.lock()) {
                    std::unique_ptr<Running> finished;
                    {
                        std::lock_guard lock(alive->mutex);
                        const auto found = alive->jobs.find(owner);
                        if (found == alive->jobs.end()) return;
                        finished = std::move(found->second);
                        alive->jobs.erase(found);
                    }
                    if (finished->thread.joinable()) finished->thread.join();
                    if (alive->shown == owner) {
                        alive->services->EndProgress();
                        alive->shown = nullptr;
                        std::lock_guard lock(alive->mutex);
                        if (!alive->jobs.empty()) {
                            const auto& [next, job] = *alive->jobs.rbegin();
                            alive->shown = next;
                            alive->services->BeginProgress(job->message);
                            if (job->percent >= 0) alive->services->StepProgress(job->percent);
                        }
                    }
                    if (finished->done) finished->done(result);
                }
            });
    });
    return true;
}

bool JobRunner::IsBusy(const void* owner) const {
    std::lock_guard lock(shared_->mutex);
    return shared_->jobs.contains(owner);
}

bool JobRunner::AnyBusy() const {
    std::lock_guard lock(shared_->mutex);
    return !shared_->jobs.empty();
}

JobRunner::Escape JobRunner::PressEscape(const void* owner) {
    std::lock_guard lock(shared_->mutex);
    const auto found = shared_->jobs.find(owner ? owner : shared_->shown);
    if (found == shared_->jobs.end()) return Escape::NoJob;
    found->second->stop.PressEscape();
    return found->second->escapeAllowed ? Escape::Stopping : Escape::RunsOn;
}

void JobRunner::JoinAll() {
    std::vector<std::thread*> threads;
    {
        std::lock_guard lock(shared_->mutex);
        for (auto& [owner, job] : shared_->jobs)
            threads.push_back(&job->thread);
    }
    for (std::thread* thread : threads)
        if (thread->joinable()) thread->join();
}
