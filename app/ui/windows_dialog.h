// The Windows dialog: every document window by title, to activate one, or to save or close the
// ones selected.
#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class QListWidget;
class QMdiSubWindow;
class QPushButton;
class TabGroups;

class WindowsDialog : public QDialog {
    Q_OBJECT

public:
    // `save` saves the document of a window.
    WindowsDialog(TabGroups& groups, std::function<void(QMdiSubWindow*)> save,
                  QWidget* parent = nullptr);

    QListWidget* List() const { return list_; }

private:
    void Fill();
    QList<QMdiSubWindow*> Selected() const;
    void UpdateButtons();

    TabGroups& groups_;
    std::function<void(QMdiSubWindow*)> save_;
    // The windows listed, row by row; a window closed meanwhile is null.
    QList<QPointer<QMdiSubWindow>> windows_;
    QListWidget* list_;
    QPushButton* activate_;
    QPushButton* saveButton_;
    QPushButton* close_;
};
