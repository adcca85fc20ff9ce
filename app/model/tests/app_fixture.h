// The application without a window for model tests: fake desktop services, files in a fresh
// folder, and the documents the application opened and closed.
#pragma once

#include "fake_services.h"
#include "pictor_app.h"
#include "test_files.h"
#include "test_platform.h"

#include <gtest/gtest.h>

struct AppFixture : ::testing::Test, ShellObserver {
    TempDir dir;
    FakeServices services;
    CPictorApp app{services, TestPlatform()};
    std::vector<CMyDoc*> opened;
    std::vector<CMyDoc*> closed;

    AppFixture() { app.SetObserver(this); }
    void DocumentOpened(CMyDoc& document) override { opened.push_back(&document); }
    void DocumentClosing(CMyDoc& document) override { closed.push_back(&document); }
    void StateChanged() override {}

    // Runs the UI tasks until no job is left.
    bool Idle() {
        return services.RunUntil([this] { return !app.Jobs().AnyBusy(); });
    }
    // Opens the file named in the folder and waits for it; its document, or null.
    CMyDoc* OpenFile(const std::string& name) {
        const std::size_t before = opened.size();
        app.OpenPaths({dir / name});
        EXPECT_TRUE(Idle());
        return opened.size() > before ? opened.back() : nullptr;
    }
    CMyDoc* OpenBytes(const std::string& name, const std::string& bytes) {
        WriteBytes(dir / name, bytes);
        return OpenFile(name);
    }
    std::string LastMessage() const {
        return services.messages.empty() ? std::string() : services.messages.back().text;
    }
};
