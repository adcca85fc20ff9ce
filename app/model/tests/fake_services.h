// Desktop services for tests: records what the model asked for, answers dialogs from scripted
// values, and queues UI tasks until the test runs them.
#pragma once

#include "desktop_services.h"

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class FakeServices : public DesktopServices {
public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };

    void ShowMessage(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    Answer Ask(const std::string& question, bool) override {
        questions.push_back(question);
        return answer;
    }
    void ShowStatus(const std::string& text) override { status = text; }
    void BeginWaitCursor() override { ++waitDepth; }
    void EndWaitCursor() override { --waitDepth; }
    void BeginProgress(const std::string& message) override {
        progressMessages.push_back(message);
        progressShown = true;
    }
    void StepProgress(int percent) override { percents.push_back(percent); }
    void EndProgress() override { progressShown = false; }
    std::vector<std::string> AskOpenPaths(const std::vector<FileFilter>&,
                                          OpenOptions& options) override {
        if (openOptions) options = *openOptions;
        return openPaths;
    }
    std::optional<std::string> AskSavePath(const std::string& title, const std::string& proposed,
                                           const std::vector<FileFilter>& filters, int selected,
                                           SaveOptions& options) override {
        saveTitles.push_back(title);
        lastProposed = proposed;
        lastFilters = filters;
        lastSelected = selected;
        if (savePath && saveOptions) options = *saveOptions;
        return savePath;
    }
    std::optional<Rgb> AskColor(Rgb) override { return color; }
    void PostToUi(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }

    // Runs queued UI tasks until `done` holds (true) or two minutes pass (false). Jobs under the
    // sanitizers on a busy machine can take many seconds; a wait that succeeds returns at once.
    bool RunUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                if (!tasks_.empty()) {
                    task = std::move(tasks_.front());
                    tasks_.pop_front();
                }
            }
            if (task)
                task();
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::vector<Message> messages;
    std::vector<std::string> questions;
    Answer answer = Answer::No;
    std::string status;
    int waitDepth = 0;
    std::vector<std::string> progressMessages;
    bool progressShown = false;
    std::vector<int> percents;
    std::vector<std::string> openPaths;
    std::optional<OpenOptions> openOptions; // what the user chooses in the open dialog
    std::optional<SaveOptions> saveOptions; // ... and in the save dialog
    std::optional<std::string> savePath;
    std::vector<std::string> saveTitles;
    std::string lastProposed;
    std::vector<FileFilter> lastFilters;
    int lastSelected = -1;
    std::optional<Rgb> color;

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};
