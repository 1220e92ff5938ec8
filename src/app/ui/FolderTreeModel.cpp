#include "FolderTreeModel.h"

#include "Icons.h"

TFolderTreeModel::TFolderTreeModel(TFolderTree& tree, QObject* parent)
    : QAbstractItemModel(parent),
      FTree(tree),
      FOtherFolderIcon(FolderImage(fiOtherFolder)),
      FMailFolderIcon(MailFolderIcon())
{
}

TFolderNode* TFolderTreeModel::NodeAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<TFolderNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TFolderTreeModel::IndexOf(const TFolderNode* node) const
{
    return node ? createIndex(node->Row(), 0, const_cast<TFolderNode*>(node)) : QModelIndex();
}

void TFolderTreeModel::ImageChanged(const TFolderNode* node)
{
    const QModelIndex at = IndexOf(node);
    Q_EMIT dataChanged(at, at, {Qt::DecorationRole});
}

QModelIndex TFolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const auto& siblings = parent.isValid() ? NodeAt(parent)->Children : FTree.Roots();
    if (row >= static_cast<int>(siblings.size()))
        return {};
    return createIndex(row, 0, siblings[static_cast<std::size_t>(row)].get());
}

QModelIndex TFolderTreeModel::parent(const QModelIndex& child) const
{
    const TFolderNode* node = NodeAt(child);
    return node ? IndexOf(node->Parent) : QModelIndex();
}

int TFolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(parent.isValid() ? NodeAt(parent)->Children.size()
                                             : FTree.Roots().size());
}

int TFolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant TFolderTreeModel::data(const QModelIndex& index, int role) const
{
    const TFolderNode* node = NodeAt(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return node->Text;
    case Qt::DecorationRole:
        // The selected image shows through the icon's selected mode.
        return node->ImageIndex > 0 ? FMailFolderIcon : FOtherFolderIcon;
    default:
        return {};
    }
}

Qt::ItemFlags TFolderTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
