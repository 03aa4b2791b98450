// The scripting and inspection side of the simulated devices.
#include "SimHid.h"
#include "SimRegistry.h"

#include <algorithm>

SimRegistry &SimRegistry::instance()
{
    static SimRegistry registry;
    return registry;
}

SimDevice *SimRegistry::find(int id)
{
    const auto it = devices.find(id);
    return it == devices.end() ? nullptr : it->second.get();
}

namespace SimHid {

namespace {

using Lock = std::lock_guard<std::mutex>;

SimRegistry &reg()
{
    return SimRegistry::instance();
}

// Runs f on the device under the lock; returns fallback when there is no such device.
template<typename F, typename R = std::invoke_result_t<F, SimDevice &>>
R withDevice(int id, F f, R fallback = R())
{
    Lock lock(reg().mutex);
    SimDevice *device = reg().find(id);
    return device ? f(*device) : fallback;
}

// Scripts the device under the lock; nothing happens when there is no such device.
template<typename F> void onDevice(int id, F f)
{
    Lock lock(reg().mutex);
    if (SimDevice *device = reg().find(id))
        f(*device);
}

} // namespace

void reset()
{
    Lock lock(reg().mutex);
    reg().devices.clear();
    reg().reversed = false;
    reg().fullSpeed = false;
    reg().failWriteIn = 0;
    reg().failWriteCount = 0;
    reg().writeAttempts = 0;
}

int attach(const DeviceOptions &options)
{
    Lock lock(reg().mutex);
    const int id = reg().nextId++;
    reg().devices[id] = std::make_unique<SimDevice>(id, options);
    return id;
}

void detach(int device)
{
    onDevice(device, [](SimDevice &d) { d.attached = false; });
    reg().replyQueued.notify_all();
}

QByteArray pathOf(int device)
{
    return withDevice(device, [](SimDevice &d) { return QByteArray::fromStdString(d.path); });
}

void setEnumerationReversed(bool reversed)
{
    Lock lock(reg().mutex);
    reg().reversed = reversed;
}

void setFullSpeedTiming(bool on)
{
    Lock lock(reg().mutex);
    reg().fullSpeed = on;
}

void withholdReply(int device, Stage stage, uint32_t block)
{
    onDevice(device, [=](SimDevice &d) { d.withheld[{stage, block}] = true; });
}

void corruptReply(int device, Stage stage, Corruption corruption, uint32_t block)
{
    onDevice(device, [=](SimDevice &d) { d.corrupted[{stage, block}] = corruption; });
}

void injectReport(int device, const QByteArray &body)
{
    onDevice(device, [&](SimDevice &d) {
        SimDevice::Body bytes {};
        const std::size_t length = std::size_t(std::min<int>(body.size(), 64));
        std::copy_n(body.constData(), length, bytes.begin());
        d.replies.push_back({bytes, SimDevice::Clock::now(), length});
    });
    reg().replyQueued.notify_all();
}

void failWrite(int k, int count)
{
    Lock lock(reg().mutex);
    reg().failWriteIn = k;
    reg().failWriteCount = count;
}

void detachAfterBlock(int device, uint32_t block)
{
    onDevice(device, [=](SimDevice &d) { d.detachAfter = block; });
}

void detachAfterWrites(int device, int count)
{
    onDevice(device, [=](SimDevice &d) { d.writesUntilDetach = count; });
}

void setOpenRefused(int device, bool refused)
{
    onDevice(device, [=](SimDevice &d) { d.options.refusesOpen = refused; });
}

int initCount()
{
    Lock lock(reg().mutex);
    return reg().initCount;
}

int writeAttempts()
{
    Lock lock(reg().mutex);
    return reg().writeAttempts;
}

QList<QByteArray> writes(int device)
{
    return withDevice(device, [](SimDevice &d) { return d.writes; });
}

QList<BlockHeader> blockHeaders(int device)
{
    return withDevice(device, [](SimDevice &d) { return d.headers; });
}

QByteArray receivedImage(int device)
{
    return withDevice(device, [](SimDevice &d) { return d.image; });
}

QStringList protocolErrors(int device)
{
    return withDevice(
        device, [](SimDevice &d) { return d.errors; },
        QStringList {QStringLiteral("no such device")});
}

QByteArray receivedDigest(int device)
{
    return withDevice(device, [](SimDevice &d) { return d.digest.result(); });
}

int blocksReceived(int device)
{
    return withDevice(device, [](SimDevice &d) { return d.blocksReceived; });
}

int openHandles(int device)
{
    return withDevice(device, [](SimDevice &d) { return d.openHandles; });
}

int identityRequests(int device)
{
    return withDevice(device, [](SimDevice &d) { return d.identityRequests; });
}

} // namespace SimHid
