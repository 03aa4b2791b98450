#include "Startup.h"

#include "AccessibilityFixes.h"
#include "AccessoryLocks.h"
#include "BackEnd.h"
#include "FileHandOff.h"
#include "InterruptWatcher.h"
#include "LanguageChoice.h"
#include "LanguageConfig.h"
#include "MainTask.h"
#include "SingleInstanceLock.h"
#include "StartupOptions.h"
#include "TreeViewModel.h"
#include "WorkerThread.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QThread>

#include <cstdio>

#include <hidapi.h>

namespace {

void connectControllerAndEngine(BackEnd *backend, MainTask *engine)
{
    QObject::connect(backend, &BackEnd::sig_SetFilePath, engine, &MainTask::SetFilePath);
    QObject::connect(backend, &BackEnd::sig_StartUpdate, engine, &MainTask::StartUpdate);
    QObject::connect(engine, &MainTask::sig_ChangeUsbConnectStatus, backend,
                     &BackEnd::slot_MainTaskChangeUsbConnectStatus);
    QObject::connect(engine, &MainTask::sig_ChangeProgressValue, backend,
                     &BackEnd::slot_mainTaskChangeProgressValue);
    QObject::connect(engine, &MainTask::sig_OutoutMsgToBackend, backend,
                     &BackEnd::slot_MainTastOutputMsg);
    QObject::connect(engine, &MainTask::sig_ReceiveV20DeviceID, backend,
                     &BackEnd::slot_ReceiveDeviceID);
    QObject::connect(engine, &MainTask::sig_UpdateState, backend, &BackEnd::slot_UpdateState);
    QObject::connect(engine, &MainTask::sig_DeviceChosen, backend, &BackEnd::slot_DeviceChosen);
    // The window lists the accessories present and names the one the engine uses.
    QObject::connect(engine, &MainTask::sig_AccessoriesPresent, backend,
                     &BackEnd::slot_AccessoriesPresent);
    QObject::connect(engine, &MainTask::sig_AccessoryOpened, backend,
                     &BackEnd::slot_AccessoryOpened);
    QObject::connect(backend, &BackEnd::sig_SetTarget, engine, &MainTask::SetTarget);
    QObject::connect(engine, &MainTask::sig_UpdateFailure, backend, &BackEnd::slot_UpdateFailure);
    QObject::connect(backend, &BackEnd::sig_SetExpectedSha256, engine,
                     &MainTask::SetExpectedSha256);
    QObject::connect(engine, &MainTask::sig_ImageDigest, backend, &BackEnd::slot_ImageDigest);
}

// For start-up measurements (--exit-after-first-frame): the main window's first frame is announced
// on stdout and ends the run.
void exitAfterFirstFrame(const QQmlApplicationEngine &engine)
{
    const QList<QObject *> roots = engine.rootObjects();
    auto *window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
    if (!window)
        return;
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            static bool announced = false;
            if (announced)
                return;
            announced = true;
            std::fputs("first frame\n", stdout);
            std::fflush(stdout);
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
}

// In the language the window would start in: the second copy shows its message before any
// controller exists, and reads nothing but the configuration and the user's remembered choice.
void reportAlreadyRunning(const StartupHooks &hooks)
{
    LanguageConfig config;
    config.loadConfigFile(AppPaths::configDirFor(QCoreApplication::applicationDirPath())
                          + QStringLiteral("Config.xml"));
    const int language = LanguageChoice::forThisUser(config);
    const QString title = config.text(LanguageConfig::textTitle, language);
    const QString text = config.text(LanguageConfig::textAlreadyRunning, language);
    if (hooks.alreadyRunning)
        hooks.alreadyRunning(title, text);
    else
        QMessageBox::warning(nullptr, title, text);
}

// A file handed over by a second copy, or given on the command line: opened as the Open button
// would, unless an update is writing (then the log says it was not).
void openHandedFile(const QQmlApplicationEngine &engine, BackEnd &backend, const QUrl &file)
{
    if (file.isEmpty())
        return;
    const QList<QObject *> roots = engine.rootObjects();
    if (roots.isEmpty())
        return;
    if (backend.updateRunning()) {
        backend.logMessage(false,
                           backend.uiTexts()
                               .value(QStringLiteral("fileNotOpenedWhileUpdating"))
                               .toString()
                               .arg(file.toLocalFile()));
        return;
    }
    QMetaObject::invokeMethod(roots.first(), "openImage", Q_ARG(QVariant, file.toString()));
}

// Where the platform lets a program take the foreground (X11, and Windows once the second copy
// allowed it) the window comes forward; Wayland lets it only ask for attention.
void comeForward(const QQmlApplicationEngine &engine)
{
    const QList<QObject *> roots = engine.rootObjects();
    auto *window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
    if (!window)
        return;
    if (window->visibility() == QWindow::Minimized)
        window->showNormal();
    window->raise();
    window->requestActivate();
    window->alert(0);
}

// The window is small and mostly still: Qt Quick's own software renderer draws it without an
// OpenGL driver, so a start loads no driver and a machine with a broken or missing one still shows
// the window. QT_QUICK_BACKEND (or the older QMLSCENE_DEVICE) still chooses another renderer, and
// QT_QUICK_BACKEND=opengl Qt's default one, which has no name of its own.
void chooseRenderer()
{
    const QByteArray chosen = qgetenv("QT_QUICK_BACKEND");
    if (chosen == "opengl") {
        qunsetenv("QT_QUICK_BACKEND");
        return;
    }
    if (chosen.isEmpty() && qEnvironmentVariableIsEmpty("QMLSCENE_DEVICE"))
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
}

void nameTheApplication()
{
    // Per-user folders become <cache>/Tarvo/<program>. The application name stays the
    // executable's, so the demo and the test programs keep folders and locks of their own.
    QCoreApplication::setOrganizationName(QStringLiteral("Tarvo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FWU_VERSION));
}

} // namespace

int runFirmwareUpdater(int &argc, char **argv, const QUrl &mainUrl, const StartupHooks &hooks)
{
    if (StartupOptions::onlyPrints(argc, argv)) {
        // --help and --version answer without a display (over ssh, in a script).
        QCoreApplication app(argc, argv);
        nameTheApplication();
        StartupOptions::parse(QCoreApplication::arguments());
        return 0;
    }
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    chooseRenderer();
    // QApplication rather than QGuiApplication: the native file dialog of Qt.labs.platform falls
    // back to a Qt Widgets dialog on Linux and does nothing without one.
    QApplication app(argc, argv);
    nameTheApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral(FWU_APP_ID));
    const StartupOptions options = StartupOptions::parse(QCoreApplication::arguments());

    // Before the controller (it empties the download folder) and the engine (it opens the device).
    SingleInstanceLock instanceLock(SingleInstanceLock::pathFor(
        hooks.instanceLockName.isEmpty() ? QCoreApplication::applicationName()
                                         : hooks.instanceLockName));
    switch (instanceLock.acquire()) {
    case SingleInstanceLock::Result::Acquired:
        break;
    case SingleInstanceLock::Result::HeldByAnother:
        // The running copy comes forward and opens the file; only a copy that does not answer
        // leaves the user a message.
        if (FileHandOff::handTo(FileHandOff::channelFor(instanceLock.path()), options.file))
            return 0;
        qWarning().noquote() << "another copy is running (lock" << instanceLock.path() << "held)";
        reportAlreadyRunning(hooks);
        return ExitAlreadyRunning;
    case SingleInstanceLock::Result::Unavailable:
        qWarning().noquote() << "cannot create the lock" << instanceLock.path()
                             << "- running without protection against a second copy";
        break;
    }

    const AppPaths paths = AppPaths::forThisProgram();
    if (!paths.configFound)
        qWarning().noquote() << "no Config folder beside the program nor in its share folder "
                                "(looked in"
                             << paths.configDir << "and ../share/firmware-updater/Config/)";

    installAccessibilityFixes();
    qmlRegisterType<TreeViewModel>("TreeViewModel", 1, 0, "TreeViewModel");
    auto *treeModel = new TreeViewModel; // lives until the process ends

    auto *task = new MainTask;
    task->setStartDelay(options.startDelayMs);
    // The window opens the accessory the user's choice names, and holds its lock while open.
    static AccessoryLocks accessoryLocks;
    task->setAccessoryLocks(&accessoryLocks);
    task->setDeviceClaim(
        [](const std::string &path) {
            return accessoryLocks.claim(QByteArray::fromStdString(path));
        },
        [](const std::string &path) { accessoryLocks.release(QByteArray::fromStdString(path)); });
    task->moveToThread(&workerThread);
    QObject::connect(&workerThread, &QThread::finished, task, &QObject::deleteLater);

    int result = 0;
    {
        if (hooks.beforeController)
            hooks.beforeController();
        BackEnd backend(paths);
        backend.setNetworkFirmwareForced(options.networkFirmware);
        backend.followUserLanguage();
        backend.keepRecords(
            QStringLiteral(FWU_VERSION),
            {QStringLiteral("hidapi: %1").arg(QStringLiteral(HID_API_VERSION_STR))});
        // Made after the controller so that it goes first at the end: the window's bindings on
        // the controller never see it destroyed.
        QQmlApplicationEngine engine;
        engine.rootContext()->setContextProperty(QStringLiteral("myModel"), treeModel);
        engine.rootContext()->setContextProperty(QStringLiteral("backend"), &backend);
        backend.treeModel = treeModel;
        engine.rootContext()->setContextProperty(QStringLiteral("appdir"),
                                                 QCoreApplication::applicationDirPath());
        engine.rootContext()->setContextProperty(QStringLiteral("configdir"), paths.configDir);
        connectControllerAndEngine(&backend, task);
        // The engine starts only now that every report it sends has a receiver: however long the
        // controller took to build, its first "connected" report and the identity are not lost.
        workerThread.start();
        emit task->StartTask();

        QObject::connect(
            &engine, &QQmlApplicationEngine::objectCreated, &app,
            [mainUrl](QObject *obj, const QUrl &objUrl) {
                if (!obj && objUrl == mainUrl)
                    QCoreApplication::exit(-1);
            },
            Qt::QueuedConnection);
        engine.load(mainUrl);
        if (options.exitAfterFirstFrame)
            exitAfterFirstFrame(engine);

        backend.applyLanguage();
        backend.initLanguageComboBox();
        openHandedFile(engine, backend, options.file);
        FileHandOff handOff;
        QObject::connect(&handOff, &FileHandOff::received, &engine, [&](const QUrl &file) {
            comeForward(engine);
            openHandedFile(engine, backend, file);
        });
        if (instanceLock.path().isEmpty()
            || !handOff.listen(FileHandOff::channelFor(instanceLock.path())))
            qWarning().noquote() << "a second copy cannot hand its file to this one";

        // Ended by the system (SIGTERM): as the window's own close, the engine stopped first.
        InterruptWatcher endedBySystem(false);
        QObject::connect(&endedBySystem, &InterruptWatcher::terminated, &backend, [&backend] {
            backend.windowsClose();
            QCoreApplication::quit();
        });
        result = app.exec();
        // Every way out of the event loop stops the engine first: a running QThread that reaches
        // its static destructor aborts the process.
        stopWorkerThread();
    }
    return result;
}
