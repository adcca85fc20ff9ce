#include "tab_groups.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <algorithm>

TabGroups::TabGroups(QWidget* parent) : QSplitter(parent) {
    setChildrenCollapsible(false);
    active_ = AddGroup(0);
    // Each group keeps its own active window, so a click into another group's window tells
    // nothing but the focus moving there.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (int i = 0; now && i < count(); ++i)
            if (QMdiArea* area = Group(i); area != active_ && area->isAncestorOf(now)) {
                active_ = area;
                emit windowActivated(area->currentSubWindow());
                return;
            }
    });
}

QMdiArea* TabGroups::AddGroup(int index) {
    auto* area = new QMdiArea;
    area->setViewMode(tabbed_ ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
    area->setTabsClosable(true);
    area->setTabsMovable(true);
    area->setDocumentMode(true);
    insertWidget(index, area);
    connect(area, &QMdiArea::subWindowActivated, this, [this, area](QMdiSubWindow* window) {
        // A group losing the focus reports no window: the active one stays where it was.
        if (!window) {
            if (area == active_ && area->subWindowList().isEmpty()) emit windowActivated(nullptr);
            return;
        }
        active_ = area;
        emit windowActivated(window);
    });
    return area;
}

QMdiArea* TabGroups::Group(int index) const { return qobject_cast<QMdiArea*>(widget(index)); }

QMdiArea* TabGroups::ActiveGroup() const { return active_; }

QMdiSubWindow* TabGroups::ActiveWindow() const { return active_->currentSubWindow(); }

int TabGroups::IndexOf(const QMdiArea* area) const {
    for (int i = 0; i < count(); ++i)
        if (Group(i) == area) return i;
    return -1;
}

QList<QMdiSubWindow*> TabGroups::Windows() const {
    QList<QMdiSubWindow*> windows;
    for (int i = 0; i < count(); ++i)
        windows += Group(i)->subWindowList();
    return windows;
}

TabGroupFacts TabGroups::Facts() const {
    return {count(), IndexOf(active_), static_cast<int>(active_->subWindowList().size()),
            orientation() == Qt::Horizontal, tabbed_};
}

void TabGroups::AddWindow(QMdiSubWindow* window) {
    active_->addSubWindow(window);
    // The group may be left empty once the window closes.
    connect(window, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, [this] { DropEmptyGroups(); }); });
    ShowInGroup(window);
}

void TabGroups::ShowInGroup(QMdiSubWindow* window) {
    if (tabbed_) {
        window->showMaximized();
        return;
    }
    // Room for the picture, with the group's other windows still in reach.
    const QSize room = window->mdiArea()->viewport()->size();
    window->resize(std::max(room.width() * 3 / 4, 320), std::max(room.height() * 3 / 4, 240));
    window->show();
}

void TabGroups::SetTabbed(bool tabbed) {
    if (tabbed == tabbed_) return;
    tabbed_ = tabbed;
    QMdiSubWindow* active = ActiveWindow();
    for (int i = 0; i < count(); ++i) {
        QMdiArea* area = Group(i);
        area->setViewMode(tabbed ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
        for (QMdiSubWindow* window : area->subWindowList())
            if (tabbed)
                window->showMaximized();
            else
                window->showNormal();
        if (!tabbed) area->tileSubWindows();
    }
    Activate(active);
}

void TabGroups::Activate(QMdiSubWindow* window) {
    if (auto* area = window ? window->mdiArea() : nullptr) {
        active_ = area;
        area->setActiveSubWindow(window);
        emit windowActivated(window);
    }
}

void TabGroups::NewGroup(bool vertical) {
    QMdiSubWindow* window = ActiveWindow();
    if (!window) return;
    if (count() == 1) setOrientation(vertical ? Qt::Horizontal : Qt::Vertical);
    QMdiArea* target = AddGroup(IndexOf(active_) + 1);
    // Both groups share the room equally.
    QList<int> sizes(count(), 1);
    setSizes(sizes);
    MoveWindow(window, target);
}

void TabGroups::MoveActive(int step) {
    const int index = IndexOf(active_) + step;
    if (QMdiSubWindow* window = ActiveWindow(); window && index >= 0 && index < count())
        MoveWindow(window, Group(index));
}

void TabGroups::MoveWindow(QMdiSubWindow* window, QMdiArea* target) {
    QMdiArea* source = window->mdiArea();
    source->removeSubWindow(window);
    target->addSubWindow(window);
    ShowInGroup(window);
    // The windows left behind lose their maximised state with the one taken away: the tabs
    // show each window whole again.
    if (tabbed_)
        for (QMdiSubWindow* left : source->subWindowList())
            left->showMaximized();
    DropEmptyGroups();
    Activate(window);
    window->widget()->setFocus();
}

void TabGroups::DropEmptyGroups() {
    bool activeDropped = false;
    for (int i = count() - 1; i >= 0 && count() > 1; --i) {
        QMdiArea* area = Group(i);
        if (!area->subWindowList().isEmpty()) continue;
        if (area == active_) {
            active_ = Group(i > 0 ? i - 1 : 1);
            activeDropped = true;
        }
        delete area;
    }
    if (count() == 1) setOrientation(Qt::Horizontal);
    if (activeDropped) emit windowActivated(ActiveWindow());
}
