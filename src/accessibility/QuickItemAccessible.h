#pragma once

#include <QtQuick/private/qaccessiblequickitem_p.h>

// Qt Quick's accessible item with two faults of Qt 5.15 mended: a disabled control (a Controls 2
// button, a greyed window behind a dialog) is exposed as disabled, and a progress bar offers its
// value (Controls 2 names its range from/to, which Qt Quick's item never reads).
class QuickItemAccessible : public QAccessibleQuickItem
{
public:
    explicit QuickItemAccessible(QQuickItem *item);

    QAccessible::State state() const override;

    QVariant currentValue() const override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;

protected:
    void *interface_cast(QAccessible::InterfaceType type) override;

private:
    bool hasRange() const;
};
