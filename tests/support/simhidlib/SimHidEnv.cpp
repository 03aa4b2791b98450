// Devices of the stand-in hidapi library, described by the environment of the process that loads
// it, so that a test can run the real command-line program against them:
//   FWU_SIM_DEVICES   ";"-separated: "v20:IDENTITY", "v20", "legacy", "unopenable"
//   FWU_SIM_ACK_DELAY_MS   delay of every reply, in ms
//   FWU_SIM_ATTACH_AFTER_MS   the devices are plugged in this long after the program starts
//   FWU_SIM_DETACH_AFTER_BLOCK n   the first device goes away after receiving block n
//   FWU_SIM_FAIL_WRITE k   the k-th write fails
//   FWU_SIM_DUMP path   at exit: the first device's reassembled image to path, and a summary to
//                       path.log ("headers N", "command 0xCC" per distinct header command,
//                       "errors N")
#include "SimHid.h"

#include <QFile>
#include <QSet>

#include <atomic>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

int envNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariable(name).toInt(&ok);
    return ok ? value : fallback;
}

SimHid::DeviceOptions optionsFor(const QString &description, int ackDelayMs)
{
    SimHid::DeviceOptions options;
    options.ackDelayMs = ackDelayMs;
    const QString kind = description.section(':', 0, 0).trimmed();
    if (kind == QLatin1String("legacy"))
        options.answersIdentity = false;
    if (kind == QLatin1String("unopenable"))
        options.refusesOpen = true;
    if (description.contains(':'))
        options.identity = description.section(':', 1).trimmed().toUtf8();
    return options;
}

void writeSummary(const QString &path, int device)
{
    QFile image(path);
    if (image.open(QIODevice::WriteOnly))
        image.write(SimHid::receivedImage(device));
    QFile log(path + QStringLiteral(".log"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    const QList<SimHid::BlockHeader> headers = SimHid::blockHeaders(device);
    log.write(QByteArray("headers ") + QByteArray::number(headers.size()) + '\n');
    QSet<int> seen;
    for (const SimHid::BlockHeader &header : headers) {
        if (!seen.contains(header.command)) {
            seen.insert(header.command);
            log.write(QByteArray("command 0x") + QByteArray::number(header.command, 16) + '\n');
        }
    }
    log.write(QByteArray("errors ") + QByteArray::number(SimHid::protocolErrors(device).size())
              + '\n');
}

struct EnvironmentDevices
{
    std::atomic<int> first {0};
    QString dump;
    std::thread plugIn;

    EnvironmentDevices()
    {
        // Made first, so that the simulated devices outlive this object at exit.
        SimHid::reset();
        dump = qEnvironmentVariable("FWU_SIM_DUMP");
        const int attachAfter = envNumber("FWU_SIM_ATTACH_AFTER_MS", 0);
        if (attachAfter <= 0) {
            attachAll();
            return;
        }
        plugIn = std::thread([this, attachAfter] {
            std::this_thread::sleep_for(std::chrono::milliseconds(attachAfter));
            attachAll();
        });
    }

    ~EnvironmentDevices()
    {
        if (plugIn.joinable())
            plugIn.join();
        if (first && !dump.isEmpty())
            writeSummary(dump, first);
    }

    void attachAll()
    {
        const int ackDelay = envNumber("FWU_SIM_ACK_DELAY_MS", 0);
        const QStringList descriptions
            = qEnvironmentVariable("FWU_SIM_DEVICES").split(';', Qt::SkipEmptyParts);
        int id = 0;
        for (const QString &description : descriptions) {
            const int attached = SimHid::attach(optionsFor(description, ackDelay));
            if (!id)
                id = attached;
        }
        const int detachAfter = envNumber("FWU_SIM_DETACH_AFTER_BLOCK", -1);
        if (id && detachAfter >= 0)
            SimHid::detachAfterBlock(id, uint32_t(detachAfter));
        if (const int k = envNumber("FWU_SIM_FAIL_WRITE", 0))
            SimHid::failWrite(k);
        first = id;
    }
};

const EnvironmentDevices environmentDevices;

} // namespace
