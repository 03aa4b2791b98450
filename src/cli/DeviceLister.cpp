#include "DeviceLister.h"

#include "CliOutput.h"
#include "DeviceFrame.h"
#include "ExitCode.h"
#include "MessageId.h"
#include "PrintableText.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>

#include <algorithm>
#include <hidapi.h>
#include <iterator>

Q_DECLARE_LOGGING_CATEGORY(lcCli)

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

QString describe(const CliOutput &out, const char *path)
{
    hid_device *device = hid_open_path(path);
    if (!device) {
        const wchar_t *reason = hid_error(nullptr);
        qCWarning(lcCli) << "cannot open" << path << ":"
                         << (reason ? QString::fromWCharArray(reason) : QString());
        return out.message(MessageId::DevicePermissionDenied);
    }
    const QString identity = queryIdentity(device);
    hid_close(device);
    // The identity is the device's own text: shown escaped, never as terminal control codes.
    return identity.isNull() ? QStringLiteral("legacy")
                             : QStringLiteral("V20  ") + printableText(identity);
}

} // namespace

int listDevices(const CliOutput &out, const QString &busyText)
{
    hid_init();
    hid_device_info *list = hid_enumerate(DeviceFrame::vendorId, DeviceFrame::productId);
    int found = 0;
    for (const hid_device_info *entry = list; entry; entry = entry->next) {
        if (!entry->path)
            continue;
        ++found;
        out.result(QString::fromLocal8Bit(entry->path) + QStringLiteral("  ")
                   + (busyText.isEmpty() ? describe(out, entry->path)
                                         : QStringLiteral("busy: ") + busyText)
                   + '\n');
    }
    hid_free_enumeration(list);
    if (found == 0) {
        out.errorMessage(MessageId::ConnectDeviceFirst);
        return ExitCode::NoDevice;
    }
    return ExitCode::Ok;
}
