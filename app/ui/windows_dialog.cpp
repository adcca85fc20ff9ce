#include "windows_dialog.h"

#include "tab_groups.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

WindowsDialog::WindowsDialog(TabGroups& groups, std::function<void(QMdiSubWindow*)> save,
                             QWidget* parent)
    : QDialog(parent), groups_(groups), save_(std::move(save)) {
    setWindowTitle(tr("Windows"));
    list_ = new QListWidget;
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    activate_ = new QPushButton(tr("&Activate"));
    saveButton_ = new QPushButton(tr("&Save"));
    close_ = new QPushButton(tr("&Close Window(s)"));
    auto* ok = new QPushButton(tr("OK"));
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {activate_, ok, saveButton_, close_})
        buttons->addWidget(button);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(480, 300);

    connect(list_, &QListWidget::itemSelectionChanged, this, &WindowsDialog::UpdateButtons);
    connect(list_, &QListWidget::itemDoubleClicked, activate_, &QPushButton::click);
    connect(activate_, &QPushButton::clicked, this, [this] {
        if (const auto selected = Selected(); selected.size() == 1) {
            groups_.Activate(selected.front());
            accept();
        }
    });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(saveButton_, &QPushButton::clicked, this, [this] {
        for (QMdiSubWindow* window : Selected())
            save_(window);
        Fill();
    });
    connect(close_, &QPushButton::clicked, this, [this] {
        // Closing may ask to save, and a window that waits for its work closes later.
        for (QMdiSubWindow* window : Selected())
            window->close();
        QTimer::singleShot(0, this, [this] { Fill(); });
    });
    Fill();
}

void WindowsDialog::Fill() {
    list_->clear();
    windows_.clear();
    const QMdiSubWindow* active = groups_.ActiveWindow();
    for (QMdiSubWindow* window : groups_.Windows()) {
        windows_.push_back(window);
        auto* item = new QListWidgetItem(window->windowTitle(), list_);
        if (window == active) item->setSelected(true);
    }
    UpdateButtons();
}

QList<QMdiSubWindow*> WindowsDialog::Selected() const {
    QList<QMdiSubWindow*> windows;
    for (QListWidgetItem* item : list_->selectedItems())
        if (QMdiSubWindow* window = windows_.value(list_->row(item))) windows.push_back(window);
    return windows;
}

void WindowsDialog::UpdateButtons() {
    const auto count = list_->selectedItems().size();
    activate_->setEnabled(count == 1);
    saveButton_->setEnabled(count > 0);
    close_->setEnabled(count > 0);
}
