// Devices of the stand-in hidapi library, described by the environment of the process that loads
// it, so that a test can run the real command-line program against them:
//   FWU_SIM_DEVICES   ";"-separated: "v20:IDENTITY", "v20", "legacy", "unopenable", each
//                     optionally followed by ",key=value" settings of that device alone:
//                     serial=S, path=P, ack=MS (reply delay), attach=MS (plugged in this long
//                     after the program starts), detach=MS (unplugged then), detach-block=N,
//                     withhold-block=N (block N, from 0, is never acknowledged)
//   FWU_SIM_ACK_DELAY_MS   delay of every reply, in ms
//   FWU_SIM_ATTACH_AFTER_MS   the devices are plugged in this long after the program starts
//   FWU_SIM_DETACH_AFTER_BLOCK n   the first device goes away after receiving block n
//   FWU_SIM_FAIL_WRITE k   the k-th write fails
//   FWU_SIM_FULL_SPEED=1   the full-speed link timing
//   FWU_SIM_DUMP path   at exit: the first device's reassembled image to path, and a summary to
//                       path.log ("headers N", "command 0xCC" per distinct header command,
//                       "errors N"); the n-th device's (n >= 2) to path.n and path.n.log
#include "SimHid.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <vector>

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

// One device of FWU_SIM_DEVICES: its options, and its scripted times and faults.
struct Described
{
    SimHid::DeviceOptions options;
    int attachMs = 0;
    int detachMs = -1;
    int detachBlock = -1;
    int withholdBlock = -1;
};

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

Described describe(const QString &entry, int ackDelayMs)
{
    const QStringList parts = entry.split(',');
    Described d {optionsFor(parts.first(), ackDelayMs)};
    for (const QString &setting : parts.mid(1)) {
        const QString key = setting.section('=', 0, 0).trimmed();
        const QString value = setting.section('=', 1).trimmed();
        const int number = value.toInt();
        if (key == QLatin1String("serial"))
            d.options.serial = value.toUtf8();
        else if (key == QLatin1String("path"))
            d.options.path = value.toUtf8();
        else if (key == QLatin1String("ack"))
            d.options.ackDelayMs = number;
        else if (key == QLatin1String("attach"))
            d.attachMs = number;
        else if (key == QLatin1String("detach"))
            d.detachMs = number;
        else if (key == QLatin1String("detach-block"))
            d.detachBlock = number;
        else if (key == QLatin1String("withhold-block"))
            d.withholdBlock = number;
    }
    return d;
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
    std::vector<int> ids; // in the order of FWU_SIM_DEVICES, 0 until attached
    QString dump;
    std::vector<std::thread> timers;

    EnvironmentDevices()
    {
        // Made first, so that the simulated devices outlive this object at exit.
        SimHid::reset();
        dump = qEnvironmentVariable("FWU_SIM_DUMP");
        if (qEnvironmentVariable("FWU_SIM_FULL_SPEED") == QLatin1String("1"))
            SimHid::setFullSpeedTiming(true);
        const int attachAfter = envNumber("FWU_SIM_ATTACH_AFTER_MS", 0);
        const int ackDelay = envNumber("FWU_SIM_ACK_DELAY_MS", 0);
        const QStringList entries
            = qEnvironmentVariable("FWU_SIM_DEVICES").split(';', Qt::SkipEmptyParts);
        ids.assign(std::size_t(entries.size()), 0);
        for (int i = 0; i < entries.size(); ++i) {
            Described d = describe(entries[i], ackDelay);
            // Devices without a time of their own share the common one.
            const int at = d.attachMs > 0 ? d.attachMs : attachAfter;
            if (i == 0 && d.detachBlock < 0)
                d.detachBlock = envNumber("FWU_SIM_DETACH_AFTER_BLOCK", -1);
            if (at <= 0 && d.detachMs < 0) {
                plug(i, d);
                continue;
            }
            timers.emplace_back([this, i, d, at] {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::max(at, 0)));
                plug(i, d);
                if (d.detachMs > at) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(d.detachMs - at));
                    SimHid::detach(ids[std::size_t(i)]);
                }
            });
        }
        if (const int k = envNumber("FWU_SIM_FAIL_WRITE", 0))
            SimHid::failWrite(k);
    }

    ~EnvironmentDevices()
    {
        for (std::thread &timer : timers) {
            if (timer.joinable())
                timer.join();
        }
        if (dump.isEmpty())
            return;
        for (int i = 0; i < int(ids.size()); ++i) {
            if (ids[std::size_t(i)])
                writeSummary(i == 0 ? dump : dump + '.' + QString::number(i + 1),
                             ids[std::size_t(i)]);
        }
    }

    void plug(int index, const Described &d)
    {
        const int id = SimHid::attach(d.options);
        if (d.detachBlock >= 0)
            SimHid::detachAfterBlock(id, uint32_t(d.detachBlock));
        if (d.withholdBlock >= 0)
            SimHid::withholdReply(id, SimHid::Stage::Block, uint32_t(d.withholdBlock));
        ids[std::size_t(index)] = id; // sized up front: each thread writes only its own slot
    }
};

const EnvironmentDevices environmentDevices;

} // namespace
