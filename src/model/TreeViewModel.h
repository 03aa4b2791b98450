#pragma once

#include <QAbstractItemModel>

// Placeholder until the catalogue tree lands: an empty model with the role enumeration QML uses.
class TreeViewModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum TreeRoles { NAME = Qt::UserRole + 1, STATE };
    Q_ENUM(TreeRoles)

    explicit TreeViewModel(QObject *parent = nullptr);

    Q_INVOKABLE QModelIndex index(int row, int column,
                                  const QModelIndex &parent = QModelIndex()) const override;
    Q_INVOKABLE QModelIndex parent(const QModelIndex &child) const override;
    Q_INVOKABLE int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    Q_INVOKABLE int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    Q_INVOKABLE QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
};
