// The tab groups: a splitter of tabbed document areas, all split the same way. A window moves
// to a new group beside or below its own, or to the next or previous group; a group left
// without windows goes. The active window is the current window of the group used last. The
// groups show their windows as tabs, or as windows of their own that can be arranged freely.
#pragma once

#include "commands.h"

#include <QList>
#include <QSplitter>

class QMdiArea;
class QMdiSubWindow;

class TabGroups : public QSplitter {
    Q_OBJECT

public:
    explicit TabGroups(QWidget* parent = nullptr);

    int GroupCount() const { return count(); }
    QMdiArea* Group(int index) const;
    // The group used last (the one a new window joins).
    QMdiArea* ActiveGroup() const;
    QMdiSubWindow* ActiveWindow() const;
    // Every window, group after group.
    QList<QMdiSubWindow*> Windows() const;
    TabGroupFacts Facts() const;

    // Adds and shows the window in the group used last: filling it as a tab, or as a window of
    // its own at its size.
    void AddWindow(QMdiSubWindow* window);
    void Activate(QMdiSubWindow* window);
    // Moves the active window into a new group after its own: side by side (`vertical`) or one
    // below the other.
    void NewGroup(bool vertical);
    // Moves the active window to the group `step` places on (1 next, -1 previous).
    void MoveActive(int step);
    bool Tabbed() const { return tabbed_; }
    // Shows every group's windows as tabs, or as windows of their own (tiled).
    void SetTabbed(bool tabbed);

signals:
    // The active window changed (null when none is left).
    void windowActivated(QMdiSubWindow* window);

private:
    QMdiArea* AddGroup(int index);
    void MoveWindow(QMdiSubWindow* window, QMdiArea* target);
    int IndexOf(const QMdiArea* area) const;
    // Removes the groups without windows, keeping at least one.
    void DropEmptyGroups();

    // Shows a window as its group does: maximised under a tab, else at its size.
    void ShowInGroup(QMdiSubWindow* window);

    QMdiArea* active_ = nullptr;
    bool tabbed_ = true;
};
