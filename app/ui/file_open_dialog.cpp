#include "file_open_dialog.h"

#include "file_filters.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

#include <limits>

namespace {

const QSize kPreviewSize(192, 192);
constexpr int kLargestEdit = std::numeric_limits<int>::max();

int ToSpin(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, kLargestEdit));
}

} // namespace

CFileOpenDlg::CFileOpenDlg(QWidget* parent, const std::vector<FileFilter>& filters,
                           const OpenOptions& options)
    : QFileDialog(parent, tr("Open"), QString(), FiltersText(filters)), state_(options) {
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    setSizeGripEnabled(true);
    resize(960, 640);

    auto* grid = qobject_cast<QGridLayout*>(layout());
    preview_ = new QLabel;
    preview_->setObjectName("preview");
    preview_->setFixedSize(kPreviewSize);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    if (grid) {
        const int rows = grid->rowCount();
        const int columns = grid->columnCount();
        grid->addWidget(preview_, 0, columns, rows, 1, Qt::AlignTop);
        grid->addWidget(MakeOptionPanel(), rows, 0, 1, columns + 1);
    }

    loader_ = std::make_unique<PreviewLoader>(kPreviewSize, [this](PreviewLoader::Result result) {
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { PreviewRead(result); },
            Qt::QueuedConnection);
    });
    connect(this, &QFileDialog::currentChanged, this, &CFileOpenDlg::FileUnderCursor);
    // A name typed into the file-name field selects its file in the list without making it the
    // current one: the preview and the options follow the selection as well.
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>())
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            const QStringList files = selectedFiles();
            if (files.size() == 1) FileUnderCursor(files.front());
        });
    ShowState();
}

// The loader's thread ends first: its results are delivered to this dialog.
CFileOpenDlg::~CFileOpenDlg() { loader_.reset(); }

QWidget* CFileOpenDlg::MakeOptionPanel() {
    auto* panel = new QGroupBox(tr("Options"));
    auto* grid = new QGridLayout(panel);
    progressive_ = new QCheckBox(tr("&Progressive Loading"));
    overview_ = new QCheckBox(tr("Overview"));
    thumbnail_ = new QCheckBox(tr("&Thumbnail"));
    levelLabel_ = new QLabel(tr("Le&vel"));
    level_ = new QSpinBox;
    levelLabel_->setBuddy(level_);
    region_ = new QCheckBox(tr("Region of Interest (ROI)"));
    const char* names[] = {"Left", "Top", "Width", "&Height"};
    for (std::size_t i = 0; i < rect_.size(); ++i) {
        rect_[i] = new QSpinBox;
        rect_[i]->setRange(0, kLargestEdit);
        rectLabels_[i] = new QLabel(tr(names[i]));
        rectLabels_[i]->setBuddy(rect_[i]);
    }
    grid->addWidget(progressive_, 0, 0, 1, 2);
    grid->addWidget(thumbnail_, 1, 0, 1, 2);
    grid->addWidget(overview_, 2, 0, 1, 2);
    grid->addWidget(levelLabel_, 3, 0);
    grid->addWidget(level_, 3, 1);
    grid->addWidget(region_, 0, 2, 1, 4);
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(rectLabels_[static_cast<std::size_t>(i)], 1 + i / 2, 2 + 2 * (i % 2));
        grid->addWidget(rect_[static_cast<std::size_t>(i)], 1 + i / 2, 3 + 2 * (i % 2));
    }
    grid->setColumnStretch(6, 1);

    connect(progressive_, &QCheckBox::toggled, this,
            [this](bool on) { state_.Options().progressive = on; });
    connect(overview_, &QCheckBox::toggled, this,
            [this](bool on) { state_.Options().overview = on; });
    connect(thumbnail_, &QCheckBox::toggled, this, [this](bool on) {
        state_.SetThumbnail(on);
        ShowState();
    });
    connect(level_, &QSpinBox::valueChanged, this,
            [this](int level) { state_.Options().level = level; });
    connect(region_, &QCheckBox::toggled, this,
            [this](bool on) { state_.Options().regionOfInterest = on; });
    for (QSpinBox* edit : rect_)
        connect(edit, &QSpinBox::valueChanged, this, [this] { ReadRect(); });
    return panel;
}

void CFileOpenDlg::ReadRect() {
    SetDialogRect(state_.Options(), {static_cast<std::uint32_t>(rect_[0]->value()),
                                     static_cast<std::uint32_t>(rect_[1]->value()),
                                     static_cast<std::uint32_t>(rect_[2]->value()),
                                     static_cast<std::uint32_t>(rect_[3]->value())});
}

void CFileOpenDlg::FileUnderCursor(const QString& path) {
    if (path == current_) return;
    current_ = path;
    const SelectedFile file = SelectedFileOf(path.toStdString());
    state_.SelectFile(file);
    preview_->clear();
    if (file == SelectedFile::QVT || file == SelectedFile::Container) loader_->Request(path);
    ShowState();
}

void CFileOpenDlg::PreviewRead(const PreviewLoader::Result& result) {
    if (result.path != current_) return;
    if (result.headRead) state_.HeadRead(result.levels, result.regionSupport);
    if (result.picture.isNull())
        preview_->clear();
    else
        preview_->setPixmap(QPixmap::fromImage(result.picture));
    ShowState();
    emit previewShown();
}

void CFileOpenDlg::ShowState() {
    const OpenOptions& options = state_.Options();
    const OpenDialogControls controls = state_.Controls();
    const auto show = [](QCheckBox* box, bool checked, bool enabled) {
        const QSignalBlocker blocker(box);
        box->setChecked(checked);
        box->setEnabled(enabled);
    };
    show(progressive_, options.progressive, controls.progressive);
    show(overview_, options.overview, controls.overview);
    show(thumbnail_, options.thumbnail, controls.thumbnail);
    show(region_, options.regionOfInterest, controls.region);
    {
        // The spin shows the level within this file's range; the option keeps what the user
        // chose, which every file opened limits to its own range.
        const QSignalBlocker blocker(level_);
        level_->setRange(0, state_.LevelMaximum());
        level_->setValue(options.level);
    }
    level_->setEnabled(controls.level);
    levelLabel_->setEnabled(controls.level);
    const DialogRect rect = DialogRectOf(options);
    const std::uint32_t values[] = {rect.left, rect.top, rect.width, rect.height};
    for (std::size_t i = 0; i < rect_.size(); ++i) {
        const QSignalBlocker blocker(rect_[i]);
        rect_[i]->setValue(ToSpin(values[i]));
        rect_[i]->setEnabled(controls.regionEdits);
        rectLabels_[i]->setEnabled(controls.regionEdits);
    }
}
