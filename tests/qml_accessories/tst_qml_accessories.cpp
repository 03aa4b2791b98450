// Several simulated accessories behind the real main window, controller and engine, wired as
// start-up wires them: which accessory Update writes, and the list the window shows.
#include "AccessoryLocks.h"
#include "BackEnd.h"
#include "MainTask.h"
#include "QmlFixture.h"
#include "SimHid.h"
#include "WorkerThread.h"

#include <QDir>
#include <QFile>
#include <QQmlContext>
#include <QQmlEngine>
#include <QThread>
#include <QUrl>
#include <QtQuickTest>

class Rig : public QObject
{
    Q_OBJECT
public:
    BackEnd *backend = nullptr;

    Q_INVOKABLE void startEngine()
    {
        if (workerThread.isRunning())
            return;
        auto *task = new MainTask;
        engine = task;
        task->setStartDelay(0);
        task->setAccessoryLocks(&locks);
        task->setDeviceClaim([this](const std::string &p) { return locks.claim(p.c_str()); },
                             [this](const std::string &p) { locks.release(p.c_str()); });
        task->moveToThread(&workerThread);
        connect(&workerThread, &QThread::finished, task, &QObject::deleteLater);
        connect(backend, &BackEnd::sig_SetFilePath, task, &MainTask::SetFilePath);
        connect(backend, &BackEnd::sig_StartUpdate, task, &MainTask::StartUpdate);
        connect(backend, &BackEnd::sig_SetTarget, task, &MainTask::SetTarget);
        connect(task, &MainTask::sig_ChangeUsbConnectStatus, backend,
                &BackEnd::slot_MainTaskChangeUsbConnectStatus);
        connect(task, &MainTask::sig_ChangeProgressValue, backend,
                &BackEnd::slot_mainTaskChangeProgressValue);
        connect(task, &MainTask::sig_OutoutMsgToBackend, backend, &BackEnd::slot_MainTastOutputMsg);
        connect(task, &MainTask::sig_ReceiveV20DeviceID, backend, &BackEnd::slot_ReceiveDeviceID);
        connect(task, &MainTask::sig_UpdateState, backend, &BackEnd::slot_UpdateState);
        connect(task, &MainTask::sig_AccessoriesPresent, backend,
                &BackEnd::slot_AccessoriesPresent);
        connect(task, &MainTask::sig_AccessoryOpened, backend, &BackEnd::slot_AccessoryOpened);
            connect(task, &MainTask::sig_UpdateFailure, backend, &BackEnd::slot_UpdateFailure);
        workerThread.start();
        emit task->StartTask();
    }

    // A V20 accessory with a serial, acknowledging each block after a few milliseconds.
    Q_INVOKABLE int plugIn(const QString &serial, const QString &identity)
    {
        SimHid::DeviceOptions options;
        options.identity = identity.toLatin1();
        options.serial = serial.toLatin1();
        options.ackDelayMs = 3;
        return SimHid::attach(options);
    }

    Q_INVOKABLE double passes() const { return double(engine->passCount()); }
    Q_INVOKABLE void loseAtBlock(int device, int block) { SimHid::detachAfterBlock(device, block); }
    Q_INVOKABLE int blocksReceived(int device) const { return SimHid::blocksReceived(device); }
    // Whether anything but identity requests has reached the accessory.
    Q_INVOKABLE bool written(int device) const
    {
        for (const QByteArray &report : SimHid::writes(device)) {
            if (!report.startsWith(QByteArray::fromHex("00AA55A0")))
                return true;
        }
        return false;
    }
    Q_INVOKABLE bool receivedWhole(int device, int size) const
    {
        return SimHid::receivedImage(device).left(size) == image(size);
    }
    Q_INVOKABLE void unplugAll() { SimHid::reset(); }

    Q_INVOKABLE QString writeImage(int size) const
    {
        const QString path = QCoreApplication::applicationDirPath() + "/images/local.bin";
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(image(size)) != size)
            qFatal("cannot write the test image");
        return QUrl::fromLocalFile(path).toString();
    }

private:
    static QByteArray image(int size)
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + 3) % 251);
        return bytes;
    }

    AccessoryLocks locks;
    MainTask *engine = nullptr;
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        auto *fixture = new QmlFixture(engine);
        rig.backend = fixture->controller();
        engine->rootContext()->setContextProperty("rig", &rig);
    }

    void cleanupTestCase()
    {
        stopWorkerThread();
        SimHid::reset();
    }

private:
    Rig rig;
};

QUICK_TEST_MAIN_WITH_SETUP(qml_accessories, Setup)
#include "tst_qml_accessories.moc"
