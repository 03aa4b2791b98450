#include "TreeViewModel.h"

TreeViewModel::TreeViewModel(QObject *parent) : QAbstractItemModel(parent) { }

QModelIndex TreeViewModel::index(int, int, const QModelIndex &) const { return {}; }
QModelIndex TreeViewModel::parent(const QModelIndex &) const { return {}; }
int TreeViewModel::rowCount(const QModelIndex &) const { return 0; }
int TreeViewModel::columnCount(const QModelIndex &) const { return 1; }
QVariant TreeViewModel::data(const QModelIndex &, int) const { return {}; }
QHash<int, QByteArray> TreeViewModel::roleNames() const
{
    return { { NAME, "name" }, { STATE, "state" } };
}
