#include "file_save_dialog.h"

#include "file_filters.h"
#include "save_dialog_rules.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

CFileSaveDlg::CFileSaveDlg(QWidget* parent, const QString& title, const QString& proposed,
                           const std::vector<FileFilter>& filters, int selectedFilter,
                           const SaveOptions& options)
    : QFileDialog(parent, title, proposed, FiltersText(filters)), filters_(filters),
      options_(options) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setSizeGripEnabled(true);
    resize(960, 640);
    if (selectedFilter >= 0 && selectedFilter < static_cast<int>(filters_.size()))
        selectNameFilter(FilterText(filters_[static_cast<std::size_t>(selectedFilter)]));
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(MakeOptionPanel(), grid->rowCount(), 0, 1, grid->columnCount());
    connect(this, &QFileDialog::filterSelected, this, [this] { ShowControls(); });
    ShowControls();
}

QWidget* CFileSaveDlg::MakeOptionPanel() {
    auto* panel = new QGroupBox(tr("Options"));
    auto* grid = new QGridLayout(panel);
    qualityLabel_ = new QLabel(tr("Quality Loss"));
    quality_ = new QSpinBox;
    quality_->setRange(0, kQualityMaximum);
    qualityLabel_->setBuddy(quality_);
    check_ = new QCheckBox;
    levelsLabel_ = new QLabel(tr("Levels"));
    levels_ = new QSpinBox;
    levels_->setRange(kLevelsMinimum, kLevelsMaximum);
    levelsLabel_->setBuddy(levels_);
    region_ = new QCheckBox(tr("ROI Support"));
    grid->addWidget(qualityLabel_, 0, 0);
    grid->addWidget(quality_, 0, 1);
    grid->addWidget(check_, 0, 2);
    grid->addWidget(levelsLabel_, 0, 3);
    grid->addWidget(levels_, 0, 4);
    grid->addWidget(region_, 0, 5);
    grid->setColumnStretch(6, 1);

    connect(quality_, &QSpinBox::valueChanged, this, [this](int q) { options_.quality = q; });
    connect(levels_, &QSpinBox::valueChanged, this, [this](int n) { options_.levels = n; });
    connect(check_, &QCheckBox::toggled, this, [this](bool on) {
        options_.checkBox = on;
        ShowControls();
    });
    connect(region_, &QCheckBox::toggled, this, [this](bool on) { options_.regionSupport = on; });
    return panel;
}

const FileFilter* CFileSaveDlg::ChosenType() const {
    const QString chosen = selectedNameFilter();
    for (const FileFilter& filter : filters_)
        if (FilterText(filter) == chosen) return &filter;
    return nullptr;
}

void CFileSaveDlg::ShowControls() {
    const FileFilter* type = ChosenType();
    const SaveDialogControls controls =
        type ? SaveControlsFor(*type, options_) : SaveControlsFor(FileFilter{}, options_);
    const QSignalBlocker blockers[] = {QSignalBlocker(quality_), QSignalBlocker(check_),
                                       QSignalBlocker(levels_), QSignalBlocker(region_)};
    check_->setText(tr(controls.checkLabel.c_str()));
    quality_->setValue(options_.quality);
    check_->setChecked(options_.checkBox);
    levels_->setValue(options_.levels);
    // A count the spin cannot show (0 from a file stored without levels) becomes the one shown.
    options_.levels = levels_->value();
    region_->setChecked(options_.regionSupport);
    qualityLabel_->setEnabled(controls.quality);
    quality_->setEnabled(controls.quality);
    check_->setEnabled(controls.check);
    levelsLabel_->setEnabled(controls.levels);
    levels_->setEnabled(controls.levels);
    region_->setEnabled(controls.region);
}

QString CFileSaveDlg::ChosenPath() const {
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return {};
    QString name = files.front();
    const FileFilter* type = ChosenType();
    if (QFileInfo(name).suffix().isEmpty() && type && !type->patterns.empty())
        name += QString::fromStdString(type->patterns.front().substr(1));
    return name;
}
