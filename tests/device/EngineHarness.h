#pragma once

#include "EngineRecorder.h"
#include "MainTask.h"
#include "SimHid.h"

#include <QTemporaryDir>
#include <QThread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// An engine running its real loop on a worker thread of its own, as the program runs it, with a
// recorder of its reports and helpers to write image files and to talk to it by queued calls.
class EngineHarness
{
public:
    // A pass slot of zero runs the engine's waits by their pass counts without their wall time.
    explicit EngineHarness(std::chrono::microseconds passSlot = std::chrono::milliseconds(1))
        : task(new MainTask)
        , recorder(task)
    {
        task->setStartDelay(0); // the first second only delays the test
        task->setPassSlot(passSlot);
        task->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, task, &QObject::deleteLater);
        thread.start();
        emit task->StartTask();
    }
    ~EngineHarness() { stop(); }

    // What the controller's shutdown does: the loop ends after its current pass.
    bool stop()
    {
        thread.requestInterruption();
        thread.quit();
        return thread.wait(30000);
    }

    void setFilePath(const QString &path)
    {
        QMetaObject::invokeMethod(task, "SetFilePath", Qt::QueuedConnection, Q_ARG(QString, path));
    }
    void startUpdate() { QMetaObject::invokeMethod(task, "StartUpdate", Qt::QueuedConnection); }

    QString writeImage(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QStringLiteral("image%1.bin").arg(++files));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    // A file of `size` bytes that takes no space: every byte reads as zero.
    QString writeSparseImage(qint64 size)
    {
        const QString path = dir.filePath(QStringLiteral("sparse%1.bin").arg(++files));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            return {};
        return path;
    }

    QString makeFifo()
    {
#ifdef Q_OS_UNIX
        const QString path = dir.filePath(QStringLiteral("image%1.fifo").arg(++files));
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) == 0)
            return path;
#endif
        return {};
    }

    // Waits until the connection is signalled; the attached device has then been asked for its
    // identity and, for a V20 device, has answered.
    bool waitConnected()
    {
        return recorder.waitFor(QStringLiteral("msg:4"));
    }
    // Waits for the end of the update: success or any failure message.
    bool waitForEnd()
    {
        return recorder.waitUntil(
            [this] {
                for (const char *end :
                     {"msg:0", "msg:1", "msg:2", "msg:6", "msg:7", "msg:8", "msg:9"})
                    if (recorder.events.contains(QLatin1String(end)))
                        return true;
                return false;
            },
            60000);
    }

    QThread thread;
    MainTask *task;
    EngineRecorder recorder;
    QTemporaryDir dir;
    int files = 0;
};

// Image bytes that differ from block to block and never look like the fill.
inline QByteArray testImage(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + i / 1024) & 0x7F);
    return bytes;
}

inline QByteArray withFill(const QByteArray &image)
{
    const int blocks = (image.size() + 1023) / 1024;
    return image.leftJustified(blocks * 1024, char(0xFF));
}
