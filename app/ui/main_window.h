// CMainFrame, the main window: the tabbed document area, menus, toolbar with the zoom box, the
// status bar with its progress bar, and the one place that applies the command table to the
// actions. It owns the application object and creates and closes the document windows the
// application asks for.
#pragma once

#include "commands.h"
#include "pictor_app.h"

#include <QMainWindow>
#include <QMdiSubWindow>

#include <array>
#include <memory>

class CMyView;
class CPropertiesWnd;
class ImageMenu;
class QComboBox;
class QLabel;
class QMdiArea;
class QPrinter;
class QProgressBar;
class QToolBar;
class QtServices;
class RecentFilesMenu;
class ScreenColors;
class TabGroups;
class ToolbarButtons;
class X11ScreenProfileWatch;

// A document window: closing it asks the application, which may refuse (changes to save) or
// defer (a job runs for the document).
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT

public:
    CChildFrame(CMyView* view, CPictorApp& app);
    CMyView* View() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CPictorApp& app_;
};

class CMainFrame : public QMainWindow, public ShellObserver {
    Q_OBJECT

public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    CPictorApp& App() { return *app_; }
    CMyView* ActiveView() const;
    QAction* Action(Command command) const { return actions_[static_cast<std::size_t>(command)]; }
    QComboBox* ZoomBox() const { return zoomBox_; }
    QToolBar* StandardBar() const { return toolBar_; }
    ToolbarButtons& StandardButtons() const { return *toolbarButtons_; }
    QLabel* StatusMessage() const { return message_; }
    // Shows the active document's colour profile; hidden when it has none.
    QLabel* ProfileIndicator() const { return profileLabel_; }
    ScreenColors& Colors() const { return *screenColors_; }
    QProgressBar* Progress() const { return progress_; }
    // The tab group used last.
    QMdiArea* Area() const;
    TabGroups& Groups() const { return *groups_; }
    CPropertiesWnd* Properties() const { return properties_; }
    RecentFilesMenu& Recent() const { return *recent_; }
    // Takes the look for the whole program (its palette, and the views' background when it was
    // the previous look's own).
    void SetLook(int id);
    ImageMenu& Images() const { return *imageMenu_; }

    // Applies the command table to every action; called whenever something it reads changed.
    void UpdateActions();

    void DocumentOpened(CMyDoc& document) override;
    void DocumentClosing(CMyDoc& document) override;
    void StateChanged() override;
    void DocumentRenamed(const std::string& path) override;

    // The toolbars' and panes' menu, with the toolbar's "Customize..." entry.
    QMenu* createPopupMenu() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void Run(Command command);
    // The shell's own commands (windows, printing, About); false for any other.
    bool RunShellCommand(Command command, CMyView* view);
    void CreateShellMenus(QMenu* file, QAction* beforeExit, QMenu* view, QMenu* window);
    QPrinter& Printer();
    void UpdateProperties(CMyView* view);
    void RepaintViews();
    void ToggleFullScreen();
    void ApplyZoomText();
    CommandFacts Facts() const;
    void CreateScreenColors();
    void ShowProfileOf(const CMyView* view);

    TabGroups* groups_ = nullptr;
    CPropertiesWnd* properties_ = nullptr;
    RecentFilesMenu* recent_ = nullptr;
    bool wasMaximized_ = false;
    QLabel* message_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QComboBox* zoomBox_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    ToolbarButtons* toolbarButtons_ = nullptr;
    // Made at the first print, and kept so that the choices of the print and page setup dialogs
    // hold for the next print.
    std::unique_ptr<QPrinter> printer_;
    QLabel* profileLabel_ = nullptr;
    ScreenColors* screenColors_ = nullptr;
    std::unique_ptr<X11ScreenProfileWatch> profileWatch_;
    std::unique_ptr<QtServices> services_;
    std::unique_ptr<CPictorApp> app_;
    ImageMenu* imageMenu_ = nullptr;
    std::array<QAction*, kCommandCount> actions_{};
    bool exitPending_ = false;
};
