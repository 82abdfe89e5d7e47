#include "app/FolderTreeWidget.h"

#include "app/SmallIcons.h"

#include <QCoreApplication>
#include <QHeaderView>

namespace {

enum Role { ReferenceRole = Qt::UserRole, KeyRole, HasItemsRole };

}  // namespace

FolderTreeWidget::FolderTreeWidget(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Mailbox Folders")});
    header()->setStretchLastSection(true);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FolderTreeWidget::SetImageList(const SmallIcons* icons)
{
    icons_ = icons;
}

QTreeWidgetItem* FolderTreeWidget::Node(int position) const
{
    if (position < 1 || position > nodes_.size())
        return nullptr;
    return nodes_[position - 1];
}

QTreeWidgetItem* FolderTreeWidget::NodeByKey(const QString& key) const
{
    return byKey_.value(key, nullptr);
}

bool FolderTreeWidget::HasItems(const QTreeWidgetItem* node)
{
    return node && node->data(0, HasItemsRole).toBool();
}

void FolderTreeWidget::Clear()
{
    nodes_.clear();
    byKey_.clear();
    clear();
}

void FolderTreeWidget::AddNode(const source::FolderNode& node)
{
    // A node names its parent by key; one whose parent is not in the tree
    // hangs below the root, or at the top of an empty tree.
    QTreeWidgetItem* parent = node.parentKey.isEmpty() ? nullptr : byKey_.value(node.parentKey, nullptr);
    if (!parent && !node.parentKey.isEmpty() && !nodes_.isEmpty())
        parent = nodes_.first();
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, node.text);
    item->setData(0, ReferenceRole, node.reference);
    item->setData(0, KeyRole, node.key);
    item->setData(0, HasItemsRole, node.hasItems);
    if (icons_)
        item->setIcon(0, icons_->icon(node.icon));
    // The has-items mark: folders holding items are shown in bold.
    if (node.hasItems) {
        QFont f = font();
        f.setBold(true);
        item->setFont(0, f);
    }
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    if (parent)
        parent->setExpanded(true);
    nodes_.append(item);
    byKey_.insert(node.key, item);
}

int FolderTreeWidget::NodeCount() const
{
    return int(nodes_.size());
}

void FolderTreeWidget::SetTicked(int position, bool ticked)
{
    if (QTreeWidgetItem* item = Node(position))
        item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

void FolderTreeWidget::Yield()
{
    QCoreApplication::processEvents();
}

int FolderTreeWidget::TickState(int position) const
{
    const QTreeWidgetItem* item = Node(position);
    return item && item->checkState(0) == Qt::Checked ? 1 : 0;
}

QString FolderTreeWidget::Reference(int position) const
{
    const QTreeWidgetItem* item = Node(position);
    return item ? item->data(0, ReferenceRole).toString() : QString();
}
