#pragma once

#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

// One node of the catalogue tree: its values by column (name, state) and the children it owns.
class TreeItem
{
public:
    explicit TreeItem(const QVector<QVariant> &data, TreeItem *parent = nullptr);

    // Takes ownership of child and makes this item its parent.
    void appendChild(TreeItem *child);
    // Children are addressed by position; out-of-range rows give nullptr.
    TreeItem *child(int row) const;
    int childCount() const;
    // Out-of-range columns give an invalid QVariant.
    QVariant data(int column) const;
    TreeItem *parentItem() const;
    // Position among the parent's children; 0 without a parent.
    int row() const;
    void removeAllChildren();

private:
    std::vector<std::unique_ptr<TreeItem>> children;
    QVector<QVariant> itemData;
    TreeItem *parent;
};
