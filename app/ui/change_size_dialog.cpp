#include "change_size_dialog.h"

#include "memory_budget.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString PercentText(float percent) { return QString::number(percent, 'g', 7); }

} // namespace

ChangeSizeDialog::ChangeSizeDialog(std::uint32_t width, std::uint32_t height, std::uint32_t mode,
                                   QWidget* parent)
    : QDialog(parent), fields_(width, height), mode_(mode), width_(new QLineEdit),
      height_(new QLineEdit), widthPercent_(new QLineEdit), heightPercent_(new QLineEdit),
      allowDifferent_(new QCheckBox(tr("&Allow different aspect ratio"))),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)) {
    setWindowTitle(tr("Change Image Size"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Pixels")), 0, 1);
    grid->addWidget(new QLabel(tr("Percent")), 0, 2);
    const auto addRow = [grid](int row, const QString& label, QLineEdit* pixels,
                               QLineEdit* percent) {
        auto* name = new QLabel(label);
        name->setBuddy(pixels);
        grid->addWidget(name, row, 0);
        grid->addWidget(pixels, row, 1);
        grid->addWidget(percent, row, 2);
    };
    addRow(1, tr("&Width:"), width_, widthPercent_);
    addRow(2, tr("&Height:"), height_, heightPercent_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(allowDifferent_);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // textEdited comes from the user only: the fields written below never edit each other back.
    for (QLineEdit* edit : {width_, height_, widthPercent_, heightPercent_})
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { Edited(edit); });
    connect(allowDifferent_, &QCheckBox::toggled, this, [this](bool allow) {
        fields_.AllowDifferentAspect(allow);
        Show(nullptr);
    });
    Show(nullptr);
}

bool ChangeSizeDialog::CanAccept() const { return fields_.Acceptable(mode_, MemAvailable()); }

void ChangeSizeDialog::Edited(QLineEdit* edit) {
    bool number = false;
    if (edit == width_ || edit == height_) {
        const qlonglong side = edit->text().trimmed().toLongLong(&number);
        if (number && edit == width_) fields_.EditWidth(side);
        if (number && edit == height_) fields_.EditHeight(side);
    } else {
        const double percent = edit->text().trimmed().toDouble(&number);
        if (number && edit == widthPercent_) fields_.EditWidthPercent(percent);
        if (number && edit == heightPercent_) fields_.EditHeightPercent(percent);
    }
    if (!number) fields_.EditUnreadable();
    Show(edit);
}

void ChangeSizeDialog::Show(const QLineEdit* typing) {
    const auto write = [typing](QLineEdit* edit, const QString& text) {
        if (edit != typing) edit->setText(text);
    };
    write(width_, QString::number(fields_.Width()));
    write(height_, QString::number(fields_.Height()));
    write(widthPercent_, PercentText(fields_.WidthPercent()));
    write(heightPercent_, PercentText(fields_.HeightPercent()));
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(CanAccept());
}
