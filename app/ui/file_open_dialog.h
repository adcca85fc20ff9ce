// CFileOpenDlg, the Open dialog: Qt's own file dialog (the same on every desktop) with several
// files selectable, a panel of the options the files open with, and a preview of the QVT file
// under the cursor, decoded off the UI thread.
#pragma once

#include "open_dialog_state.h"
#include "preview_loader.h"

#include <QFileDialog>

#include <array>
#include <memory>
#include <vector>

struct FileFilter;
class QCheckBox;
class QLabel;
class QSpinBox;

class CFileOpenDlg : public QFileDialog {
    Q_OBJECT

public:
    CFileOpenDlg(QWidget* parent, const std::vector<FileFilter>& filters,
                 const OpenOptions& options);
    ~CFileOpenDlg() override;

    // The options as the user left them.
    const OpenOptions& Options() const { return state_.Options(); }

    QCheckBox* Progressive() const { return progressive_; }
    QCheckBox* Overview() const { return overview_; }
    QCheckBox* Thumbnail() const { return thumbnail_; }
    QSpinBox* Level() const { return level_; }
    QCheckBox* Region() const { return region_; }
    QSpinBox* RegionEdit(int index) const { return rect_[static_cast<std::size_t>(index)]; }
    QLabel* Preview() const { return preview_; }

signals:
    // The preview frame shows what was read for the file under the cursor (or nothing).
    void previewShown();

private:
    QWidget* MakeOptionPanel();
    void FileUnderCursor(const QString& path);
    void PreviewRead(const PreviewLoader::Result& result);
    // Puts the state into the controls, without their change signals.
    void ShowState();
    void ReadRect();

    OpenDialogState state_;
    QString current_;
    QCheckBox* progressive_ = nullptr;
    QCheckBox* overview_ = nullptr;
    QCheckBox* thumbnail_ = nullptr;
    QLabel* levelLabel_ = nullptr;
    QSpinBox* level_ = nullptr;
    QCheckBox* region_ = nullptr;
    std::array<QSpinBox*, 4> rect_{}; // left, top, width, height
    std::array<QLabel*, 4> rectLabels_{};
    QLabel* preview_ = nullptr;
    std::unique_ptr<PreviewLoader> loader_;
};
