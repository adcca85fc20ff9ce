// The "Change Image Size" dialog: width and height in pixels and in percent of the size at
// opening, kept in proportion unless "&Allow different aspect ratio" is checked. The arithmetic
// is ImageSizeFields'; the dialog rewrites only the fields the user is not typing in, and OK is
// enabled while the size is acceptable.
#pragma once

#include "image_size_fields.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;

class ChangeSizeDialog : public QDialog {
    Q_OBJECT

public:
    ChangeSizeDialog(std::uint32_t width, std::uint32_t height, std::uint32_t mode,
                     QWidget* parent = nullptr);

    const ImageSizeFields& Fields() const { return fields_; }
    QLineEdit* WidthEdit() const { return width_; }
    QLineEdit* HeightEdit() const { return height_; }
    QLineEdit* WidthPercentEdit() const { return widthPercent_; }
    QLineEdit* HeightPercentEdit() const { return heightPercent_; }
    QCheckBox* AllowDifferentAspect() const { return allowDifferent_; }
    bool CanAccept() const;

private:
    // Shows the fields in every edit but `typing`, and enables OK.
    void Show(const QLineEdit* typing);
    void Edited(QLineEdit* edit);

    ImageSizeFields fields_;
    std::uint32_t mode_;
    QLineEdit* width_;
    QLineEdit* height_;
    QLineEdit* widthPercent_;
    QLineEdit* heightPercent_;
    QCheckBox* allowDifferent_;
    QDialogButtonBox* buttons_;
};
