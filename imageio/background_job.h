// One job at a time on a thread of its own, so that a file's reads or writes overlap the work
// on the rows beside them. The job's error reaches the caller when it next waits.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class BackgroundJob {
public:
    BackgroundJob();
    // Waits for the job in flight; its error, if any, is dropped (an error already on its way
    // out is the one to report).
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Waits for the job before (rethrowing its error) and starts `job`.
    void Start(std::function<void()> job);
    // Waits for the job in flight and rethrows the exception it ended with.
    void Wait();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    std::exception_ptr error_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
