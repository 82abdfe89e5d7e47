#include "source/FolderTree.h"

#include <QSet>
#include <QStringList>

namespace source {

namespace {

const QString kContactClass = QStringLiteral("IPM.Contact");
constexpr int kRootIcon = 0;
constexpr int kFolderIcon = 61;

// The walk below the store's top folder. `ancestorKey` and `ancestorDepth`
// name the nearest node above the folders being walked: a contact folder
// whose parent has no node of its own hangs below it.
class Walker {
public:
    explicit Walker(FolderTreeView& tree)
        : tree_(tree)
    {
    }

    void walk(const outlook::RDOFolder& parent, const QString& parentPath, const QString& ancestorKey,
              int ancestorDepth)
    {
        const int count = parent.FolderCount();
        for (int i = 1; i <= count; ++i) {
            const outlook::RDOFolder folder = parent.Folder(i);
            const QString id = folder.EntryID();
            // A damaged file may list a folder below itself; walk each folder once.
            if (seen_.contains(id))
                continue;
            seen_.insert(id);

            const QString name = folder.Name();
            const QString path = parentPath.isEmpty() ? name : parentPath + u'\\' + name;
            QString childAncestor = ancestorKey;
            int childDepth = ancestorDepth;
            if (folder.DefaultMessageClass() == kContactClass) {
                const qint64 items = folder.Items().Count();
                FolderNode node;
                node.key = id;
                node.parentKey = ancestorKey;
                node.text = name + QStringLiteral(" (") + QString::number(items) + u')';
                node.icon = kFolderIcon;
                node.hasItems = items > 0;
                node.reference = id + u'#' + path;
                node.depth = ancestorDepth + 1;
                node.path = path;
                tree_.AddNode(node);
                childAncestor = id;
                childDepth = node.depth;
            }
            walk(folder, path, childAncestor, childDepth);
            tree_.Yield();
        }
    }

private:
    FolderTreeView& tree_;
    QSet<QString> seen_;
};

}  // namespace

void FillFolderTree(const outlook::RDOStore& store, FolderTreeView& tree)
{
    tree.Clear();
    const QString name = store.Name();
    FolderNode root;
    root.key = name;
    root.text = name;
    root.icon = kRootIcon;
    root.hasItems = true;
    root.depth = 0;
    tree.AddNode(root);

    Walker(tree).walk(store.IPMRootFolder(), QString(), root.key, 0);
}

std::vector<FolderNode> FolderTreeNodes(const outlook::RDOStore& store)
{
    class Collecting : public FolderTreeView {
    public:
        std::vector<FolderNode> nodes;
        void Clear() override { nodes.clear(); }
        void AddNode(const FolderNode& node) override { nodes.push_back(node); }
        int NodeCount() const override { return int(nodes.size()); }
        void SetTicked(int, bool) override { }
        void Yield() override { }
    } tree;
    FillFolderTree(store, tree);
    return std::move(tree.nodes);
}

QString StrayItemsLine(const std::vector<outlook::StrayItems>& strays, bool converted)
{
    qint64 total = 0;
    QStringList where;
    for (const outlook::StrayItems& s : strays) {
        if (s.count <= 0)
            continue;
        total += s.count;
        where.append(s.folderPath + QStringLiteral(" (") + QString::number(s.count) + u')');
    }
    if (total == 0)
        return QString();
    const QString verb = total == 1 ? (converted ? QStringLiteral("was") : QStringLiteral("is"))
                                    : (converted ? QStringLiteral("were") : QStringLiteral("are"));
    const QString what = total == 1 ? QStringLiteral("1 contact in a folder that is not a contact folder")
                                    : QStringLiteral("%1 contacts in folders that are not contact folders").arg(total);
    return what + u' ' + verb + QStringLiteral(" not converted: ") + where.join(QStringLiteral(", "));
}

void TickAllNodes(FolderTreeView& tree)
{
    const int count = tree.NodeCount();
    for (int i = 1; i <= count; ++i)
        tree.SetTicked(i, true);
}

}  // namespace source
