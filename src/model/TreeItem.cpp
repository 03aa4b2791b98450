#include "TreeItem.h"

#include <algorithm>

TreeItem::TreeItem(const QVector<QVariant> &data, TreeItem *parent)
    : itemData(data)
    , parent(parent)
{
}

void TreeItem::appendChild(TreeItem *child)
{
    child->parent = this;
    children.emplace_back(child);
}

TreeItem *TreeItem::child(int row) const
{
    if (row < 0 || row >= childCount())
        return nullptr;
    return children[static_cast<size_t>(row)].get();
}

int TreeItem::childCount() const
{
    return static_cast<int>(children.size());
}

QVariant TreeItem::data(int column) const
{
    return itemData.value(column);
}

TreeItem *TreeItem::parentItem() const
{
    return parent;
}

int TreeItem::row() const
{
    if (!parent)
        return 0;
    const auto &siblings = parent->children;
    const auto it
        = std::find_if(siblings.begin(), siblings.end(),
                       [this](const std::unique_ptr<TreeItem> &s) { return s.get() == this; });
    return static_cast<int>(it - siblings.begin());
}

void TreeItem::removeAllChildren()
{
    children.clear(); // each child frees its own subtree
}
