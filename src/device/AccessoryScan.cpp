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

namespace {

// The matching interfaces in enumeration order, those of one serial number gathered into one.
QVector<Accessory> enumerateAccessories()
{
    hid_init();
    hid_device_info *list = hid_enumerate(DeviceFrame::vendorId, DeviceFrame::productId);
    QVector<Accessory> found;
    for (const hid_device_info *entry = list; entry; entry = entry->next) {
        if (!entry->path)
            continue;
        const QString serial
            = entry->serial_number ? QString::fromWCharArray(entry->serial_number) : QString();
        const auto same = std::find_if(found.begin(), found.end(), [&](const Accessory &a) {
            return !serial.isEmpty() && a.serial == serial;
        });
        if (same != found.end()) {
            same->interfaces << entry->path;
            continue;
        }
        Accessory a;
        a.path = entry->path;
        a.interfaces << a.path;
        a.serial = serial;
        found << a;
    }
    hid_free_enumeration(list);
    return found;
}

bool heldElsewhere(const AccessoryLocks &locks, const Accessory &a)
{
    return std::any_of(a.interfaces.begin() + 1, a.interfaces.end(), [&](const QByteArray &path) {
        return !locks.holds(path) && AccessoryLocks::heldByAnother(path);
    });
}

} // namespace

QVector<Accessory> scanAccessories(AccessoryLocks &locks, bool askIdentity)
{
    QVector<Accessory> found = enumerateAccessories();
    for (Accessory &a : found) {
        // Opening a device another copy holds would disturb its update: it is only named.
        const bool ours = locks.holds(a.path);
        if (heldElsewhere(locks, a) || (!ours && !locks.claim(a.path))) {
            a.state = Accessory::State::Busy;
            continue;
        }
        if (askIdentity) {
            if (hid_device *device = hid_open_path(a.path.constData())) {
                a.identity = queryIdentity(device);
                a.v20 = !a.identity.isNull();
                hid_close(device);
            } else {
                const wchar_t *reason = hid_error(nullptr);
                qCWarning(lcDevice) << "cannot open" << a.path << ":"
                                    << (reason ? QString::fromWCharArray(reason) : QString());
                a.state = Accessory::State::CannotOpen;
            }
        }
        if (!ours)
            locks.release(a.path);
    }
    return found;
}
