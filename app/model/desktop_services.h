// Everything the model asks of the desktop, in one small interface: the Qt program implements it
// with message boxes, the status bar and dialogs; tests fake it and read back what was asked.
#pragma once

#include "open_options.h"
#include "save_options.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class MessageIcon { Information, Exclamation, Error };
enum class Answer { Yes, No, Cancel };

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// One entry of a file dialog's type list: "PNM (*.PBM;*.PGM;*.PPM)" with its patterns.
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns; // "*.pbm", ...
};

class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // A question answered yes or no (or cancel, when offered).
    virtual Answer Ask(const std::string& question, bool withCancel) = 0;
    // The status bar's message area ("Ready" when idle).
    virtual void ShowStatus(const std::string& text) = 0;

    // Nested: the cursor shows waiting until every Begin has had its End.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // The status bar's progress: a percentage, or -1 for work that cannot say how far it is.
    virtual void BeginProgress(const std::string& message) = 0;
    virtual void StepProgress(int percent) = 0;
    virtual void EndProgress() = 0;

    // File dialogs: nothing (or no paths) when the user cancels. Each starts from the options
    // given and, when the user confirms, leaves the choices made in them.
    virtual std::vector<std::string> AskOpenPaths(const std::vector<FileFilter>& filters,
                                                  OpenOptions& options) = 0;
    virtual std::optional<std::string> AskSavePath(const std::string& title,
                                                   const std::string& proposed,
                                                   const std::vector<FileFilter>& filters,
                                                   int selectedFilter, SaveOptions& options) = 0;
    virtual std::optional<Rgb> AskColor(Rgb initial) = 0;

    // Runs `task` on the UI thread later; callable from any thread.
    virtual void PostToUi(std::function<void()> task) = 0;
};

// Shows the wait cursor for the lifetime of the guard.
class WaitCursor {
public:
    explicit WaitCursor(DesktopServices& services) : services_(services) {
        services_.BeginWaitCursor();
    }
    ~WaitCursor() { services_.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    DesktopServices& services_;
};
