// Figures of the update engine running its real loop on a worker thread against the simulated
// device: transfer time against the USB link's limit, passes per block, idle CPU and peak memory.
// Prints figures and asserts nothing.
#include "MainTask.h"
#include "SimHid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int imageBlocks = 256; // 256 KiB
constexpr double linkMsPerBlock = 18.0; // 17 writes of one 1 ms USB frame, then a 1 ms reply
constexpr int idleSeconds = 10;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One engine on its own worker thread, as the program runs it.
class Engine
{
public:
    Engine()
        : task(new MainTask)
    {
        task->setStartDelay(0);
        task->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, task, &QObject::deleteLater);
        QObject::connect(task, &MainTask::sig_OutoutMsgToBackend, &context,
                         [this](int id) { lastMessage = id; });
        thread.start();
        emit task->StartTask();
    }
    ~Engine()
    {
        thread.requestInterruption();
        thread.quit();
        thread.wait();
    }
    bool waitForMessage(int id, int timeoutMs = 120000)
    {
        QElapsedTimer clock;
        clock.start();
        while (lastMessage != id && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        return lastMessage == id;
    }
    void update(const QString &path)
    {
        lastMessage = -1;
        QMetaObject::invokeMethod(task, "SetFilePath", Qt::QueuedConnection, Q_ARG(QString, path));
        QMetaObject::invokeMethod(task, "StartUpdate", Qt::QueuedConnection);
    }

    QThread thread;
    MainTask *task;
    QObject context;
    int lastMessage = -1;
};

struct Transfer
{
    double seconds = 0;
    double passes = 0;
    bool ok = false;
};

Transfer transfer(const QString &image, bool fullSpeed)
{
    SimHid::reset();
    SimHid::setFullSpeedTiming(fullSpeed);
    SimHid::attach();
    Engine engine;
    Transfer result;
    if (!engine.waitForMessage(4))
        return result;
    QElapsedTimer clock;
    const quint64 passesBefore = engine.task->passCount();
    clock.start();
    engine.update(image);
    result.ok = engine.waitForMessage(9);
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.passes = double(engine.task->passCount() - passesBefore);
    return result;
}

double idleCpuPercent(bool withDevice)
{
    SimHid::reset();
    SimHid::setFullSpeedTiming(true); // reads wait their time-out, as on a real device
    if (withDevice)
        SimHid::attach();
    Engine engine;
    QThread::sleep(1); // let the device be opened and connected
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(idleSeconds);
    return (cpuSeconds() - cpuBefore) / (clock.nsecsElapsed() / 1e9) * 100.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("image.bin"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    QByteArray bytes(imageBlocks * 1024, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 13);
    file.write(bytes);
    file.close();

    std::printf("engine: %d KiB image, %d blocks\n", imageBlocks, imageBlocks);
    const Transfer link = transfer(image, true);
    const double limit = imageBlocks * linkMsPerBlock / 1000.0;
    std::printf("  (a) full-speed device: %.2f s total, %.2f ms per block, %.2f x the link limit "
                "of %.2f s (%d blocks x 18 ms)%s\n",
                link.seconds, link.seconds * 1000 / imageBlocks, link.seconds / limit, limit,
                imageBlocks, link.ok ? "" : " [update FAILED]");
    const Transfer instant = transfer(image, false);
    std::printf(
        "  (b) instant device:    %.2f s total, %.2f passes per block, %.2f ms per block%s\n",
        instant.seconds, instant.passes / imageBlocks, instant.seconds * 1000 / imageBlocks,
        instant.ok ? "" : " [update FAILED]");
    const double idleNoDevice = idleCpuPercent(false);
    const double idleDevice = idleCpuPercent(true);
    std::printf("  (c) idle engine over %d s: %.1f%% of one core without a device, %.1f%% with "
                "one attached\n",
                idleSeconds, idleNoDevice, idleDevice);
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  (d) peak memory (max RSS) of the whole run: %.1f MiB\n",
                usage.ru_maxrss / 1024.0);
    return 0;
}
