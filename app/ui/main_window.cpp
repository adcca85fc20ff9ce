#include "main_window.h"

#include "image_drops.h"
#include "image_menu.h"
#include "image_view.h"
#include "kldext_commands.h"
#include "level_commands.h"
#include "properties_window.h"
#include "qt_platform_images.h"
#include "qt_services.h"
#include "qvt_view.h"
#include "recent_files_menu.h"
#include "screen_colors.h"
#include "tab_groups.h"
#include "toolbar_customize.h"
#include "x11_screen_profile.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QPrinter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

// Shortcuts are a platform's standard key or a plain combination; standard keys are looked up
// only once the application exists.
struct ActionEntry {
    Command command;
    const char* text;
    QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
    QKeyCombination keys = {};
    bool checkable = false;
};

const ActionEntry kActions[] = {
    {Command::Open, "&Open...", QKeySequence::Open},
    {Command::Close, "&Close", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_W},
    {Command::Save, "&Save", QKeySequence::Save},
    {Command::SaveAs, "Save &As...", QKeySequence::UnknownKey, Qt::CTRL | Qt::SHIFT | Qt::Key_S},
    {Command::SaveCopy, "Save Cop&y..."},
    {Command::Exit, "E&xit", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_Q},
    {Command::ZoomIn, "Zoom &In", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_PageUp},
    {Command::ZoomOut, "Zoom &Out", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_PageDown},
    {Command::ZoomBox, "Zoom"},
    {Command::Crop, "&Crop", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_R, true},
    {Command::GrayMatte, "&Gray Matte", QKeySequence::UnknownKey, {}, true},
    {Command::ChangeBackground, "Change &Background..."},
    {Command::ColorManagedDisplay, "&Colour-managed display", QKeySequence::UnknownKey, {}, true},
    {Command::Channel1, "Channel 1", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_1, true},
    {Command::Channel2, "Channel 2", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_2, true},
    {Command::Channel3, "Channel 3", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_3, true},
    {Command::Channel4, "Channel 4", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_4, true},
    {Command::Channel5, "Channel 5", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_5, true},
    {Command::Channel6, "Channel 6", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_6, true},
    {Command::Channel7, "Channel 7", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_7, true},
    {Command::Channel8, "Channel 8", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_8, true},
    {Command::ChannelAll, "&All", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_0, true},
    {Command::NextWindow, "&Next Window", QKeySequence::NextChild},
    {Command::PreviousWindow, "&Previous Window", QKeySequence::PreviousChild},
    {Command::ModeBitmap1, "&Bitmap 1"},
    {Command::ModeGrayscale8, "&Grayscale 8"},
    {Command::ModeGrayscale16, "Grayscale &16"},
    {Command::ModeGrayscale32, "Grayscale &32"},
    {Command::ModeIndexed4, "Inde&xed 4"},
    {Command::ModeIndexed8, "&Indexed 8"},
    {Command::ModeRGB12, "RGB 1&2"},
    {Command::ModeRGB16, "RGB 16 (&565)"},
    {Command::ModeRGB24, "&RGB 24"},
    {Command::ModeRGB48, "RGB &48"},
    {Command::ModeARGB32, "&ARGB 32"},
    {Command::ModeCMYK32, "&CMYK 32"},
    {Command::ModeCMYK64, "CMYK &64"},
    {Command::ModeLab24, "&L*a*b 24"},
    {Command::ModeLab48, "L*a*b 4&8"},
    {Command::ChangeSize, "Change &Size..."},
    {Command::IncreaseTransparency, "&Increase Transparency", QKeySequence::UnknownKey,
     Qt::ALT | Qt::Key_Up},
    {Command::DecreaseTransparency, "&Decrease Transparency", QKeySequence::UnknownKey,
     Qt::ALT | Qt::Key_Down},
    {Command::ColorTable, "Colo&r Table", QKeySequence::UnknownKey, {}, true},
    {Command::ComputePSNR, "Compute &PSNR"},
    {Command::Copy, "&Copy", QKeySequence::Copy},
    {Command::Import, "&Import", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_Y},
    {Command::NextLevel, "&Next Level", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_L},
    {Command::Level0, "Level 0", QKeySequence::UnknownKey, Qt::ALT | Qt::Key_0, true},
    {Command::Level1, "Level 1", QKeySequence::UnknownKey, Qt::ALT | Qt::Key_1, true},
    {Command::Level2, "Level 2", QKeySequence::UnknownKey, Qt::ALT | Qt::Key_2, true},
    {Command::Level3, "Level 3", QKeySequence::UnknownKey, Qt::ALT | Qt::Key_3, true},
    {Command::Level4, "Level 4", QKeySequence::UnknownKey, Qt::ALT | Qt::Key_4, true},
    {Command::Level5, "Level 5", QKeySequence::UnknownKey, Qt::ALT | Qt::Key_5, true},
    {Command::Level6, "Level 6", QKeySequence::UnknownKey, Qt::ALT | Qt::Key_6, true},
    // F11 everywhere: the platform's full-screen key is missing on plain X11 and differs by
    // desktop.
    {Command::FullScreen, "F&ull Screen", QKeySequence::UnknownKey, Qt::Key_F11, true},
    {Command::NewVerticalTabGroup, "New &Vertical Tab Group"},
    {Command::NewHorizontalTabGroup, "New &Horizontal Tab Group"},
    {Command::MoveToNextTabGroup, "Move to Ne&xt Tab Group"},
    {Command::MoveToPreviousTabGroup, "Move to P&revious Tab Group"},
    {Command::TabbedDocuments, "&Tabbed Documents", QKeySequence::UnknownKey, {}, true},
    {Command::WindowsDialog, "&Windows..."},
    {Command::CustomizeToolbar, "Customize..."},
    {Command::Print, "&Print...", QKeySequence::Print},
    {Command::PrintPreview, "Print Pre&view"},
    {Command::PrintSetup, "Print Set&up..."},
    {Command::About, "&About Pictor..."},
    {Command::NewKLDExt, "&New KLDExt...", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_N},
    {Command::ShowExportRegion, "Show &Export Region", QKeySequence::UnknownKey,
     Qt::CTRL | Qt::Key_E},
    {Command::ExportRegion, "Export Re&gion..."},
    {Command::Paste, "&Paste", QKeySequence::Paste},
    {Command::Repair, "&Repair"},
    {Command::ContainerBackground, "Change Bac&kground..."},
};

static_assert(std::size(kActions) == kCommandCount, "every command has an action");

} // namespace

CChildFrame::CChildFrame(CMyView* view, CPictorApp& app) : app_(app) {
    setWidget(view);
    setAttribute(Qt::WA_DeleteOnClose);
}

CMyView* CChildFrame::View() const { return qobject_cast<CMyView*>(widget()); }

void CChildFrame::closeEvent(QCloseEvent* event) {
    // Once the document is gone (its view removed by the main window) the frame just closes.
    if (CMyView* view = View(); view && !app_.RequestClose(view->Document())) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    groups_ = new TabGroups(this);
    setCentralWidget(groups_);

    message_ = new QLabel(tr("Ready"));
    progress_ = new QProgressBar;
    progress_->setFixedWidth(200);
    progress_->setTextVisible(false);
    progress_->hide();
    profileLabel_ = new QLabel;
    profileLabel_->hide();
    statusBar()->addWidget(message_, 1);
    statusBar()->addPermanentWidget(profileLabel_);
    statusBar()->addPermanentWidget(progress_);

    services_ = std::make_unique<QtServices>(this, message_, progress_);
    app_ = std::make_unique<CPictorApp>(*services_, QtPlatformImages());
    app_->SetObserver(this);
    imageMenu_ = new ImageMenu(this, *app_);
    connect(imageMenu_, &ImageMenu::stateChanged, this, [this] { UpdateActions(); });
    new ImageDrops(this, *app_);
    CreateScreenColors();

    CreateActions();
    CreateToolBar(); // before the menus, which list it
    CreateMenus();
    setWindowTitle(QApplication::applicationName());

    connect(groups_, &TabGroups::windowActivated, this, [this] {
        imageMenu_->ViewActivated(ActiveView());
        UpdateActions();
    });
    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateActions(); });
    qApp->installEventFilter(this);
    UpdateActions();
}

CMainFrame::~CMainFrame() {
    // QWidget's destructor closes the window, which moves the focus: nothing may reach this
    // frame's slots once its own destructor has run.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(groups_, nullptr, this, nullptr);
    qApp->removeEventFilter(this);
    // Views go before the documents they show.
    app_->SetObserver(nullptr);
    for (QMdiSubWindow* window : groups_->Windows())
        delete window;
}

QMdiArea* CMainFrame::Area() const { return groups_->ActiveGroup(); }

void CMainFrame::CreateActions() {
    for (const ActionEntry& entry : kActions) {
        auto* action = new QAction(tr(entry.text), this);
        if (entry.standard != QKeySequence::UnknownKey)
            action->setShortcut(QKeySequence(entry.standard));
        else if (entry.keys != QKeyCombination())
            action->setShortcut(QKeySequence(entry.keys));
        action->setCheckable(entry.checkable);
        const Command command = entry.command;
        connect(action, &QAction::triggered, this, [this, command] { Run(command); });
        actions_[static_cast<std::size_t>(command)] = action;
        addAction(action);
    }
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(Action(Command::NewKLDExt));
    for (const Command command : {Command::Open, Command::Close})
        file->addAction(Action(command));
    file->addSeparator();
    for (const Command command : {Command::Save, Command::SaveAs, Command::SaveCopy})
        file->addAction(Action(command));
    file->addSeparator();
    file->addAction(Action(Command::Exit));
    QAction* exit = Action(Command::Exit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(Action(Command::Copy));
    edit->addAction(Action(Command::Import));
    edit->addAction(Action(Command::Paste));
    edit->addAction(Action(Command::ShowExportRegion));
    edit->addAction(Action(Command::ExportRegion));

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(Action(Command::ZoomIn));
    view->addAction(Action(Command::ZoomOut));
    view->addSeparator();
    view->addAction(Action(Command::GrayMatte));
    view->addAction(Action(Command::ChangeBackground));
    view->addSeparator();
    view->addAction(Action(Command::ColorManagedDisplay));
    view->addSeparator();
    view->addAction(Action(Command::NextLevel));
    QMenu* levels = view->addMenu(tr("&Level"));
    // Radio items: the target level carries the mark (none for other documents).
    auto* levelGroup = new QActionGroup(this);
    levelGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (std::size_t i = 0; i < 7; ++i)
        levels->addAction(
            levelGroup->addAction(actions_[static_cast<std::size_t>(Command::Level0) + i]));

    QMenu* image = menuBar()->addMenu(tr("&Image"));
    QMenu* mode = image->addMenu(tr("&Mode"));
    for (auto i = static_cast<std::size_t>(Command::ModeBitmap1);
         i <= static_cast<std::size_t>(Command::ModeLab48); ++i)
        mode->addAction(actions_[i]);
    image->addAction(Action(Command::ChangeSize));
    image->addAction(Action(Command::Crop));
    image->addSeparator();
    image->addAction(Action(Command::IncreaseTransparency));
    image->addAction(Action(Command::DecreaseTransparency));
    image->addAction(Action(Command::ColorTable));
    QMenu* channels = image->addMenu(tr("C&hannels"));
    for (std::size_t i = 0; i < 8; ++i)
        channels->addAction(actions_[static_cast<std::size_t>(Command::Channel1) + i]);
    channels->addAction(Action(Command::ChannelAll));
    image->addSeparator();
    image->addAction(Action(Command::ComputePSNR));
    image->addSeparator();
    image->addAction(Action(Command::ContainerBackground));
    image->addAction(Action(Command::Repair));

    QMenu* window = menuBar()->addMenu(tr("&Window"));
    window->addAction(Action(Command::NextWindow));
    window->addAction(Action(Command::PreviousWindow));
    CreateShellMenus(file, exit, view, window);

    for (QMenu* menu : {file, edit, view, levels, image, mode, channels, window})
        connect(menu, &QMenu::aboutToShow, this, [this] {
            imageMenu_->RefreshClipboard();
            UpdateActions();
        });
}

void CMainFrame::CreateToolBar() {
    QToolBar* bar = toolBar_ = addToolBar(tr("Standard"));
    bar->setObjectName("Standard");
    bar->addAction(Action(Command::Open));
    bar->addAction(Action(Command::Save));
    bar->addSeparator();
    bar->addAction(Action(Command::Copy));
    bar->addAction(Action(Command::Import));
    bar->addSeparator();
    bar->addAction(Action(Command::ZoomOut));
    zoomBox_ = new QComboBox(bar);
    zoomBox_->setEditable(true);
    zoomBox_->setInsertPolicy(QComboBox::NoInsert);
    zoomBox_->setMinimumContentsLength(8);
    for (const double step : kZoomSteps)
        zoomBox_->addItem(QString::fromStdString(ZoomText(step)));
    zoomBox_->setCurrentText(QString::fromStdString(ZoomText(1)));
    bar->addWidget(zoomBox_)->setText(tr("Zoom"));
    bar->addAction(Action(Command::ZoomIn));
    bar->addSeparator();
    bar->addAction(Action(Command::Crop));
    bar->addAction(Action(Command::ChangeSize));
    bar->addAction(Action(Command::ComputePSNR));
    bar->addSeparator();
    bar->addAction(Action(Command::Print));
    toolbarButtons_ = new ToolbarButtons(*bar);
    connect(zoomBox_, &QComboBox::textActivated, this, [this] { ApplyZoomText(); });
}

void CMainFrame::ApplyZoomText() {
    CMyView* view = ActiveView();
    if (!view) return;
    if (const auto zoom = ParseZoomText(zoomBox_->currentText().toStdString()))
        view->SetZoom(*zoom);
    // Text that is not a zoom gives way to the zoom in force.
    zoomBox_->setCurrentText(QString::fromStdString(ZoomText(view->Zoom())));
}

void CMainFrame::CreateScreenColors() {
    screenColors_ = new ScreenColors(this);
    const auto take = [this](const std::vector<std::uint8_t>& bytes) {
        if (!screenColors_->SetScreenProfile(bytes))
            services_->ShowStatus("The screen's colour profile cannot be used: colours are shown "
                                  "as for an sRGB screen.");
    };
    take(ReadX11ScreenProfile());
    profileWatch_ = std::make_unique<X11ScreenProfileWatch>(take);
    connect(screenColors_, &ScreenColors::changed, this, [this] { UpdateActions(); });
}

void CMainFrame::ShowProfileOf(const CMyView* view) {
    const IccProfile* profile = view ? view->Document().ColorProfile().get() : nullptr;
    profileLabel_->setVisible(profile != nullptr);
    if (profile) profileLabel_->setText(ProfileStatusText(*profile, screenColors_->Managed()));
}

CMyView* CMainFrame::ActiveView() const {
    auto* frame = qobject_cast<CChildFrame*>(groups_->ActiveWindow());
    return frame ? frame->View() : nullptr;
}

CommandFacts CMainFrame::Facts() const {
    CommandFacts facts;
    facts.windowCount = static_cast<int>(groups_->Windows().size());
    facts.colorManaged = screenColors_->Managed();
    facts.fullScreen = isFullScreen();
    facts.tabGroups = groups_->Facts();
    if (CMyView* view = ActiveView()) {
        const CMyDoc& document = view->Document();
        facts.document = DocumentFacts{app_->IsBusy(document),
                                       document.HasImage(),
                                       document.Mode(),
                                       document.HasImage() ? document.Image().display->DisplayMode()
                                                           : ModeNotGiven,
                                       document.ChannelCount(),
                                       document.SelectedChannel(),
                                       document.CanCrop(),
                                       false,
                                       LevelFactsOf(document),
                                       false,
                                       false};
        facts.view = view->Facts();
    }
    AddContainerFacts(facts, ActiveView());
    imageMenu_->AddFacts(facts, ActiveView());
    return facts;
}

void CMainFrame::UpdateActions() {
    imageMenu_->FollowDocuments();
    const CommandStates states = EvaluateCommands(Facts());
    for (std::size_t i = 0; i < kCommandCount; ++i) {
        actions_[i]->setEnabled(states[i].enabled);
        if (actions_[i]->isCheckable()) actions_[i]->setChecked(states[i].checked);
    }
    zoomBox_->setEnabled(StateOf(states, Command::ZoomBox).enabled);
    CMyView* view = ActiveView();
    ShowProfileOf(view);
    if (view && !zoomBox_->hasFocus())
        zoomBox_->setCurrentText(QString::fromStdString(ZoomText(view->Zoom())));
    const QString name = view ? QString::fromStdString(view->Document().Title()) : QString();
    setWindowTitle(name.isEmpty() ? QApplication::applicationName()
                                  : name + " - " + QApplication::applicationName());
    UpdateProperties(view);
}

void CMainFrame::Run(Command command) {
    CMyView* view = ActiveView();
    CMyDoc* document = view ? &view->Document() : nullptr;
    if (RunContainerCommand(command, view, *app_, this)) {
        UpdateActions();
        return;
    }
    switch (command) {
    case Command::Open:
        app_->Open();
        break;
    case Command::Close:
        if (QMdiSubWindow* window = groups_->ActiveWindow()) window->close();
        break;
    case Command::Save:
    case Command::SaveAs:
    case Command::SaveCopy:
        if (document)
            app_->Save(*document, command == Command::Save     ? SaveKind::Save
                                  : command == Command::SaveAs ? SaveKind::SaveAs
                                                               : SaveKind::SaveCopy);
        break;
    case Command::Exit:
        close();
        break;
    case Command::ZoomIn:
        if (view) view->ZoomIn();
        break;
    case Command::ZoomOut:
        if (view) view->ZoomOut();
        break;
    case Command::ZoomBox:
        ApplyZoomText();
        break;
    case Command::Crop:
        if (view) view->ToggleCrop();
        break;
    case Command::GrayMatte:
        if (view) view->SetGrayMatte(!view->GrayMatte());
        break;
    case Command::ChangeBackground:
        if (const auto color = services_->AskColor(app_->Background())) {
            app_->SetBackground(*color);
            RepaintViews();
        }
        break;
    case Command::ColorManagedDisplay:
        screenColors_->SetManaged(!screenColors_->Managed());
        break;
    case Command::ChannelAll:
    case Command::Channel1:
    case Command::Channel2:
    case Command::Channel3:
    case Command::Channel4:
    case Command::Channel5:
    case Command::Channel6:
    case Command::Channel7:
    case Command::Channel8:
        if (document) {
            const int channel =
                command == Command::ChannelAll
                    ? -1
                    : static_cast<int>(command) - static_cast<int>(Command::Channel1);
            WaitCursor wait(*services_);
            if (document->SelectChannel(channel))
                document->UpdateAllViews(HintContent);
            else
                services_->ShowMessage(kImageCreationFailed, MessageIcon::Exclamation);
        }
        break;
    case Command::NextWindow:
        Area()->activateNextSubWindow();
        break;
    case Command::PreviousWindow:
        Area()->activatePreviousSubWindow();
        break;
    case Command::NextLevel:
    case Command::Level0:
    case Command::Level1:
    case Command::Level2:
    case Command::Level3:
    case Command::Level4:
    case Command::Level5:
    case Command::Level6:
        if (document) RunLevelCommand(*app_, *document, command);
        break;
    default:
        if (!RunShellCommand(command, view)) imageMenu_->Run(command, view);
        break;
    }
    UpdateActions();
}

void CMainFrame::DocumentOpened(CMyDoc& document) {
    CMyView* view = MakeContainerView(document, *app_);
    if (!view)
        view = document.Kind() == DocumentKind::QVT ? new CQVTView(document, *app_)
                                                    : new CMyView(document, *app_);
    view->SetScreenColors(screenColors_);
    // Every tab has the client of the one shown now.
    view->FitInto(ActiveView() ? ActiveView()->viewport()->size() : Area()->viewport()->size());
    auto* frame = new CChildFrame(view, *app_);
    groups_->AddWindow(frame);
    if (!document.Path().empty()) recent_->Add(document.Path());
    connect(view, &CMyView::stateChanged, this, [this] { UpdateActions(); });
    view->setFocus();
    // The first picture is on screen, laid out at its window's final size, before anything else
    // runs (reading on to finer levels).
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    view->viewport()->repaint();
    UpdateActions();
}

void CMainFrame::DocumentClosing(CMyDoc& document) {
    imageMenu_->DocumentClosing(document);
    // The views go now, while the document still exists; their frames close afterwards.
    for (QMdiSubWindow* window : groups_->Windows()) {
        auto* frame = qobject_cast<CChildFrame*>(window);
        CMyView* view = frame ? frame->View() : nullptr;
        if (!view || &view->Document() != &document) continue;
        frame->setWidget(nullptr);
        delete view;
        frame->close();
    }
}

void CMainFrame::StateChanged() {
    UpdateActions();
    // The last document waited for its save: the exit asked for goes on now.
    if (exitPending_ && app_->Documents().empty()) QTimer::singleShot(0, this, [this] { close(); });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    exitPending_ = true;
    std::vector<CMyDoc*> documents;
    for (const auto& document : app_->Documents())
        documents.push_back(document.get());
    for (CMyDoc* document : documents) {
        // A document that asked to save (or waits for its work) closes later, and the program
        // with it; a cancelled question ends the exit.
        if (!app_->RequestClose(*document) && !app_->IsBusy(*document)) {
            exitPending_ = false;
            event->ignore();
            return;
        }
    }
    // Files still being read are dropped: the application stops their jobs as it ends.
    if (!app_->Documents().empty()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Esc in a dialog (a message box shown while a job runs, say) belongs to the dialog.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        !QApplication::activeModalWidget()) {
        CMyView* view = ActiveView();
        // A crop under way takes Esc first; otherwise it stops the work the status bar shows.
        if (!(view && view->Cropping() && !app_->IsBusy(view->Document()))) {
            switch (app_->Jobs().PressEscape()) {
            case JobRunner::Escape::Stopping:
                services_->ShowStatus("Stopping...");
                return true;
            case JobRunner::Escape::RunsOn:
                return true;
            case JobRunner::Escape::NoJob:
                break;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
