// The File menu's recent files, kept in the settings ("recentFileList"). Choosing one takes it
// off the list and asks to open it: a file that opens comes back at the top, one that fails is
// gone. The settings file is written on a thread of its own, in order: writing it waits for the
// disk, which must not hold up the window of the file just opened.
#pragma once

#include "recent_files.h"

#include <QObject>
#include <QThreadPool>

#include <array>

class QAction;
class QMenu;

class RecentFilesMenu : public QObject {
    Q_OBJECT

public:
    // Puts the entries into `menu` before `before`.
    RecentFilesMenu(QMenu* menu, QAction* before);
    // Waits until the list is written.
    ~RecentFilesMenu() override;

    void Add(const std::string& path);
    const RecentFiles& Files() const { return files_; }
    QAction* Entry(std::size_t index) const { return actions_[index]; }

signals:
    void openRequested(const std::string& path);

private:
    void Store();
    void Show();

    RecentFiles files_;
    std::array<QAction*, RecentFiles::kMaxEntries> actions_{};
    QAction* separator_;
    QThreadPool writer_; // one thread: the last list stored is the one kept
};
