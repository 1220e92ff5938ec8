// The folder tree as a Qt item model: the view shows the tree the session's
// folders were built into and keeps no folder data of its own.
#pragma once

#include "app/FolderTree.h"

#include <QAbstractItemModel>
#include <QIcon>

class TFolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TFolderTreeModel(TFolderTree& tree, QObject* parent = nullptr);

    // Call around every change of the tree.
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

    TFolderNode* NodeAt(const QModelIndex& index) const;
    QModelIndex IndexOf(const TFolderNode* node) const;
    // Tells the view that a node's image changed.
    void ImageChanged(const TFolderNode* node);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    TFolderTree& FTree;
    QIcon FOtherFolderIcon;
    QIcon FMailFolderIcon;
};
