#pragma once

#include "TreeItem.h"

#include <QAbstractItemModel>

class FirmwareCatalog;

// The catalogue as a read-only tree: category rows with one leaf per firmware. The queries are
// invokable because the selection dialog walks the tree from QML.
class TreeViewModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum ItemRoles { NAME = Qt::UserRole + 1, STATE };
    Q_ENUM(ItemRoles)

    explicit TreeViewModel(QObject *parent = nullptr);
    ~TreeViewModel() override;

    Q_INVOKABLE QModelIndex index(int row, int column,
                                  const QModelIndex &parent = QModelIndex()) const override;
    Q_INVOKABLE QModelIndex parent(const QModelIndex &child) const override;
    Q_INVOKABLE int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    Q_INVOKABLE int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    Q_INVOKABLE QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Empties the tree (one model reset).
    void clearTree();
    // Rebuilds the tree from the records matching searchText, labelled in the given language
    // slot (one model reset). "*" matches every record.
    void buildTree(const FirmwareCatalog &catalogue, int language, const QString &searchText);

private:
    TreeItem *itemFor(const QModelIndex &index) const;

    TreeItem rootItem;
};
