// Customizing the standard toolbar: which of its buttons show, chosen in a dialog and kept in
// the settings ("Toolbar/Hidden", the hidden buttons' labels).
#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QAction;
class QListWidget;
class QToolBar;

// The buttons a toolbar can show, in their order. The actions are shared with the menus, so a
// hidden button is taken off the bar rather than made invisible.
class ToolbarButtons : public QObject {
    Q_OBJECT

public:
    // Takes the bar's actions as its full set and leaves off those stored as hidden.
    explicit ToolbarButtons(QToolBar& bar);

    QToolBar& Bar() const { return bar_; }
    // Every button but the separators, in the bar's order.
    QList<QAction*> Buttons() const;
    bool Shown(const QAction* button) const;
    // Shows the buttons but those labelled in `hidden`, and stores the choice.
    void Hide(const QStringList& hidden);

    // A button's label as stored and listed.
    static QString LabelOf(const QAction* button);

private:
    void Refill();

    QToolBar& bar_;
    QList<QAction*> all_;
    QStringList hidden_;
};

class ToolbarCustomizeDialog : public QDialog {
    Q_OBJECT

public:
    explicit ToolbarCustomizeDialog(ToolbarButtons& buttons, QWidget* parent = nullptr);

    // One checkable row per button, in the bar's order.
    QListWidget* List() const { return list_; }

    // Shows the checked buttons only.
    void accept() override;

private:
    ToolbarButtons& buttons_;
    QListWidget* list_;
};
