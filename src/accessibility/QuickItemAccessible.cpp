#include "QuickItemAccessible.h"

#include <QQuickItem>

QuickItemAccessible::QuickItemAccessible(QQuickItem *item)
    : QAccessibleQuickItem(item)
{
}

QAccessible::State QuickItemAccessible::state() const
{
    QAccessible::State state = QAccessibleQuickItem::state();
    // isEnabled() is the effective state: a control inside a disabled row is disabled too.
    if (!item()->isEnabled()) {
        state.disabled = true;
        state.focusable = false;
    }
    return state;
}

bool QuickItemAccessible::hasRange() const
{
    return item()->property("to").isValid() && item()->property("from").isValid();
}

QVariant QuickItemAccessible::currentValue() const
{
    return item()->property("value");
}

QVariant QuickItemAccessible::maximumValue() const
{
    return hasRange() ? item()->property("to") : QAccessibleQuickItem::maximumValue();
}

QVariant QuickItemAccessible::minimumValue() const
{
    return hasRange() ? item()->property("from") : QAccessibleQuickItem::minimumValue();
}

void *QuickItemAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface && role() == QAccessible::ProgressBar)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleQuickItem::interface_cast(type);
}
