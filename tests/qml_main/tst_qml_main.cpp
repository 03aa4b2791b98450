// The main window's QML with the real controller behind it (also the set-up of tst_qml_states).
#include "BackEnd.h"
#include "TreeViewModel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QUrl>
#include <QtQuickTest>

#include <vector>

#ifndef FWU_QUICK_TEST_NAME
#define FWU_QUICK_TEST_NAME "qml_main"
#endif

// Stands in for the system browser: remembers the last address the window asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString lastUrl MEMBER lastUrl NOTIFY opened)
public:
    QString lastUrl;
public slots:
    void open(const QUrl &url)
    {
        lastUrl = url.toString();
        emit opened();
    }
signals:
    void opened();
};

// Stands in for a start-up with other switches: a controller whose Config.xml does or does not
// carry <network_firmware>true</network_firmware>, started with or without --network-firmware.
class Switches : public QObject
{
    Q_OBJECT
public:
    QQmlEngine *engine = nullptr;
    BackEnd *original = nullptr;
    BackEnd *replacement = nullptr;
    QTemporaryDir dir;

    Q_INVOKABLE void useBackend(bool inConfigFile, bool onCommandLine)
    {
        QFile source(QCoreApplication::applicationDirPath() + "/Config/Config.xml");
        if (!source.open(QIODevice::ReadOnly))
            qFatal("no Config.xml beside the test");
        QByteArray xml = source.readAll();
        if (inConfigFile)
            xml.replace("<help_url>", "<network_firmware>true</network_firmware>\n<help_url>");
        QFile target(dir.filePath("Config.xml"));
        if (!target.open(QIODevice::WriteOnly) || target.write(xml) != xml.size())
            qFatal("cannot write the test's Config.xml");
        target.close();
        AppPaths paths;
        paths.configDir = dir.path() + "/";
        paths.downloadDir = dir.path() + "/Temp/";
        paths.configFound = true;
        restoreBackend();
        replacement = new BackEnd(paths);
        replacement->setNetworkFirmwareForced(onCommandLine);
        engine->rootContext()->setContextProperty("backend", replacement);
    }

    Q_INVOKABLE void restoreBackend()
    {
        engine->rootContext()->setContextProperty("backend", original);
        delete replacement;
        replacement = nullptr;
    }
};

// Delivers a drop of file URLs to a window as the platform would: drag enter, move, drop.
class Dropper : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE bool drop(QQuickWindow *window, qreal x, qreal y, const QStringList &urls)
    {
        QMimeData data;
        QList<QUrl> list;
        for (const QString &url : urls)
            list << QUrl(url);
        data.setUrls(list);
        const QPoint at {int(x), int(y)};
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &dropped);
        return dropped.isAccepted();
    }
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        qmlRegisterType<TreeViewModel>("TreeViewModel", 1, 0, "TreeViewModel");
        QDesktopServices::setUrlHandler("https", &browser, "open");
        // Reads Config/Config.xml (copied beside this test): Chinese first, English second.
        backend = new BackEnd(engine);
        QQmlContext *context = engine->rootContext();
        context->setContextProperty("backend", backend);
        context->setContextProperty("myModel", &model);
        context->setContextProperty("appdir", QCoreApplication::applicationDirPath());
        context->setContextProperty("configdir",
                                    QCoreApplication::applicationDirPath() + "/Config/");
        context->setContextProperty("browser", &browser);
        switches.engine = engine;
        switches.original = backend;
        context->setContextProperty("switches", &switches);
        context->setContextProperty("dropper", &dropper);
        QDir().mkpath(FWU_SCREENSHOT_DIR);
        context->setContextProperty("screenshotDir", QStringLiteral(FWU_SCREENSHOT_DIR));
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); }

private:
    BackEnd *backend = nullptr;
    TreeViewModel model;
    UrlRecorder browser;
    Switches switches;
    Dropper dropper;
};

// As in the program, a QApplication: the platform file dialog falls back to a Qt Widgets dialog.
int main(int argc, char **argv)
{
    std::vector<char *> args(argv, argv + argc);
    static char widgets[] = "-widgets";
    args.push_back(widgets);
    int count = int(args.size());
    Setup setup;
    return quick_test_main_with_setup(count, args.data(), FWU_QUICK_TEST_NAME,
                                      QUICK_TEST_SOURCE_DIR, &setup);
}
#include "tst_qml_main.moc"
