// Filling the tree from the catalogue: filter by the search text, group by the category
// identifiers in order of first occurrence, one leaf per matching record.
#include "FirmwareCatalog.h"
#include "TreeViewModel.h"

#include <QHash>

#include <memory>
#include <vector>

namespace {

// A node of the grouping tree, built before the model is touched so that the model is reset
// only for the short copy into items.
struct CatalogueNode
{
    QString key; // category identifier, or a leaf's label
    const FirmwareTexts *names = nullptr; // first and second level only
    int position = -1; // record position, leaves only
    std::vector<std::unique_ptr<CatalogueNode>> children; // in order of first occurrence
    // The category children by key, so that grouping stays linear in records and categories.
    // Leaves are not in it: a category3 identifier equal to a sibling leaf's device identifier
    // must not turn that firmware into a category and hide it.
    QHash<QString, CatalogueNode *> categories;

    CatalogueNode *childWithKey(const QString &childKey, const FirmwareTexts *childNames)
    {
        CatalogueNode *&category = categories[childKey];
        if (!category)
            category = append(childKey, childNames, -1);
        return category;
    }

    CatalogueNode *append(const QString &childKey, const FirmwareTexts *childNames, int pos)
    {
        children.push_back(std::make_unique<CatalogueNode>());
        CatalogueNode *node = children.back().get();
        node->key = childKey;
        node->names = childNames;
        node->position = pos;
        return node;
    }
};

QString nameIn(const CatalogueNode &node, int language)
{
    return node.names ? node.names->in(language) : QString();
}

// Two firmwares for one device in one category must not look the same: a leaf names its device,
// its version and, when the catalogue gives one, its release date.
QString leafLabel(const FirmwareInfo &record)
{
    QStringList parts {record.device_id};
    for (const QString &part : {record.version, record.release_date}) {
        if (!part.trimmed().isEmpty())
            parts << part.trimmed();
    }
    return parts.join(QStringLiteral(" \u00b7 "));
}

TreeItem *appendItem(TreeItem *parent, const QVariant &name, const QVariant &state)
{
    auto *item = new TreeItem({name, state}, parent);
    parent->appendChild(item);
    return item;
}

TreeItem *appendLeaf(TreeItem *parent, const CatalogueNode &leaf)
{
    return appendItem(parent, leaf.key, leaf.position);
}

void publish(const CatalogueNode &root, int language, TreeItem *rootItem)
{
    const QString category; // categories carry an empty state
    for (const auto &first : root.children) {
        TreeItem *firstItem = appendItem(rootItem, nameIn(*first, language), category);
        for (const auto &second : first->children) {
            TreeItem *secondItem = appendItem(firstItem, nameIn(*second, language), category);
            for (const auto &node : second->children) {
                if (node->children.empty()) {
                    appendLeaf(secondItem, *node);
                    continue;
                }
                TreeItem *thirdItem = appendItem(secondItem, node->key, category);
                for (const auto &leaf : node->children)
                    appendLeaf(thirdItem, *leaf);
            }
        }
    }
}

} // namespace

void TreeViewModel::buildTree(const FirmwareCatalog &catalogue, int language,
                              const QString &searchText)
{
    CatalogueNode root;
    root.key = QStringLiteral("root");
    const int count = std::min(catalogue.count, catalogue.records.size());
    const std::vector<bool> matching = catalogue.matchingRecords(searchText);
    for (int p = 0; p < count; ++p) {
        if (!matching[size_t(p)])
            continue;
        const FirmwareInfo &record = catalogue.records[p];
        CatalogueNode *node = root.childWithKey(record.category1.id, &record.category1.names);
        node = node->childWithKey(record.category2.id, &record.category2.names);
        if (!record.category3.id.isEmpty())
            node = node->childWithKey(record.category3.id, nullptr);
        node->append(leafLabel(record), nullptr, p);
    }

    beginResetModel();
    rootItem.removeAllChildren();
    publish(root, language, &rootItem);
    endResetModel();
}
