#include "AccessibilityFixes.h"

#include "QuickItemAccessible.h"

#include <QApplication>
#include <QFileDialog>
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

// Closes the popups (the completer's list) a file dialog leaves open when it hides.
class FileDialogWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && qobject_cast<QFileDialog *>(watched)) {
            while (QWidget *popup = QApplication::activePopupWidget())
                popup->close();
        }
        return false;
    }
};

} // namespace

void closeFileDialogLeftovers()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    static FileDialogWatcher *watcher = nullptr;
    if (watcher)
        return;
    watcher = new FileDialogWatcher(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watcher);
}

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
    closeFileDialogLeftovers();
}
