// CFileSaveDlg, the Save As and Save Copy dialog: Qt's own file dialog with the types the image
// can be saved as and the options of the codec's and the anymap writers. What the options panel
// offers follows the type chosen.
#pragma once

#include "desktop_services.h"

#include <QFileDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QSpinBox;

class CFileSaveDlg : public QFileDialog {
    Q_OBJECT

public:
    CFileSaveDlg(QWidget* parent, const QString& title, const QString& proposed,
                 const std::vector<FileFilter>& filters, int selectedFilter,
                 const SaveOptions& options);

    const SaveOptions& Options() const { return options_; }
    // The name chosen, with the chosen type's extension when the user typed none.
    QString ChosenPath() const;

    QSpinBox* Quality() const { return quality_; }
    QCheckBox* CheckBox() const { return check_; }
    QSpinBox* Levels() const { return levels_; }
    QCheckBox* RegionSupport() const { return region_; }

private:
    QWidget* MakeOptionPanel();
    void ShowControls();
    const FileFilter* ChosenType() const;

    std::vector<FileFilter> filters_;
    SaveOptions options_;
    QLabel* qualityLabel_ = nullptr;
    QSpinBox* quality_ = nullptr;
    QCheckBox* check_ = nullptr;
    QLabel* levelsLabel_ = nullptr;
    QSpinBox* levels_ = nullptr;
    QCheckBox* region_ = nullptr;
};
