// The main window's shell commands: tab groups, full screen, the Windows dialog, the toolbar's
// Customize dialog, printing, the About box, the application looks, the recent files and the
// properties pane.
#include "about_dialog.h"
#include "application_looks.h"
#include "image_printing.h"
#include "image_view.h"
#include "main_window.h"
#include "properties_window.h"
#include "qt_services.h"
#include "recent_files_menu.h"
#include "tab_groups.h"
#include "toolbar_customize.h"
#include "windows_dialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QToolBar>

void CMainFrame::CreateShellMenus(QMenu* file, QAction* beforeExit, QMenu* view, QMenu* window) {
    file->insertAction(beforeExit, Action(Command::Print));
    file->insertAction(beforeExit, Action(Command::PrintPreview));
    file->insertAction(beforeExit, Action(Command::PrintSetup));
    file->insertSeparator(beforeExit);
    recent_ = new RecentFilesMenu(file, beforeExit);
    connect(recent_, &RecentFilesMenu::openRequested, this,
            [this](const std::string& path) { app_->OpenPaths({path}); });

    properties_ = new CPropertiesWnd(this);
    addDockWidget(Qt::RightDockWidgetArea, properties_);
    resizeDocks({properties_}, {300}, Qt::Horizontal);
    connect(properties_, &CPropertiesWnd::cropEdited, this, [this](const ImageRect& crop) {
        if (CMyView* active = ActiveView()) active->SetCropRect(crop);
    });
    connect(properties_, &CPropertiesWnd::cropRefused, this,
            [this](const QString& reason) { services_->ShowStatus(reason.toStdString()); });

    view->addSeparator();
    view->addAction(Action(Command::FullScreen));
    view->addAction(toolBar_->toggleViewAction());
    view->addAction(Action(Command::CustomizeToolbar));
    view->addAction(properties_->toggleViewAction());
    QMenu* looks = view->addMenu(tr("&Application Look"));
    QMenu* office = nullptr;
    auto* lookGroup = new QActionGroup(this);
    const int current = StoredLook();
    for (const ApplicationLook& look : ApplicationLooks()) {
        if (!look.label) continue;
        if (look.inOfficeMenu && !office) office = looks->addMenu(tr("Office 200&7"));
        QAction* action = (look.inOfficeMenu ? office : looks)->addAction(tr(look.label));
        action->setCheckable(true);
        action->setChecked(look.id == current);
        lookGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, id = look.id] {
            SetLook(id);
            StoreLook(id);
        });
    }

    window->addSeparator();
    for (const Command command :
         {Command::NewVerticalTabGroup, Command::NewHorizontalTabGroup, Command::MoveToNextTabGroup,
          Command::MoveToPreviousTabGroup, Command::TabbedDocuments})
        window->addAction(Action(command));
    window->addSeparator();
    window->addAction(Action(Command::WindowsDialog));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(Action(Command::About));

    SetLook(current);
}

QMenu* CMainFrame::createPopupMenu() {
    QMenu* menu = QMainWindow::createPopupMenu();
    if (menu) {
        menu->addSeparator();
        menu->addAction(Action(Command::CustomizeToolbar));
    }
    return menu;
}

QPrinter& CMainFrame::Printer() {
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

void CMainFrame::DocumentRenamed(const std::string& path) { recent_->Add(path); }

void CMainFrame::SetLook(int id) {
    const bool backgroundOfLook = app_->Background() == ViewBackgroundFor(QApplication::palette());
    ApplyLook(id);
    // A background the user chose stays.
    if (backgroundOfLook) {
        app_->SetBackground(ViewBackgroundFor(QApplication::palette()));
        RepaintViews();
    }
}

void CMainFrame::RepaintViews() {
    for (QMdiSubWindow* window : groups_->Windows())
        if (auto* frame = qobject_cast<CChildFrame*>(window); frame && frame->View())
            frame->View()->viewport()->update();
}

void CMainFrame::ToggleFullScreen() {
    if (isFullScreen()) {
        if (wasMaximized_)
            showMaximized();
        else
            showNormal();
        return;
    }
    wasMaximized_ = isMaximized();
    showFullScreen();
}

void CMainFrame::UpdateProperties(CMyView* view) {
    if (!view) {
        properties_->Show(nullptr, {}, std::nullopt, {});
        return;
    }
    const CMyDoc& document = view->Document();
    std::optional<ImageRect> crop;
    if (view->Cropping()) crop = view->CropRect();
    properties_->Show(&document, PropertyRows(document.Properties()), crop, document.LayoutSize());
}

bool CMainFrame::RunShellCommand(Command command, CMyView* view) {
    switch (command) {
    case Command::FullScreen:
        ToggleFullScreen();
        return true;
    case Command::NewVerticalTabGroup:
    case Command::NewHorizontalTabGroup:
        groups_->NewGroup(command == Command::NewVerticalTabGroup);
        return true;
    case Command::MoveToNextTabGroup:
    case Command::MoveToPreviousTabGroup:
        groups_->MoveActive(command == Command::MoveToNextTabGroup ? 1 : -1);
        return true;
    case Command::TabbedDocuments:
        groups_->SetTabbed(!groups_->Tabbed());
        return true;
    case Command::WindowsDialog: {
        WindowsDialog dialog(
            *groups_,
            [this](QMdiSubWindow* window) {
                if (auto* frame = qobject_cast<CChildFrame*>(window); frame && frame->View())
                    app_->Save(frame->View()->Document(), SaveKind::Save);
            },
            this);
        dialog.exec();
        return true;
    }
    case Command::CustomizeToolbar: {
        ToolbarCustomizeDialog dialog(*toolbarButtons_, this);
        dialog.exec();
        return true;
    }
    case Command::PrintSetup:
        RunPageSetup(Printer(), this);
        return true;
    case Command::Print:
    case Command::PrintPreview:
        if (!view) return true;
        if (command == Command::PrintPreview)
            ShowPrintPreview(Printer(), view->SourceImage(),
                             QString::fromStdString(view->Document().Title()), this);
        else if (!PrintWithDialog(Printer(), view->SourceImage(),
                                  QString::fromStdString(view->Document().Title()), this))
            services_->ShowMessage("The image could not be printed.", MessageIcon::Exclamation);
        return true;
    case Command::About: {
        AboutDialog dialog(this);
        dialog.exec();
        return true;
    }
    default:
        return false;
    }
}
