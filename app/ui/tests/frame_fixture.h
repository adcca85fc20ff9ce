// Main windows for the GUI tests: shown, exposed, and with files open once each has its window.
#pragma once

#include "main_window.h"
#include "tab_groups.h"

#include <QStringList>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

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
    if (!QTest::qWaitFor([&] { return frame->Groups().Windows().size() == count; })) return nullptr;
    return frame;
}

// Waits until the program runs no job.
inline bool Idle(CMainFrame& frame, int timeoutMs = 20000) {
    return QTest::qWaitFor([&] { return !frame.App().Jobs().AnyBusy(); }, timeoutMs);
}
