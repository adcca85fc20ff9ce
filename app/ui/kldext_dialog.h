// CKLDExtDlg, the "New KLDExt Image" dialog: the container's size, mode, tiles, ordering,
// index compression, quality loss, background colour and preview size, optionally filled from a
// data image whose size is read from its header (its pixels are read only when the container is
// made). The rules are KLDExtFields'; OK is enabled while the fields make a container.
#pragma once

#include "desktop_services.h"
#include "kldext_rules.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CKLDExtDlg : public QDialog {
    Q_OBJECT

public:
    CKLDExtDlg(DesktopServices& services, QWidget* parent = nullptr);

    // The fields as the controls show them.
    KLDExtFields Fields() const;
    QLineEdit* DataPath() const { return dataPath_; }
    QSpinBox* ImageWidth() const { return width_; }
    QSpinBox* PreviewWidth() const { return previewWidth_; }
    QSpinBox* PreviewHeight() const { return previewHeight_; }
    QPushButton* OkButton() const;

private:
    // The data image's size, from its header; the preview follows.
    void LoadDataImage();
    void WidthLeft();
    void HeightLeft();
    void PreviewWidthLeft();
    void ShowBackground();
    void Check();

    DesktopServices& services_;
    QLineEdit* dataPath_;
    QComboBox* ordering_;
    QComboBox* mode_;
    QSpinBox* width_;
    QSpinBox* height_;
    QPushButton* background_;
    QLabel* backgroundLabel_;
    QCheckBox* compressed_;
    QSpinBox* quality_;
    QSpinBox* previewWidth_;
    QSpinBox* previewHeight_;
    QSpinBox* tileWidth_;
    QSpinBox* tileHeight_;
    QLabel* problem_;
    QDialogButtonBox* buttons_;
    Rgb color_{0xFF, 0xFF, 0xFF};
};
