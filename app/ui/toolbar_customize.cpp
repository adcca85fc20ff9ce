#include "toolbar_customize.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

constexpr const char* kHiddenKey = "Toolbar/Hidden";

} // namespace

ToolbarButtons::ToolbarButtons(QToolBar& bar)
    : QObject(&bar), bar_(bar), all_(bar.actions()),
      hidden_(QSettings().value(kHiddenKey).toStringList()) {
    Refill();
}

QString ToolbarButtons::LabelOf(const QAction* button) {
    // Without its mnemonic and the dots of a command that asks more.
    QString label = button->text().remove('&');
    if (label.endsWith("...")) label.chop(3);
    return label;
}

QList<QAction*> ToolbarButtons::Buttons() const {
    QList<QAction*> buttons;
    for (QAction* action : all_)
        if (!action->isSeparator()) buttons.push_back(action);
    return buttons;
}

bool ToolbarButtons::Shown(const QAction* button) const {
    return !hidden_.contains(LabelOf(button));
}

void ToolbarButtons::Hide(const QStringList& hidden) {
    hidden_ = hidden;
    QSettings().setValue(kHiddenKey, hidden_);
    Refill();
}

void ToolbarButtons::Refill() {
    bar_.clear();
    // A separator only between buttons that show.
    bool separate = false;
    for (QAction* action : all_) {
        if (action->isSeparator()) {
            separate = !bar_.actions().isEmpty();
            continue;
        }
        if (!Shown(action)) continue;
        if (separate) bar_.addSeparator();
        separate = false;
        bar_.addAction(action);
    }
}

ToolbarCustomizeDialog::ToolbarCustomizeDialog(ToolbarButtons& buttons, QWidget* parent)
    : QDialog(parent), buttons_(buttons) {
    setWindowTitle(tr("Customize"));
    list_ = new QListWidget;
    for (const QAction* action : buttons.Buttons()) {
        auto* item = new QListWidgetItem(ToolbarButtons::LabelOf(action), list_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(buttons.Shown(action) ? Qt::Checked : Qt::Unchecked);
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                     QDialogButtonBox::RestoreDefaults);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(box->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this, [this] {
        for (int row = 0; row < list_->count(); ++row)
            list_->item(row)->setCheckState(Qt::Checked);
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(tr("Buttons shown on the \"%1\" toolbar:").arg(buttons.Bar().windowTitle())));
    layout->addWidget(list_, 1);
    layout->addWidget(box);
    resize(320, 400);
}

void ToolbarCustomizeDialog::accept() {
    QStringList hidden;
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->checkState() != Qt::Checked) hidden << list_->item(row)->text();
    buttons_.Hide(hidden);
    QDialog::accept();
}
