// CPropertiesWnd, the "Properties" dock: the active document's rows in a two-column tree
// ("Property", "Value") with the selected row's description below. While a crop is under way
// its group is shown too, and its four borders can be typed in: a value that passes the checks
// moves the crop tracker, any other is refused and the old value stays. Its toolbar lists the
// rows by group or by name; a crop value the user changed since the crop began is in bold.
#pragma once

#include "property_rows.h"

#include <QDockWidget>

#include <map>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

class CPropertiesWnd : public QDockWidget {
    Q_OBJECT

public:
    explicit CPropertiesWnd(QWidget* parent = nullptr);

    // Shows the rows of `document` (which only names it), with the crop group while `crop` is
    // given (its borders limited to `image`). Nothing is rebuilt when nothing changed, so an
    // edit under way is left alone. The crop's values are compared with those it began with.
    void Show(const void* document, std::vector<PropertyRow> rows, std::optional<ImageRect> crop,
              Size image);

    QTreeWidget* Tree() const { return tree_; }
    QAction* ByGroupAction() const { return byGroup_; }
    QAction* ByNameAction() const { return byName_; }
    // Whether the row is a crop value that differs from the one the crop began with.
    bool Modified(const PropertyRow& row) const;

signals:
    // The user typed a border that passed the checks: the crop tracker should take it.
    void cropEdited(const ImageRect& crop);
    // A typed border was refused (not a whole number, outside the image, past its opposite).
    void cropRefused(const QString& reason);

private:
    void Rebuild();
    void Edited(QTreeWidgetItem* item, int column);
    void ShowDescription(QTreeWidgetItem* item);
    void AddItem(const PropertyRow& row);

    QTreeWidget* tree_;
    QAction* byGroup_;
    QAction* byName_;
    QLabel* description_;
    std::vector<PropertyRow> rows_;
    std::optional<ImageRect> crop_;
    Size image_;
    const void* document_ = nullptr;
    // The crop's first values, by group, subgroup and name.
    std::map<std::string, std::string> firstValues_;
};
