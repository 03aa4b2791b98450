#include "Startup.h"

#include "BackEnd.h"
#include "MainTask.h"
#include "TreeViewModel.h"
#include "WorkerThread.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QThread>

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
}

} // namespace

int runFirmwareUpdater(int &argc, char **argv, const QUrl &mainUrl)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    // QApplication rather than QGuiApplication: the native file dialog of Qt.labs.platform falls
    // back to a Qt Widgets dialog on Linux and does nothing without one.
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Some organization"));

    QQmlApplicationEngine engine;
    qmlRegisterType<TreeViewModel>("TreeViewModel", 1, 0, "TreeViewModel");

    auto *treeModel = new TreeViewModel; // lives until the process ends
    engine.rootContext()->setContextProperty(QStringLiteral("myModel"), treeModel);

    auto *task = new MainTask;
    task->moveToThread(&workerThread);
    QObject::connect(&workerThread, &QThread::finished, task, &QObject::deleteLater);
    workerThread.start();
    // Queued onto the worker thread; the engine's first second of sleep keeps its first reports
    // after the connections below.
    emit task->StartTask();

    int result = 0;
    {
        BackEnd backend;
        engine.rootContext()->setContextProperty(QStringLiteral("backend"), &backend);
        backend.treeModel = treeModel;
        engine.rootContext()->setContextProperty(QStringLiteral("appdir"),
                                                 QCoreApplication::applicationDirPath());
        connectControllerAndEngine(&backend, task);

        QObject::connect(
            &engine, &QQmlApplicationEngine::objectCreated, &app,
            [mainUrl](QObject *obj, const QUrl &objUrl) {
                if (!obj && objUrl == mainUrl)
                    QCoreApplication::exit(-1);
            },
            Qt::QueuedConnection);
        engine.load(mainUrl);

        backend.applyLanguage();
        backend.initLanguageComboBox();

        result = app.exec();
        // Every way out of the event loop stops the engine first: a running QThread that reaches
        // its static destructor aborts the process.
        stopWorkerThread();
    }
    return result;
}
