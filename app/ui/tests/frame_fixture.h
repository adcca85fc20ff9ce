// Main windows for the GUI tests: shown, exposed, and with files open once each has its window.
#pragma once

#include "main_window.h"
#include "tab_groups.h"

#include <QStringList>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

// How long a test waits for work on the worker threads. Under the sanitizers on a busy machine a
// decode can take many times QTest's five-second default; a wait that succeeds returns at once.
inline constexpr int kPatienceMs = 120000;

// A shown main window, or null when the platform never exposes it.
inline std::unique_ptr<CMainFrame> ShownFrame(QSize size = {800, 600}) {
    auto frame = std::make_unique<CMainFrame>();
    frame->resize(size);
    frame->show();
    return QTest::qWaitForWindowExposed(frame.get()) ? std::move(frame) : nullptr;
}

// A shown main window with the named files of the folder open, or null when a window is missing.
inline std::unique_ptr<CMainFrame> FrameWithFiles(const QString& folder, const QStringList& names) {
    auto frame = ShownFrame();
    if (!frame) return nullptr;
    std::vector<std::string> paths;
    for (const QString& name : names)
        paths.push_back((folder + '/' + name).toStdString());
    frame->App().OpenPaths(paths);
    const auto count = names.size();
    if (!QTest::qWaitFor([&] { return frame->Groups().Windows().size() == count; }, kPatienceMs))
        return nullptr;
    return frame;
}

// Waits until the program runs no job.
inline bool Idle(CMainFrame& frame) {
    return QTest::qWaitFor([&] { return !frame.App().Jobs().AnyBusy(); }, kPatienceMs);
}
