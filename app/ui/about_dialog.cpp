#include "about_dialog.h"

#include "about_text.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>
#include <QSysInfo>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Pictor"));
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    auto* icon = new QLabel;
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(QApplication::windowIcon().isNull()
                        ? style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(side)
                        : QApplication::windowIcon().pixmap(side));
    icon->setAlignment(Qt::AlignTop);
    const auto lines = AboutLines(PICTOR_VERSION, QSysInfo::buildCpuArchitecture().toStdString());
    grid->addWidget(icon, 0, 0, static_cast<int>(lines.size()), 1);
    // A line "name:\t\tvalue" is a name and a value, the tabs only aligned them in one text.
    for (int row = 0; row < static_cast<int>(lines.size()); ++row) {
        const QString line = QString::fromStdString(lines[static_cast<std::size_t>(row)]);
        const auto tab = line.indexOf('\t');
        if (tab < 0) {
            auto* label = new QLabel(line);
            if (row == 0) {
                QFont bold = label->font();
                bold.setBold(true);
                label->setFont(bold);
            }
            grid->addWidget(label, row, 1, 1, 2);
            continue;
        }
        grid->addWidget(new QLabel(line.left(tab)), row, 1);
        grid->addWidget(new QLabel(line.mid(tab).trimmed()), row, 2);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(buttons, static_cast<int>(lines.size()), 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}
