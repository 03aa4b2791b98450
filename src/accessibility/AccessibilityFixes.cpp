#include "AccessibilityFixes.h"

#include "QuickItemAccessible.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QtQuick/private/qquickitem_p.h>

#include <memory>

namespace {

QAccessibleInterface *quickItemFactory(const QString &, QObject *object)
{
    auto *item = qobject_cast<QQuickItem *>(object);
    // Items without an Accessible attachment stay out of the tree, as Qt Quick keeps them.
    if (!item || !QQuickItemPrivate::get(item)->isAccessible)
        return nullptr;
    return new QuickItemAccessible(item);
}

} // namespace

void installAccessibilityFixes()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // Factories installed last are asked first; Qt Quick installs its own at the first import.
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick 2.15\nItem {}", QUrl());
    std::unique_ptr<QObject> item(component.create());
    QAccessible::installFactory(quickItemFactory);
}
