// Figures of the update engine running its real loop on a worker thread against the simulated
// device, each beside a bare baseline measured in the same run: transfer time against the device's
// own floor, passes per block against the step machine's floor, idle CPU against an empty 1 ms
// pass loop, and memory across image sizes and across 100 updates. Prints table rows, asserts
// nothing.
#include "DeviceFrame.h"
#include "MainTask.h"
#include "SimHid.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <hidapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int linkBlocks = 256; // 256 KiB over the full-speed link
constexpr int instantBlocks = 4096; // 4 MiB to the instant device
constexpr double linkMsPerBlock = 18.0; // 17 reports of one 1 ms frame each, then a 1 ms reply
constexpr int idleSeconds = 5;
constexpr int soakUpdates = 100;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double maxRssMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// One table row; a negative ratio is printed as "-" (a count, not a ratio).
void row(const char *measure, const QString &project, const QString &baseline, double ratio)
{
    const QString r = ratio < 0 ? QStringLiteral("-") : QString::number(ratio, 'f', 2);
    std::printf("| %s | %s | %s | %s |\n", measure, qPrintable(project), qPrintable(baseline),
                qPrintable(r));
    std::fflush(stdout);
}

QString figure(double value, const char *unit, int decimals = 2)
{
    return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(QLatin1String(unit));
}

SimHid::DeviceOptions benchDevice()
{
    SimHid::DeviceOptions options;
    options.keepsHistory = false; // counts and a digest only, so memory stays flat
    return options;
}

QByteArray imageBytes(qint64 size)
{
    QByteArray bytes(int(size), '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 13 + i / 1024);
    return bytes;
}

// Writes the image in chunks, so that writing a large one does not itself raise the peak memory.
bool writeImage(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 chunk = 64 * 1024;
    for (qint64 at = 0; at < size; at += chunk) {
        const QByteArray bytes = imageBytes(std::min(chunk, size - at));
        if (file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

// One engine on its own worker thread, as the program runs it.
class Engine
{
public:
    explicit Engine(const std::string &targetPath = std::string())
        : task(new MainTask)
    {
        task->setStartDelay(0);
        task->setTargetPath(targetPath);
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
    bool waitForMessage(int id, int timeoutMs = 300000)
    {
        QElapsedTimer clock;
        clock.start();
        while (lastMessage != id && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        return lastMessage == id;
    }
    void start(const QString &path)
    {
        lastMessage = -1;
        QMetaObject::invokeMethod(task, "SetFilePath", Qt::QueuedConnection, Q_ARG(QString, path));
        QMetaObject::invokeMethod(task, "StartUpdate", Qt::QueuedConnection);
    }
    bool update(const QString &path)
    {
        lastMessage = -1;
        QMetaObject::invokeMethod(task, "SetFilePath", Qt::QueuedConnection, Q_ARG(QString, path));
        QMetaObject::invokeMethod(task, "StartUpdate", Qt::QueuedConnection);
        return waitForMessage(MessageId::UpdateOk);
    }

    QThread thread;
    MainTask *task;
    QObject context;
    int lastMessage = -1;
};

struct Transfer
{
    double msPerBlock = 0;
    double passesPerBlock = 0;
    bool ok = false;
};

Transfer engineTransfer(const QString &image, int blocks, bool fullSpeed)
{
    SimHid::reset();
    SimHid::setFullSpeedTiming(fullSpeed);
    const int device = SimHid::attach(benchDevice());
    Engine engine;
    Transfer result;
    if (!engine.waitForMessage(MessageId::DeviceConnected))
        return result;
    QElapsedTimer clock;
    const quint64 passesBefore = engine.task->passCount();
    clock.start();
    result.ok = engine.update(image) && SimHid::blocksReceived(device) == blocks
        && SimHid::protocolErrors(device).isEmpty();
    result.msPerBlock = clock.nsecsElapsed() / 1e6 / blocks;
    result.passesPerBlock = double(engine.task->passCount() - passesBefore) / blocks;
    return result;
}

bool writeReport(hid_device *device, const uint8_t *report)
{
    return hid_write(device, report, DeviceFrame::reportSize) == int(DeviceFrame::reportSize);
}

bool awaitReply(hid_device *device)
{
    uint8_t reply[DeviceFrame::reportSize];
    for (;;) {
        const int length = hid_read_timeout(device, reply, sizeof reply, 1000);
        if (length <= 0)
            return false;
        if (DeviceFrame::classify(reply) == DeviceFrame::Reply::Acknowledgement)
            return true;
    }
}

// The device's own floor: the protocol's writes and reads in a bare loop, no engine.
double bareTransferMsPerBlock(int blocks, bool fullSpeed)
{
    SimHid::reset();
    SimHid::setFullSpeedTiming(fullSpeed);
    const int id = SimHid::attach(benchDevice());
    hid_device *device = hid_open_path(SimHid::pathOf(id).constData());
    if (!device)
        return 0;
    uint8_t report[DeviceFrame::reportSize] = {};
    writeReport(device, report);
    for (uint8_t command : {DeviceFrame::cmdStart, DeviceFrame::cmdPrepare}) {
        DeviceFrame::build(command, nullptr, 0, report);
        writeReport(device, report);
        awaitReply(device);
    }
    const QByteArray block = imageBytes(1024);
    uint32_t checksum = 0;
    for (char c : block)
        checksum += uint8_t(c);
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < blocks; ++k) {
        uint8_t payload[8];
        DeviceFrame::putBigEndian(uint32_t(k), payload);
        DeviceFrame::putBigEndian(checksum, payload + 4);
        DeviceFrame::build(DeviceFrame::cmdV20Block, payload, 8, report);
        writeReport(device, report);
        for (int r = 0; r < 16; ++r) {
            std::memcpy(report + 1, block.constData() + r * 64, 64);
            writeReport(device, report);
        }
        awaitReply(device);
    }
    const double ms = clock.nsecsElapsed() / 1e6 / blocks;
    hid_close(device);
    return ms;
}

// An empty pass loop: what a worker thread costs that only waits 1 ms per pass.
class BareLoop : public QThread
{
protected:
    void run() override
    {
        while (!isInterruptionRequested()) {
            QEventLoop pass;
            QTimer::singleShot(1, &pass, &QEventLoop::quit);
            pass.exec();
        }
    }
};

double cpuPercentOver(int seconds)
{
    const double before = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(seconds);
    return (cpuSeconds() - before) / (clock.nsecsElapsed() / 1e9) * 100.0;
}

double idleEngineCpu(bool withDevice)
{
    SimHid::reset();
    SimHid::setFullSpeedTiming(true);
    if (withDevice)
        SimHid::attach(benchDevice());
    Engine engine;
    QThread::msleep(200); // let the device be opened and connected
    return cpuPercentOver(idleSeconds);
}

double bareLoopCpu()
{
    BareLoop loop;
    loop.start();
    const double percent = cpuPercentOver(idleSeconds);
    loop.requestInterruption();
    loop.wait();
    return percent;
}

// Child mode: one update of an image of the given size, then the peak memory in KiB.
int memoryRun(qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    if (!writeImage(path, size))
        return 1;
    SimHid::reset();
    SimHid::attach(benchDevice());
    bool ok = false;
    {
        Engine engine;
        ok = engine.waitForMessage(MessageId::DeviceConnected) && engine.update(path);
    }
    std::printf("%.0f %d\n", maxRssMiB() * 1024, ok ? 1 : 0);
    return 0;
}

// Peak memory of a fresh process updating an image of `size` bytes, in MiB; negative on failure.
double childPeakMiB(const QString &program, qint64 size)
{
    QProcess child;
    child.start(program, {QStringLiteral("--memory"), QString::number(size)});
    if (!child.waitForFinished(600000))
        return -1;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2 || fields[1] != "1")
        return -1;
    return fields[0].toDouble() / 1024.0;
}

void soak(const QString &image)
{
    SimHid::reset();
    const int device = SimHid::attach(benchDevice());
    QFile file(image);
    file.open(QIODevice::ReadOnly);
    const QByteArray expected = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
    file.close();
    Engine engine;
    engine.waitForMessage(MessageId::DeviceConnected);
    int mismatches = 0;
    double rssAfter[3] = {};
    for (int n = 1; n <= soakUpdates; ++n) {
        const bool ok = engine.update(image) && SimHid::receivedDigest(device) == expected
            && SimHid::protocolErrors(device).isEmpty();
        mismatches += ok ? 0 : 1;
        if (n == 1)
            rssAfter[0] = maxRssMiB();
        else if (n == 10)
            rssAfter[1] = maxRssMiB();
        else if (n == soakUpdates)
            rssAfter[2] = maxRssMiB();
    }
    row("soak: updates whose image differs on the device",
        QStringLiteral("%1 of %2").arg(mismatches).arg(soakUpdates),
        QStringLiteral("0 of %1").arg(soakUpdates), -1);
    row("soak: max RSS after 10 updates", figure(rssAfter[1], "MiB", 1),
        figure(rssAfter[0], "MiB after 1", 1), rssAfter[1] / rssAfter[0]);
    row("soak: max RSS after 100 updates", figure(rssAfter[2], "MiB", 1),
        figure(rssAfter[0], "MiB after 1", 1), rssAfter[2] / rssAfter[0]);
}

} // namespace

// `--multi N IMAGE` in a child of its own, so that its peak memory is its own: N full-speed
// accessories (a link each), one engine per accessory on its own thread targeting its path, as
// `flash --all` runs them. Prints "<ms> <cpu s> <max RSS KiB> <all ok>".
int multiRun(int count, const QString &image)
{
    SimHid::reset();
    SimHid::setFullSpeedTiming(true);
    QList<int> devices;
    for (int i = 0; i < count; ++i)
        devices << SimHid::attach(benchDevice());
    std::vector<std::unique_ptr<Engine>> engines;
    for (int id : devices)
        engines.push_back(std::make_unique<Engine>(SimHid::pathOf(id).toStdString()));
    for (auto &engine : engines) {
        if (!engine->waitForMessage(MessageId::DeviceConnected))
            return 1;
    }
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (auto &engine : engines)
        engine->start(image);
    // Waited in an event loop that sleeps, so that the CPU figures are the engines' own.
    const auto allEnded = [&] {
        return std::all_of(engines.begin(), engines.end(), [](const auto &engine) {
            return engine->lastMessage == MessageId::UpdateOk
                || engine->lastMessage == MessageId::UpdateFailed;
        });
    };
    QEventLoop wait;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &wait, [&] {
        if (allEnded() || clock.elapsed() > 600000)
            wait.quit();
    });
    check.start(5);
    wait.exec();
    const qint64 ms = clock.elapsed();
    bool ok = true;
    for (auto &engine : engines)
        ok = ok && engine->lastMessage == MessageId::UpdateOk;
    for (int id : devices)
        ok = ok && SimHid::blocksReceived(id) == linkBlocks && SimHid::protocolErrors(id).isEmpty();
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld %.3f %ld %d\n", qint64(ms), cpuSeconds() - cpuBefore, usage.ru_maxrss,
                ok ? 1 : 0);
    return 0;
}

struct MultiFigures
{
    double ms = 0, cpu = 0, rssMiB = 0;
    bool ok = false;
};

MultiFigures multiFigures(int count, const QString &image)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--multi"), QString::number(count), image});
    MultiFigures f;
    if (!child.waitForFinished(600000))
        return f;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 4)
        return f;
    f.ms = fields[0].toDouble();
    f.cpu = fields[1].toDouble();
    f.rssMiB = fields[2].toDouble() / 1024.0;
    f.ok = fields[3] == "1";
    return f;
}

void multiRows(const QString &image)
{
    const MultiFigures one = multiFigures(1, image);
    const MultiFigures eight = multiFigures(8, image);
    const char *failed = one.ok && eight.ok ? "" : " FAILED";
    row("--all: 8 full-speed accessories against 1 alone, total time",
        figure(eight.ms / 1000.0, "s (8)") + failed, figure(one.ms / 1000.0, "s (1)"),
        one.ms > 0 ? eight.ms / one.ms : 0);
    row("--all: CPU per added accessory", figure((eight.cpu - one.cpu) / 7.0, "s") + failed,
        figure(one.cpu, "s (1 accessory)"),
        one.cpu > 0 ? (eight.cpu - one.cpu) / 7.0 / one.cpu : 0);
    row("--all: peak RSS per added accessory",
        figure((eight.rssMiB - one.rssMiB) / 7.0, "MiB") + failed,
        figure(one.rssMiB, "MiB (1 accessory)"), -1);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--memory"))
        return memoryRun(args[2].toLongLong());
    if (args.size() == 4 && args[1] == QLatin1String("--multi"))
        return multiRun(args[2].toInt(), args[3]);

    QTemporaryDir dir;
    const QString linkImage = dir.filePath(QStringLiteral("link.bin"));
    const QString instantImage = dir.filePath(QStringLiteral("instant.bin"));
    if (!writeImage(linkImage, linkBlocks * 1024)
        || !writeImage(instantImage, instantBlocks * 1024))
        return 1;

    const double floor = bareTransferMsPerBlock(linkBlocks, true);
    row("full-speed device's own floor (bare loop, 17 writes + 1 read a block)",
        figure(floor, "ms/block"), figure(linkMsPerBlock, "ms/block (link)"),
        floor / linkMsPerBlock);
    const Transfer link = engineTransfer(linkImage, linkBlocks, true);
    const char *failed = link.ok ? "" : " FAILED";
    row("update of 256 blocks, full-speed device", figure(link.msPerBlock, "ms/block") + failed,
        figure(linkMsPerBlock, "ms/block (link)"), link.msPerBlock / linkMsPerBlock);
    row("update of 256 blocks, full-speed device, against its floor",
        figure(link.msPerBlock, "ms/block") + failed, figure(floor, "ms/block (bare loop)"),
        link.msPerBlock / floor);

    multiRows(linkImage);

    const Transfer instant = engineTransfer(instantImage, instantBlocks, false);
    failed = instant.ok ? "" : " FAILED";
    row("update of 4096 blocks, instant device: passes",
        figure(instant.passesPerBlock, "passes/block", 3) + failed,
        QStringLiteral("2 passes/block (step machine)"), instant.passesPerBlock / 2.0);
    const double instantFloor = bareTransferMsPerBlock(instantBlocks, false);
    row("update of 4096 blocks, instant device: time",
        figure(instant.msPerBlock, "ms/block", 3) + failed,
        figure(instantFloor, "ms/block (bare loop)", 3), instant.msPerBlock / instantFloor);

    const double bare = bareLoopCpu();
    const double idleNone = idleEngineCpu(false);
    const double idleDevice = idleEngineCpu(true);
    row("idle engine, no device: CPU", figure(idleNone, "% of a core"),
        figure(bare, "% (empty 1 ms pass loop)"), idleNone / bare);
    row("idle engine, device attached: CPU", figure(idleDevice, "% of a core"),
        figure(bare, "% (empty 1 ms pass loop)"), idleDevice / bare);

    const double small = childPeakMiB(app.applicationFilePath(), 256 * 1024);
    for (qint64 mib : {4, 64}) {
        const double peak = childPeakMiB(app.applicationFilePath(), mib * 1024 * 1024);
        const QByteArray measure = QStringLiteral("max RSS updating %1 MiB").arg(mib).toUtf8();
        row(measure.constData(), peak < 0 ? QStringLiteral("failed") : figure(peak, "MiB", 1),
            figure(small, "MiB (256 KiB image)", 1), peak < 0 ? -1 : peak / small);
    }
    soak(linkImage);
    return 0;
}
