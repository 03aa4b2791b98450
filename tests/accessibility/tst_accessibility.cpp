// Each window in each language, walked as a screen reader walks it: every control named, the
// progress bar with a value, nothing greyed out exposed as usable; and where the focus goes when
// the file dialog closes.
#include "AccessibilityFixes.h"
#include "BackEnd.h"
#include "QmlFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

// Roles a user reaches or hears as one thing: each needs a name of its own.
bool needsName(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::ProgressBar:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::TreeItem:
    case QAccessible::Dialog:
    case QAccessible::Window:
    case QAccessible::Graphic:
        return true;
    default:
        return false;
    }
}

QString describe(QAccessibleInterface *node)
{
    QObject *object = node->object();
    return QStringLiteral("%1 \"%2\" (%3)")
        .arg(qAccessibleRoleString(node->role()), node->text(QAccessible::Name),
             object ? object->objectName() + " " + object->metaObject()->className() : "");
}

// What a screen reader would get wrong about this node, if anything.
QStringList faultsOf(QAccessibleInterface *node)
{
    QStringList faults;
    if (needsName(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty())
        faults << "unnamed: " + describe(node);
    if (node->role() == QAccessible::ProgressBar) {
        QAccessibleValueInterface *value = node->valueInterface();
        if (!value || !value->currentValue().isValid() || value->maximumValue().toInt() != 100)
            faults << "no value 0-100: " + describe(node);
    }
    if (node->role() == QAccessible::ComboBox && node->object()
        && node->text(QAccessible::Name) == node->object()->property("displayText").toString())
        faults << "named by its value, not labelled: " + describe(node);
    auto *item = qobject_cast<QQuickItem *>(node->object());
    if (item && !item->isEnabled() && !node->state().disabled)
        faults << "greyed out but exposed as enabled: " + describe(node);
    return faults;
}

// Collects the faults and the roles of the named nodes found.
void walk(QAccessibleInterface *node, QStringList &faults, QSet<QString> &named, int depth = 0)
{
    if (!node || depth > 64 || node->state().invisible)
        return;
    faults += faultsOf(node);
    if (!node->text(QAccessible::Name).trimmed().isEmpty())
        named.insert(qAccessibleRoleString(node->role()));
    if (qEnvironmentVariableIsSet("FWU_DUMP"))
        qInfo().noquote() << QString(depth * 2, ' ') + describe(node) << node->state().disabled;
    for (int i = 0; i < node->childCount(); ++i)
        walk(node->child(i), faults, named, depth + 1);
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyControlNamedAndTrue_data();
    void everyControlNamedAndTrue();
    void fileDialog_focusReturnsToTheWindow();

private:
    QQuickWindow *shown(const QString &window);

    QQmlApplicationEngine *engine = nullptr;
    QmlFixture *fixture = nullptr;
    QQuickWindow *mainWindow = nullptr;
};

void TestAccessibility::initTestCase()
{
    // As when a screen reader runs: Qt Quick Controls build their accessible side only then.
    QPlatformAccessibility *platform
        = QGuiApplicationPrivate::platformIntegration()->accessibility();
    if (!platform)
        QSKIP("this platform has no accessibility");
    platform->setActive(true);
    installAccessibilityFixes();
    engine = new QQmlApplicationEngine;
    fixture = new QmlFixture(engine);
    fixture->storeCatalogue();
    engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
    QVERIFY(!engine->rootObjects().isEmpty());
    mainWindow = qobject_cast<QQuickWindow *>(engine->rootObjects().constFirst());
    QVERIFY(mainWindow);
    fixture->announceLanguages();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
}

void TestAccessibility::cleanupTestCase()
{
    delete engine;
}

QQuickWindow *TestAccessibility::shown(const QString &window)
{
    if (window == "main window")
        return mainWindow;
    QVariant made;
    if (window == "selection dialog") {
        QMetaObject::invokeMethod(mainWindow, "openNetworkFirmware");
        QMetaObject::invokeMethod(mainWindow, "ensureDialog", Q_RETURN_ARG(QVariant, made));
    } else {
        QMetaObject::invokeMethod(mainWindow, "openProgress");
        QMetaObject::invokeMethod(mainWindow, "ensurePopup", Q_RETURN_ARG(QVariant, made));
    }
    auto *shownWindow = qobject_cast<QQuickWindow *>(made.value<QObject *>());
    if (shownWindow) {
        shownWindow->setVisible(true);
        if (!QTest::qWaitForWindowExposed(shownWindow))
            return nullptr;
    }
    return shownWindow;
}

void TestAccessibility::everyControlNamedAndTrue_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("language");
    // What each window must expose, named: the log is an editable text, the details a text.
    QTest::addColumn<QStringList>("parts");
    const QStringList languages {"Chinese", "English", "German", "French", "Spanish"};
    const QList<QPair<const char *, QStringList>> windows {
        {"main window", {"ProgressBar", "ComboBox", "EditableText", "Button", "StaticText"}},
        {"selection dialog", {"EditableText", "Tree", "StaticText", "Button"}},
        {"download popup", {"ProgressBar", "Button"}}};
    for (const auto &window : windows) {
        for (int language = 0; language < languages.size(); ++language)
            QTest::addRow("%s, %s", window.first, qPrintable(languages[language]))
                << QString::fromLatin1(window.first) << language << window.second;
    }
}

void TestAccessibility::everyControlNamedAndTrue()
{
    QFETCH(QString, window);
    QFETCH(int, language);
    QFETCH(QStringList, parts);
    fixture->controller()->qml_LangageSelectChange(language);
    QQuickWindow *under = shown(window);
    QVERIFY(under);
    QStringList faults;
    QSet<QString> named;
    walk(QAccessible::queryAccessibleInterface(under), faults, named);
    for (const QString &part : parts) {
        if (!named.contains(part))
            faults << "no named " + part;
    }
    // FWU_A11Y_SHOTS=<folder>: each window in each language, to look at (at any QT_SCALE_FACTOR).
    if (const QString shots = qEnvironmentVariable("FWU_A11Y_SHOTS"); !shots.isEmpty()) {
        QTest::qWait(200); // let the window draw its new texts before the grab
        under->grabWindow().save(QStringLiteral("%1/%2-%3.png")
                                     .arg(shots, QString(window).replace(' ', '-'))
                                     .arg(language));
    }
    if (under != mainWindow)
        under->setVisible(false);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
}

// Open, a name typed, Return: the dialog goes, and the keyboard is back in the window.
void TestAccessibility::fileDialog_focusReturnsToTheWindow()
{
    QTemporaryDir folder;
    const QString image = folder.filePath("fw.bin");
    QFile file(image);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(2048, 'x')) == 2048);
    file.close();
    fixture->controller()->qml_LangageSelectChange(1);
    mainWindow->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(mainWindow));
    QMetaObject::invokeMethod(mainWindow, "openFileDialog");
    QFileDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = [] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (auto *found = qobject_cast<QFileDialog *>(top); found && found->isVisible())
                return found;
        }
        return static_cast<QFileDialog *>(nullptr);
    }()));
    // Typed, so that the name completer offers its list, as it does to a user.
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    QTRY_VERIFY(name->hasFocus());
    QTest::keyClicks(name, image.left(image.size() - 3));
    QTest::keyClicks(name, QStringLiteral("bin"));
    QTest::keyClick(name, Qt::Key_Return);
    QTRY_VERIFY(!dialog->isVisible());
    QTRY_COMPARE(QApplication::activePopupWidget(), nullptr);
    QTRY_VERIFY(QGuiApplication::focusWindow() == mainWindow);
    QQuickItem *focused = nullptr;
    QTRY_VERIFY((focused = mainWindow->activeFocusItem()) != nullptr);
    QVERIFY2(focused->isEnabled() && focused->activeFocusOnTab(),
             focused->metaObject()->className());
}

int main(int argc, char **argv)
{
    // As in the program: the platform file dialog falls back to a Qt Widgets dialog.
    QApplication app(argc, argv);
    TestAccessibility test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessibility.moc"
