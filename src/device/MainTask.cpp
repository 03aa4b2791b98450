#include "MainTask.h"

#include "DeviceLog.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <hidapi.h>

Q_LOGGING_CATEGORY(lcDevice, "fwu.device")

MainTask::MainTask()
    : QObject(nullptr)
{
    connect(this, &MainTask::StartTask, this, &MainTask::SendDataLooper);
}

MainTask::~MainTask() = default;

void MainTask::SendDataLooper()
{
    hid_init();
    QThread::msleep(startDelayMs);
    timerId = startTimer(1, Qt::CoarseTimer);
    // Time is counted in passes rather than by the clock: every wait of the link and the update
    // is a number of passes, and each pass lasts at least the 1 ms of its own event loop.
    for (;;) {
        passes.fetch_add(1, std::memory_order_relaxed);
        RunPassWork();
        QEventLoop pass;
        QTimer::singleShot(1, &pass, &QEventLoop::quit);
        pass.exec();
        if (QThread::currentThread()->isInterruptionRequested())
            break;
    }
    killTimer(timerId);
}

void MainTask::RunPassWork()
{
    PollDevice();
    if (updateRequested && !UpdateStep())
        updateRequested = false;
}

void MainTask::SetFilePath(QString path)
{
    filePath = FirmwareImage::resolvePath(path);
}

void MainTask::StartUpdate()
{
    if (updateRequested)
        return;
    updateRequested = true;
    step = 0;
}

void MainTask::timerEvent(QTimerEvent *)
{
    ReadReply();
}
