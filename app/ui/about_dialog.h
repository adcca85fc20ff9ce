// The About box: the program's name and version, then the codecs' versions in two aligned
// columns.
#pragma once

#include <QDialog>

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
