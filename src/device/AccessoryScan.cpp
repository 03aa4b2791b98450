// Enumerating the matching accessories and taking a short look at each: shared by the command
// line's commands and the window's list of accessories.
#include "AccessoryScan.h"

#include "DeviceFrame.h"
#include "DeviceLog.h"
#include "PrintableText.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <hidapi.h>
#include <iterator>

namespace {

// How long a device has to answer the identity request; one that does not is a legacy device.
constexpr int identityWaitMs = 300;

// Asks for the identity with the engine's own frame, twice as the engine does; null when the
// device does not answer.
QString queryIdentity(hid_device *device)
{
    uint8_t request[DeviceFrame::reportSize] = {};
    DeviceFrame::build(DeviceFrame::cmdDeviceIdRequest, nullptr, 0, request);
    hid_write(device, request, sizeof request);
    hid_write(device, request, sizeof request);
    QElapsedTimer clock;
    clock.start();
    uint8_t reply[DeviceFrame::reportSize] = {};
    while (clock.elapsed() < identityWaitMs) {
        // As the engine reads: a fresh buffer each time, and only a whole report is a reply.
        std::fill(std::begin(reply), std::end(reply), uint8_t(0));
        const int got = hid_read_timeout(device, reply, sizeof reply, 20);
        if (got < 0)
            break;
        if (got == 0) {
            QThread::msleep(2); // a read without a wait of its own would spin
            continue;
        }
        if (got < int(DeviceFrame::bodySize))
            continue;
        if (DeviceFrame::classify(reply) == DeviceFrame::Reply::DeviceId)
            return DeviceFrame::decodeIdentity(reply);
    }
    return QString();
}

} // namespace

QString Accessory::name() const
{
    return serial.isEmpty()
        ? QString::fromLocal8Bit(path)
        : QString::fromLocal8Bit(path) + QStringLiteral(" [") + printableText(serial) + ']';
}

QString Accessory::kind() const
{
    return state != State::Free ? QStringLiteral("?")
        : v20                   ? QStringLiteral("V20")
                                : QStringLiteral("legacy");
}

QVector<Accessory> scanAccessories(AccessoryLocks &locks, bool askIdentity)
{
    hid_init();
    hid_device_info *list = hid_enumerate(DeviceFrame::vendorId, DeviceFrame::productId);
    QVector<Accessory> found;
    for (const hid_device_info *entry = list; entry; entry = entry->next) {
        if (!entry->path)
            continue;
        Accessory a;
        a.path = entry->path;
        if (entry->serial_number)
            a.serial = QString::fromWCharArray(entry->serial_number);
        // Opening a device another copy holds would disturb its update: it is only named.
        const bool ours = locks.holds(a.path);
        if (!ours && !locks.claim(a.path)) {
            a.state = Accessory::State::Busy;
            found << a;
            continue;
        }
        if (askIdentity) {
            if (hid_device *device = hid_open_path(entry->path)) {
                a.identity = queryIdentity(device);
                a.v20 = !a.identity.isNull();
                hid_close(device);
            } else {
                const wchar_t *reason = hid_error(nullptr);
                qCWarning(lcDevice) << "cannot open" << entry->path << ":"
                                    << (reason ? QString::fromWCharArray(reason) : QString());
                a.state = Accessory::State::CannotOpen;
            }
        }
        if (!ours)
            locks.release(a.path);
        found << a;
    }
    hid_free_enumeration(list);
    return found;
}
