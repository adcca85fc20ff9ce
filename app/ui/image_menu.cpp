#include "image_menu.h"

#include "change_size_dialog.h"
#include "color_table_window.h"
#include "image_commands.h"
#include "image_edits.h"
#include "image_mime_data.h"
#include "image_view.h"
#include "mode_commands.h"

#include <QApplication>
#include <QClipboard>
#include <QTimer>

ImageMenu::ImageMenu(QWidget* window, CPictorApp& app)
    : QObject(window), window_(window), app_(app) {
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { RefreshClipboard(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive) RefreshClipboard();
            });
    RefreshClipboard();
}

ImageMenu::~ImageMenu() = default;

void ImageMenu::Run(Command command, CMyView* view) {
    if (command == Command::Import) {
        Import();
        return;
    }
    if (!view) return;
    CMyDoc& document = view->Document();
    if (const ModeCommand* mode = FindModeCommand(command)) {
        ChangeMode(app_, document, mode->target);
        return;
    }
    switch (command) {
    case Command::ChangeSize:
        AskSize(document);
        break;
    case Command::IncreaseTransparency:
        StepTransparency(app_, document, -kTransparencyStep);
        break;
    case Command::DecreaseTransparency:
        StepTransparency(app_, document, kTransparencyStep);
        break;
    case Command::ColorTable:
        ToggleColorTable(document);
        break;
    case Command::ComputePSNR:
        pairing_.Arm(document, view);
        app_.Services().ShowStatus("Activate the second image to compute the PSNR.");
        break;
    case Command::Copy:
        Copy(*view);
        break;
    default:
        break;
    }
}

void ImageMenu::AddFacts(CommandFacts& facts, const CMyView* view) const {
    facts.clipboardOffersImage = clipboardOffersImage_;
    facts.comparisonArmed = pairing_.Armed();
    if (view && facts.document) {
        const ColorTableWindow* window = ColorTableOf(view->Document());
        facts.document->colorTableShown = window && window->isVisible();
    }
}

void ImageMenu::ViewActivated(CMyView* view) {
    const bool armed = pairing_.Armed();
    if (pairing_.Activated(view ? &view->Document() : nullptr, view))
        // Compared once the focus change is over, not in the middle of it.
        QTimer::singleShot(0, this, [this] { CompareNow(); });
    if (armed && !pairing_.Armed()) app_.Services().ShowStatus("Ready");
    emit stateChanged();
}

void ImageMenu::CompareNow() {
    std::optional<PSNRPairing::Outcome> outcome;
    {
        WaitCursor wait(app_.Services());
        outcome = pairing_.CompareNow();
    }
    if (outcome) app_.Services().ShowMessage(outcome->text, outcome->icon);
}

void ImageMenu::DocumentClosing(CMyDoc& document) {
    pairing_.Forget(document);
    colorTables_.erase(&document);
}

ColorTableWindow* ImageMenu::ColorTableOf(const CMyDoc& document) const {
    const auto found = colorTables_.find(&document);
    return found == colorTables_.end() ? nullptr : found->second.get();
}

void ImageMenu::ToggleColorTable(CMyDoc& document) {
    auto& window = colorTables_[&document];
    if (!window) {
        window = std::make_unique<ColorTableWindow>(window_);
        connect(window.get(), &ColorTableWindow::visibilityChanged, this, &ImageMenu::stateChanged);
    } else if (window->isVisible()) {
        window->hide();
        return;
    }
    const CDisplayImage& display = *document.Image().display;
    window->SetTable(display.ColorTable(), display.ColorCount());
    window->show();
}

void ImageMenu::FollowDocuments() {
    for (auto& [document, window] : colorTables_) {
        if (!window->isVisible()) continue;
        const CDisplayImage* display = document->Image().display.get();
        if (!display || document->Mode() != ModeIndexed)
            window->hide();
        else
            window->SetTable(display->ColorTable(), display->ColorCount());
    }
}

void ImageMenu::AskSize(CMyDoc& document) {
    ChangeSizeDialog dialog(document.Width(), document.Height(), document.Mode(), window_);
    if (dialog.exec() != QDialog::Accepted || !dialog.CanAccept()) return;
    const auto width = static_cast<std::uint32_t>(dialog.Fields().Width());
    const auto height = static_cast<std::uint32_t>(dialog.Fields().Height());
    if (width != document.Width() || height != document.Height())
        ChangeSize(app_, document, width, height);
}

void ImageMenu::Copy(CMyView& view) {
    QGuiApplication::clipboard()->setMimeData(new ImageMimeData(view.Document().SharedImage()));
}

void ImageMenu::Import() {
    if (auto offered = ReadOfferedImage(QGuiApplication::clipboard()->mimeData()))
        app_.OpenUntitled(offered->kind, std::move(offered->make));
}

void ImageMenu::RefreshClipboard() {
    const bool offers = OffersImage(QGuiApplication::clipboard()->mimeData());
    if (offers == clipboardOffersImage_) return;
    clipboardOffersImage_ = offers;
    emit stateChanged();
}
