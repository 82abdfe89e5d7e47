#pragma once
// The tree of contact folders on the main window: a tick box and a picture
// from the small-icon list on every node, nodes found by key and by position.

#include "source/SourceSide.h"

#include <QHash>
#include <QList>
#include <QTreeWidget>

class SmallIcons;

class FolderTreeWidget : public QTreeWidget, public source::CheckableFolderTree {
    Q_OBJECT
public:
    explicit FolderTreeWidget(QWidget* parent = nullptr);

    // The list the node pictures come from.
    void SetImageList(const SmallIcons* icons);
    const SmallIcons* ImageList() const { return icons_; }

    // The node at `position` (from 1), null outside the tree.
    QTreeWidgetItem* Node(int position) const;
    // The node with this key, null when there is none.
    QTreeWidgetItem* NodeByKey(const QString& key) const;
    // Whether the node shows the has-items mark.
    static bool HasItems(const QTreeWidgetItem* node);

    // source::FolderTreeView
    void Clear() override;
    void AddNode(const source::FolderNode& node) override;
    int NodeCount() const override;
    void SetTicked(int position, bool ticked) override;
    void Yield() override;

    // source::CheckableFolderTree
    int TickState(int position) const override;
    QString Reference(int position) const override;

private:
    const SmallIcons* icons_ = nullptr;
    QList<QTreeWidgetItem*> nodes_;
    QHash<QString, QTreeWidgetItem*> byKey_;
};
