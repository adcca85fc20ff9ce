// The desktop services of the Qt program: message boxes and dialogs over the main window, the
// override cursor, and the status bar's message area and progress bar.
#pragma once

#include "desktop_services.h"

class QLabel;
class QProgressBar;
class QWidget;

class QtServices final : public DesktopServices {
public:
    // The widgets belong to the main window and outlive this object.
    QtServices(QWidget* window, QLabel* message, QProgressBar* progress);

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    Answer Ask(const std::string& question, bool withCancel) override;
    void ShowStatus(const std::string& text) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void BeginProgress(const std::string& message) override;
    void StepProgress(int percent) override;
    void EndProgress() override;
    std::vector<std::string> AskOpenPaths(const std::vector<FileFilter>& filters,
                                          OpenOptions& options) override;
    std::optional<std::string> AskSavePath(const std::string& title, const std::string& proposed,
                                           const std::vector<FileFilter>& filters,
                                           int selectedFilter, SaveOptions& options) override;
    std::optional<Rgb> AskColor(Rgb initial) override;
    void PostToUi(std::function<void()> task) override;

private:
    QWidget* window_;
    QLabel* message_;
    QProgressBar* progress_;
};
