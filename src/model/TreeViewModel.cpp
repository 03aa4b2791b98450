#include "TreeViewModel.h"

TreeViewModel::TreeViewModel(QObject *parent)
    : QAbstractItemModel(parent)
    , rootItem({})
{
}

TreeViewModel::~TreeViewModel() = default;

TreeItem *TreeViewModel::itemFor(const QModelIndex &index) const
{
    if (index.isValid())
        return static_cast<TreeItem *>(index.internalPointer());
    return const_cast<TreeItem *>(&rootItem);
}

QModelIndex TreeViewModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    TreeItem *child = itemFor(parent)->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex TreeViewModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    TreeItem *parentItem = itemFor(child)->parentItem();
    if (!parentItem || parentItem == &rootItem)
        return {};
    return createIndex(parentItem->row(), 0, parentItem);
}

int TreeViewModel::rowCount(const QModelIndex &parent) const
{
    // Only column 0 has children, as in every Qt tree model.
    if (parent.column() > 0)
        return 0;
    return itemFor(parent)->childCount();
}

int TreeViewModel::columnCount(const QModelIndex &) const
{
    return 2;
}

QVariant TreeViewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case NAME:
        return itemFor(index)->data(0);
    case STATE:
        return itemFor(index)->data(1);
    default:
        return {};
    }
}

QHash<int, QByteArray> TreeViewModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractItemModel::roleNames();
    names.insert(NAME, "name");
    names.insert(STATE, "state");
    return names;
}

void TreeViewModel::clearTree()
{
    beginResetModel();
    rootItem.removeAllChildren();
    endResetModel();
}
