#include "kldext_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QSpinBox* SideBox(int value, int maximum = INT32_MAX) {
    auto* box = new QSpinBox;
    box->setRange(0, maximum);
    box->setValue(value);
    return box;
}

std::uint32_t ValueOf(const QSpinBox* box) { return static_cast<std::uint32_t>(box->value()); }

} // namespace

CKLDExtDlg::CKLDExtDlg(DesktopServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setWindowTitle(tr("New KLDExt Image"));
    const KLDExtFields defaults;

    auto* data = new QGroupBox(tr("Data"));
    dataPath_ = new QLineEdit;
    auto* browse = new QPushButton(tr("Browse"));
    auto* dataRow = new QHBoxLayout(data);
    dataRow->addWidget(dataPath_);
    dataRow->addWidget(browse);

    ordering_ = new QComboBox;
    ordering_->addItems({tr("Rows"), tr("Hilbert")});
    mode_ = new QComboBox;
    for (const KLDExtModeEntry& entry : kKLDExtModes)
        mode_->addItem(tr(entry.text));
    mode_->setCurrentIndex(defaults.modeIndex);
    width_ = SideBox(static_cast<int>(defaults.width));
    height_ = SideBox(static_cast<int>(defaults.height));
    backgroundLabel_ = new QLabel(tr("&Background Color"));
    background_ = new QPushButton;
    background_->setFixedWidth(48);
    backgroundLabel_->setBuddy(background_);
    compressed_ = new QCheckBox(tr("Compressed &Index"));
    compressed_->setChecked(defaults.compressedIndex);
    quality_ = SideBox(defaults.qualityLoss, 31);
    previewWidth_ = SideBox(static_cast<int>(defaults.previewWidth));
    previewHeight_ = SideBox(static_cast<int>(defaults.previewHeight));
    tileWidth_ = SideBox(static_cast<int>(defaults.tileWidth), 65535);
    tileHeight_ = SideBox(static_cast<int>(defaults.tileHeight), 65535);

    auto* form = new QFormLayout;
    form->addRow(tr("&Ordering"), ordering_);
    form->addRow(tr("&Mode"), mode_);
    form->addRow(tr("&Width"), width_);
    form->addRow(tr("&Height"), height_);
    form->addRow(backgroundLabel_, background_);
    form->addRow(compressed_);
    form->addRow(tr("Quality Loss"), quality_);
    auto* preview = new QGroupBox(tr("Preview Size"));
    auto* previewForm = new QFormLayout(preview);
    previewForm->addRow(tr("&Width"), previewWidth_);
    previewForm->addRow(tr("&Height"), previewHeight_);
    auto* tiles = new QGroupBox(tr("Tile Size"));
    auto* tileForm = new QFormLayout(tiles);
    tileForm->addRow(tr("&Width"), tileWidth_);
    tileForm->addRow(tr("&Height"), tileHeight_);

    problem_ = new QLabel;
    problem_->setWordWrap(true);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(data);
    layout->addLayout(form);
    layout->addWidget(preview);
    layout->addWidget(tiles);
    layout->addWidget(problem_);
    layout->addWidget(buttons_);

    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(dataPath_, &QLineEdit::editingFinished, this, [this] { LoadDataImage(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Data"), dataPath_->text());
        if (path.isEmpty()) return;
        dataPath_->setText(path);
        LoadDataImage();
    });
    connect(width_, &QSpinBox::editingFinished, this, [this] { WidthLeft(); });
    connect(height_, &QSpinBox::editingFinished, this, [this] { HeightLeft(); });
    connect(previewWidth_, &QSpinBox::editingFinished, this, [this] { PreviewWidthLeft(); });
    connect(mode_, &QComboBox::currentIndexChanged, this, [this] { ShowBackground(); });
    connect(background_, &QPushButton::clicked, this, [this] {
        if (const auto color = services_.AskColor(color_)) color_ = *color;
        ShowBackground();
    });
    for (QSpinBox* box :
         {width_, height_, quality_, previewWidth_, previewHeight_, tileWidth_, tileHeight_})
        connect(box, &QSpinBox::valueChanged, this, [this] { Check(); });
    ShowBackground();
    Check();
}

QPushButton* CKLDExtDlg::OkButton() const { return buttons_->button(QDialogButtonBox::Ok); }

KLDExtFields CKLDExtDlg::Fields() const {
    KLDExtFields fields;
    fields.modeIndex = mode_->currentIndex();
    fields.width = ValueOf(width_);
    fields.height = ValueOf(height_);
    fields.compressedIndex = compressed_->isChecked();
    fields.orderingIndex = ordering_->currentIndex();
    fields.dataPath = dataPath_->text().toStdString();
    fields.background = {color_.red, color_.green, color_.blue};
    fields.previewWidth = ValueOf(previewWidth_);
    fields.previewHeight = ValueOf(previewHeight_);
    fields.tileWidth = ValueOf(tileWidth_);
    fields.tileHeight = ValueOf(tileHeight_);
    fields.qualityLoss = quality_->value();
    return fields;
}

void CKLDExtDlg::LoadDataImage() {
    if (dataPath_->text().isEmpty()) {
        Check();
        return;
    }
    // Only the header: the pixels are read when the container is made.
    const QSize size = QImageReader(dataPath_->text()).size();
    if (!size.isValid()) {
        problem_->setText(tr("The data image cannot be read."));
        OkButton()->setEnabled(false);
        return;
    }
    width_->setValue(size.width());
    height_->setValue(size.height());
    WidthLeft();
}

void CKLDExtDlg::WidthLeft() {
    previewWidth_->setValue(static_cast<int>(PreviewWidthFor(ValueOf(width_))));
    PreviewWidthLeft();
}

void CKLDExtDlg::HeightLeft() { PreviewWidthLeft(); }

void CKLDExtDlg::PreviewWidthLeft() {
    previewHeight_->setValue(static_cast<int>(
        PreviewHeightFor(ValueOf(width_), ValueOf(height_), ValueOf(previewWidth_))));
    Check();
}

void CKLDExtDlg::ShowBackground() {
    const bool chosen = mode_->currentIndex() >= kFirstModeWithBackground;
    background_->setEnabled(chosen);
    backgroundLabel_->setEnabled(chosen);
    background_->setStyleSheet(QStringLiteral("background-color: rgb(%1, %2, %3)")
                                   .arg(color_.red)
                                   .arg(color_.green)
                                   .arg(color_.blue));
    Check();
}

void CKLDExtDlg::Check() {
    const auto problem = CheckKLDExtFields(Fields());
    problem_->setText(problem ? QString::fromStdString(*problem) : QString());
    OkButton()->setEnabled(!problem);
}
