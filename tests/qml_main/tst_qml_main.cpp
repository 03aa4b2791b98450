// The main window's QML with the real controller behind it.
#include "BackEnd.h"
#include "TreeViewModel.h"

#include <QDesktopServices>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QUrl>
#include <QtQuickTest>

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
        context->setContextProperty("configdir", QCoreApplication::applicationDirPath() + "/Config/");
        context->setContextProperty("browser", &browser);
        QDir().mkpath(FWU_SCREENSHOT_DIR);
        context->setContextProperty("screenshotDir", QStringLiteral(FWU_SCREENSHOT_DIR));
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); }

private:
    BackEnd *backend = nullptr;
    TreeViewModel model;
    UrlRecorder browser;
};

QUICK_TEST_MAIN_WITH_SETUP(qml_main, Setup)
#include "tst_qml_main.moc"
