#include "properties_window.h"

#include <QActionGroup>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kDescriptionRole = Qt::UserRole;
constexpr int kEdgeRole = Qt::UserRole + 1;

QTreeWidgetItem* Child(QTreeWidget* tree, QTreeWidgetItem* parent, const std::string& text) {
    const QString name = QString::fromStdString(text);
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* item = parent ? parent->child(i) : tree->topLevelItem(i);
        if (item->text(0) == name && item->childCount() > 0) return item;
    }
    auto* item = parent ? new QTreeWidgetItem(parent, {name}) : new QTreeWidgetItem(tree, {name});
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    item->setFirstColumnSpanned(true);
    return item;
}

std::string KeyOf(const PropertyRow& row) {
    return row.group + '\n' + row.subgroup + '\n' + row.name;
}

constexpr const char* kByNameKey = "Properties/Alphabetical";

} // namespace

CPropertiesWnd::CPropertiesWnd(QWidget* parent) : QDockWidget(tr("Properties"), parent) {
    setObjectName("Properties");
    tree_ = new QTreeWidget;
    tree_->setColumnCount(2);
    tree_->setHeaderLabels({tr("Property"), tr("Value")});
    tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A long path keeps its file name in sight.
    tree_->setTextElideMode(Qt::ElideMiddle);
    description_ = new QLabel;
    description_->setWordWrap(true);
    description_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    description_->setMargin(4);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(tree_);
    splitter->addWidget(description_);
    splitter->setStretchFactor(0, 1);

    auto* bar = new QToolBar;
    bar->setIconSize({16, 16});
    auto* order = new QActionGroup(this);
    byGroup_ = order->addAction(tr("Categorized"));
    byGroup_->setToolTip(tr("List the properties by group"));
    byName_ = order->addAction(tr("Alphabetical"));
    byName_->setToolTip(tr("List the properties by name"));
    for (QAction* action : {byGroup_, byName_}) {
        action->setCheckable(true);
        bar->addAction(action);
    }
    (QSettings().value(kByNameKey).toBool() ? byName_ : byGroup_)->setChecked(true);
    connect(order, &QActionGroup::triggered, this, [this] {
        QSettings().setValue(kByNameKey, byName_->isChecked());
        Rebuild();
    });

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(splitter, 1);
    setWidget(content);

    connect(tree_, &QTreeWidget::itemChanged, this, &CPropertiesWnd::Edited);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &CPropertiesWnd::ShowDescription);
    // Only the value of a crop border is edited, whichever column was clicked.
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item->data(1, kEdgeRole).isValid()) tree_->editItem(item, 1);
    });
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item->data(1, kEdgeRole).isValid()) tree_->editItem(item, 1);
    });
}

void CPropertiesWnd::Show(const void* document, std::vector<PropertyRow> rows,
                          std::optional<ImageRect> crop, Size image) {
    if (document == document_ && rows == rows_ && crop == crop_ && image == image_) return;
    // A new crop, or another document's, starts from its own first values.
    if (document != document_ || !crop) firstValues_.clear();
    document_ = document;
    rows_ = std::move(rows);
    crop_ = crop;
    image_ = image;
    Rebuild();
}

void CPropertiesWnd::Rebuild() {
    const QSignalBlocker quiet(tree_);
    const QString current = tree_->currentItem() ? tree_->currentItem()->text(0) : QString();
    tree_->clear();
    std::vector<PropertyRow> rows = rows_;
    if (crop_) {
        const std::vector<PropertyRow> cropRows = CropRows(*crop_);
        rows.insert(rows.end(), cropRows.begin(), cropRows.end());
    }
    for (const PropertyRow& row : rows)
        if (row.group == kCropGroup) firstValues_.try_emplace(KeyOf(row), row.value);
    tree_->setRootIsDecorated(!byName_->isChecked());
    if (byName_->isChecked())
        std::stable_sort(rows.begin(), rows.end(), [](const PropertyRow& a, const PropertyRow& b) {
            return a.name < b.name;
        });
    for (const PropertyRow& row : rows)
        AddItem(row);
    tree_->expandAll();
    description_->clear();
    if (!current.isEmpty())
        if (const auto found = tree_->findItems(current, Qt::MatchExactly | Qt::MatchRecursive);
            !found.isEmpty())
            tree_->setCurrentItem(found.front());
}

void CPropertiesWnd::AddItem(const PropertyRow& row) {
    QTreeWidgetItem* parent = nullptr;
    if (!byName_->isChecked()) {
        parent = Child(tree_, nullptr, row.group);
        if (!row.subgroup.empty()) parent = Child(tree_, parent, row.subgroup);
    }
    const QStringList texts{QString::fromStdString(row.name), QString::fromStdString(row.value)};
    auto* item = parent ? new QTreeWidgetItem(parent, texts) : new QTreeWidgetItem(tree_, texts);
    item->setData(0, kDescriptionRole, QString::fromStdString(row.description));
    item->setToolTip(1, item->text(1));
    if (Modified(row)) {
        QFont bold = item->font(1);
        bold.setBold(true);
        item->setFont(1, bold);
    }
    if (const auto edge = CropEdgeOf(row.name); edge && row.group == kCropGroup) {
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setData(1, kEdgeRole, static_cast<int>(*edge));
    }
}

bool CPropertiesWnd::Modified(const PropertyRow& row) const {
    const auto first = firstValues_.find(KeyOf(row));
    return first != firstValues_.end() && first->second != row.value;
}

void CPropertiesWnd::Edited(QTreeWidgetItem* item, int column) {
    const QVariant edge = item->data(1, kEdgeRole);
    if (column != 1 || !edge.isValid() || !crop_) return;
    const auto edited =
        EditCrop(*crop_, image_, static_cast<CropEdge>(edge.toInt()), item->text(1).toStdString());
    // The tree is rebuilt once the edit has ended: the item is still in use now.
    QMetaObject::invokeMethod(
        this, [this] { Rebuild(); }, Qt::QueuedConnection);
    if (!edited) {
        // The old value stays.
        emit cropRefused(tr("%1 must be a whole number inside the image and may not pass the "
                            "opposite border.")
                             .arg(item->text(0)));
        return;
    }
    crop_ = *edited;
    emit cropEdited(*edited);
}

void CPropertiesWnd::ShowDescription(QTreeWidgetItem* item) {
    if (!item || item->data(0, kDescriptionRole).toString().isEmpty()) {
        description_->clear();
        return;
    }
    description_->setText("<b>" + item->text(0).toHtmlEscaped() + "</b><br>" +
                          item->data(0, kDescriptionRole).toString().toHtmlEscaped());
}
