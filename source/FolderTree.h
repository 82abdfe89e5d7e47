#pragma once
// Filling the tree of contact folders of one Outlook store. The main window's
// tree widget, the command line's folder listing and the headless conversion
// all walk a store through this one function.

#include "source/outlook/Outlook.h"

#include <QString>

#include <vector>

namespace source {

// One node of the tree: the root (the store) or a contact folder.
struct FolderNode {
    QString key;  // root: the store's display name; folder: its entry identifier
    QString parentKey;  // empty for the root; else the key of the node it hangs below
    QString text;  // root: the display name; folder: "Name (count)"
    int icon = 0;  // position in the small-icon list: 0 root, 61 folder
    bool hasItems = false;  // root always; a folder with at least one item
    QString reference;  // empty for the root; else entry identifier + "#" + folder path
    int depth = 0;  // 0 for the root, 1 for a node right below it, ...
    QString path;  // the folder path (Contacts\Friends); empty for the root
};

// What filling needs of a tree widget.
class FolderTreeView {
public:
    virtual ~FolderTreeView() = default;
    virtual void Clear() = 0;
    virtual void AddNode(const FolderNode& node) = 0;
    virtual int NodeCount() const = 0;
    // Position from 1, in the order the nodes were added.
    virtual void SetTicked(int position, bool ticked) = 0;
    // Let the window system process pending events.
    virtual void Yield() = 0;
};

// Clears the tree, adds the root and one node per folder whose class is
// exactly "IPM.Contact", at any depth, in pre-order. A folder whose parent has
// no node hangs below its nearest ancestor that has one, else below the root.
// Throws outlook::OutlookError where reading the store fails; the nodes added
// so far stay.
void FillFolderTree(const outlook::RDOStore& store, FolderTreeView& tree);

// The nodes FillFolderTree adds for `store`, in the same order, without a
// view (the command line and the benchmarks). Throws as FillFolderTree does.
std::vector<FolderNode> FolderTreeNodes(const outlook::RDOStore& store);

// Ticks every node, the root included.
void TickAllNodes(FolderTreeView& tree);

// What the tree leaves out, in one line: the contacts and lists kept in
// folders that are not contact folders, how many and where, "18 contacts in
// folders that are not contact folders were not converted: myInbox (18)"
// once a conversion ran (`converted`), "... are not converted: ..." before.
// Empty when there are none.
QString StrayItemsLine(const std::vector<outlook::StrayItems>& strays, bool converted = true);

}  // namespace source
