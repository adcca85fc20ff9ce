#include "background_job.h"

#include <utility>

BackgroundJob::BackgroundJob() : thread_([this] { Run(); }) {}

BackgroundJob::~BackgroundJob() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundJob::Start(std::function<void()> job) {
    Wait();
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
        busy_ = true;
    }
    changed_.notify_all();
}

void BackgroundJob::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void BackgroundJob::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stopping_; });
        if (!busy_) return;
        std::function<void()> job = std::move(job_);
        lock.unlock();
        std::exception_ptr error;
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}
