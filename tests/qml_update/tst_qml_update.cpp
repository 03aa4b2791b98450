// Updates through the real main window, controller and engine, with simulated accessories in
// place of USB devices: the guard while writing, the mismatch question, and which of several
// accessories Update writes.
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

#include <type_traits>

namespace {

// The engine reports when an update runs once it has the signal; before that the test stands in.
template<typename Engine>
auto connectUpdateState(Engine *engine, BackEnd *backend, int)
    -> decltype(&Engine::sig_UpdateState, bool())
{
    QObject::connect(engine, &Engine::sig_UpdateState, backend, &BackEnd::slot_UpdateState);
    return true;
}

template<typename Engine> bool connectUpdateState(Engine *, BackEnd *, long)
{
    return false;
}

} // namespace

// The engine on the worker thread, wired to the controller as start-up wires them, and the
// simulated accessories the test plugs in.
class Rig : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool engineReportsUpdateState MEMBER reportsState CONSTANT)
public:
    BackEnd *backend = nullptr;
    bool reportsState = false;

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
        connect(task, &MainTask::sig_ChangeUsbConnectStatus, backend,
                &BackEnd::slot_MainTaskChangeUsbConnectStatus);
        connect(task, &MainTask::sig_ChangeProgressValue, backend,
                &BackEnd::slot_mainTaskChangeProgressValue);
        connect(task, &MainTask::sig_OutoutMsgToBackend, backend, &BackEnd::slot_MainTastOutputMsg);
        connect(task, &MainTask::sig_ReceiveV20DeviceID, backend, &BackEnd::slot_ReceiveDeviceID);
        reportsState = connectUpdateState(task, backend, 0);
        connect(backend, &BackEnd::sig_SetTarget, task, &MainTask::SetTarget);
        connect(task, &MainTask::sig_AccessoriesPresent, backend,
                &BackEnd::slot_AccessoriesPresent);
        connect(task, &MainTask::sig_AccessoryOpened, backend, &BackEnd::slot_AccessoryOpened);
        connect(task, &MainTask::sig_UpdateFailure, backend, &BackEnd::slot_UpdateFailure);
        connect(backend, &BackEnd::sig_SetExpectedSha256, task, &MainTask::SetExpectedSha256);
        connect(task, &MainTask::sig_ImageDigest, backend, &BackEnd::slot_ImageDigest);
        workerThread.start();
        emit task->StartTask();
    }

    // A V20 accessory naming itself `identity`, acknowledging each block after `ackDelayMs`.
    Q_INVOKABLE void plugIn(const QString &identity, int ackDelayMs)
    {
        SimHid::reset();
        SimHid::DeviceOptions options;
        options.identity = identity.toLatin1();
        options.ackDelayMs = ackDelayMs;
        device = SimHid::attach(options);
    }

    Q_INVOKABLE void unplug() { SimHid::reset(); }

    // One more V20 accessory, with a serial, beside those plugged in; returns its id.
    Q_INVOKABLE int plugInAnother(const QString &serial, const QString &identity)
    {
        SimHid::DeviceOptions options;
        options.identity = identity.toLatin1();
        options.serial = serial.toLatin1();
        options.ackDelayMs = 3;
        return SimHid::attach(options);
    }
    Q_INVOKABLE void loseAtBlock(int id, int block) { SimHid::detachAfterBlock(id, block); }
    Q_INVOKABLE int blocksReceived(int id) const { return SimHid::blocksReceived(id); }
    // Whether anything but identity requests has reached the accessory.
    Q_INVOKABLE bool written(int id) const
    {
        for (const QByteArray &report : SimHid::writes(id)) {
            if (!report.startsWith(QByteArray::fromHex("00AA55A0")))
                return true;
        }
        return false;
    }
    Q_INVOKABLE bool receivedWhole(int id, int size) const
    {
        return SimHid::receivedImage(id).left(size) == image(size);
    }
    Q_INVOKABLE double passes() const { return double(engine->passCount()); }

    // What the accessory holds, without the 0xFF fill of the last block.
    Q_INVOKABLE QByteArray received(int size) const
    {
        return SimHid::receivedImage(device).left(size);
    }

    Q_INVOKABLE QByteArray image(int size) const
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + 3) % 251);
        return bytes;
    }

    // The image as a local file; returns its file: URL as the file dialog gives it.
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
    int device = 0;
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

QUICK_TEST_MAIN_WITH_SETUP(qml_update, Setup)
#include "tst_qml_update.moc"
