#include "MainTask.h"

#include "DeviceLog.h"
#include "MessageId.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <hidapi.h>

Q_LOGGING_CATEGORY(lcDevice, "fwu.device")

MainTask::MainTask()
    : QObject(nullptr)
{
    // The failure reason crosses to the controller's thread by a queued connection.
    qRegisterMetaType<UpdateFailure>("UpdateFailure");
    connect(this, &MainTask::StartTask, this, &MainTask::SendDataLooper);
}

MainTask::~MainTask()
{
    closeDevice();
}

void MainTask::closeDevice()
{
    if (!device)
        return;
    hid_close(device);
    device = nullptr;
    if (releaseDevice)
        releaseDevice(openPath);
    emit sig_AccessoryOpened(QString());
}

void MainTask::SendDataLooper()
{
    hid_init();
    QThread::msleep(startDelayMs);
    // Time is counted in passes rather than by the clock: every wait of the link and the update
    // is a number of passes, and each pass that waits lasts at least its slot.
    do {
        RunOnePass();
    } while (!QThread::currentThread()->isInterruptionRequested());
    // The update stops where it stands, without a message; only its running state is withdrawn.
    endUpdate();
}

void MainTask::RunOnePass()
{
    passes.fetch_add(1, std::memory_order_relaxed);
    const Clock::time_point deadline = Clock::now() + passSlot;
    RunPassWork();
    waitForPassEnd(deadline);
}

void MainTask::RunPassWork()
{
    PollDevice();
    if (updateRequested && !UpdateStep())
        updateRequested = false;
}

// With a device open the wait is spent in the reads themselves, which return as soon as a report
// arrives; without one, in an event loop that sleeps until the slot ends. Either way at least one
// round of queued calls, and with a device one read, happen per pass, however long its work took.
void MainTask::waitForPassEnd(Clock::time_point deadline)
{
    while (device) {
        // A step that can act at once gets only a look at what has already arrived.
        const bool ready = nextStepReady();
        const int read = readReplyUntil(ready ? Clock::now() : deadline);
        QCoreApplication::processEvents();
        if (ready || nextStepReady() || Clock::now() >= deadline)
            return;
        if (read < 0)
            break; // a failing device: its reads would return at once
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || nextStepReady()) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop wait;
    QTimer::singleShot(int(left.count()), Qt::PreciseTimer, &wait, &QEventLoop::quit);
    wait.exec();
}

// One slice of the image's private copy per pass, so the loop keeps reading the device; true once
// the copy is whole and its digest is the one expected. A failure has been reported when the
// image is no longer being copied.
bool MainTask::imageSnapshotTaken()
{
    switch (image.snapshotSlice()) {
    case FirmwareImage::Snapshot::Pending:
        return false;
    case FirmwareImage::Snapshot::Failed:
        qCWarning(lcDevice) << "the image changed or became unreadable while it was copied";
        image.close();
        emit sig_OutoutMsgToBackend(MessageId::ReadFileFailed);
        return false;
    case FirmwareImage::Snapshot::Done:
        break;
    }
    const bool matches = expectedSha256.isEmpty() || image.sha256() == expectedSha256;
    emit sig_ImageDigest(image.sha256(), qint64(image.imageSize()), matches);
    if (!matches) {
        qCWarning(lcDevice) << "image SHA-256" << image.sha256() << "is not" << expectedSha256;
        image.close();
    }
    return matches;
}

void MainTask::SetExpectedSha256(QString sha256)
{
    expectedSha256 = sha256.trimmed().toLower();
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
