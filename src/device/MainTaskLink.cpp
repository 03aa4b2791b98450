// The device link of the engine: finding and opening the device, noticing its loss, the identity
// request and the reading of replies.
#include "MainTask.h"

#include "AccessoryScan.h"
#include "DeviceFrame.h"
#include "DeviceLog.h"

#include <algorithm>
#include <cstring>

#include <hidapi.h>

namespace {
constexpr uint32_t pollInterval = 20; // passes
const QString noIdentity = QStringLiteral("*");
} // namespace

void MainTask::PollDevice()
{
    if (++pollCounter < pollInterval)
        return;
    pollCounter = 0;
    hid_device_info *list = hid_enumerate(DeviceFrame::vendorId, DeviceFrame::productId);
    if (accessoryLocks)
        reportAccessories(list);
    if (device)
        pollOpenDevice(list);
    else
        pollClosedDevice(list);
    hid_free_enumeration(list);
}

void MainTask::SetTarget(QString path)
{
    targetPath = path.toStdString();
}

// The look asks each new accessory its identity, which takes a moment for a legacy one: it is
// taken only when the set of paths changes, and never while an update is requested, so that the
// update's timing stays its own. Identities already known are not asked again.
void MainTask::reportAccessories(const hid_device_info *list)
{
    std::set<std::string> paths;
    for (const hid_device_info *entry = list; entry; entry = entry->next) {
        if (entry->path)
            paths.insert(entry->path);
    }
    if (paths == enumeratedPaths && !accessoriesPending)
        return;
    if (updateRequested) {
        accessoriesPending = true;
        return;
    }
    accessoriesPending = false;
    enumeratedPaths = paths;
    for (auto it = knownIdentities.begin(); it != knownIdentities.end();)
        it = paths.count(it->first) ? std::next(it) : knownIdentities.erase(it);
    const bool askIdentity = std::any_of(paths.begin(), paths.end(), [this](const std::string &p) {
        return !knownIdentities.count(p);
    });
    QVariantList present;
    for (Accessory &a : scanAccessories(*accessoryLocks, askIdentity)) {
        const std::string path = a.path.toStdString();
        if (askIdentity && a.state == Accessory::State::Free)
            knownIdentities[path] = a.identity;
        else if (a.state == Accessory::State::Free && knownIdentities.count(path))
            a.identity = knownIdentities[path];
        a.v20 = !a.identity.isNull();
        const bool known = a.state == Accessory::State::Free && knownIdentities.count(path);
        present << QVariantMap {
            {QStringLiteral("path"), QString::fromStdString(path)},
            {QStringLiteral("serial"), a.serial},
            {QStringLiteral("identity"), a.identity},
            {QStringLiteral("kind"), known ? a.kind() : QStringLiteral("?")},
            {QStringLiteral("busy"), a.state == Accessory::State::Busy},
        };
    }
    emit sig_AccessoriesPresent(present);
}

bool MainTask::pathEnumerated(const hid_device_info *list, const std::string &path) const
{
    for (const hid_device_info *entry = list; entry; entry = entry->next) {
        if (entry->path && path == entry->path)
            return true;
    }
    return false;
}

// The poll that opened the device only asked for its identity; the connection is signalled by the
// poll after it, once the device has stayed.
void MainTask::pollOpenDevice(const hid_device_info *list)
{
    const bool stayed = pathEnumerated(list, openPath);
    // The window has named another accessory (or none): the link moves between updates only.
    const bool moved = accessoryLocks && !updateRequested && openPath != targetPath;
    if (stayed && !moved) {
        if (!reportedConnected) {
            emit sig_ChangeUsbConnectStatus(true);
            emit sig_OutoutMsgToBackend(MessageId::DeviceConnected);
            reportedConnected = true;
        }
        return;
    }
    closeDevice();
    isV20Device = false;
    emit sig_ReceiveV20DeviceID(noIdentity);
    // A move is no disconnection: the accessory is still plugged in, and the log does not say
    // otherwise; the next one opened is reported connected.
    if (stayed)
        reportedConnected = false;
}

void MainTask::pollClosedDevice(const hid_device_info *list)
{
    if (reportedConnected) {
        emit sig_ChangeUsbConnectStatus(false);
        emit sig_OutoutMsgToBackend(MessageId::DeviceDisconnected);
        reportedConnected = false;
    }
    // A refused device that has gone away is reported again when it next appears.
    for (auto it = refusedPaths.begin(); it != refusedPaths.end();)
        it = pathEnumerated(list, *it) ? std::next(it) : refusedPaths.erase(it);
    // The window's engine opens only what the window names; after a loss, nothing else.
    const auto wanted = [this](const hid_device_info *entry) {
        return entry->path && (targetPath.empty() ? !accessoryLocks : targetPath == entry->path);
    };
    int present = 0;
    for (const hid_device_info *entry = list; entry; entry = entry->next)
        present += wanted(entry) ? 1 : 0;
    // The first in enumeration order that no other copy holds and that opens.
    for (const hid_device_info *entry = list; entry && !device; entry = entry->next) {
        if (!wanted(entry))
            continue;
        if (!claimDevice || claimDevice(entry->path))
            tryOpen(entry->path, present);
        else
            noteTargetBusy(entry->path);
    }
}

// The window's accessory is held by another copy: the window is told (a look at the list again),
// once, and again when it is free and opened, so that it does not wait for one that never opens.
void MainTask::noteTargetBusy(const std::string &path)
{
    if (!accessoryLocks || busyTarget == path)
        return;
    busyTarget = path;
    accessoriesPending = true;
}

bool MainTask::tryOpen(const char *path, int present)
{
    openPath = path;
    device = hid_open_path(path);
    if (!device) {
        if (releaseDevice)
            releaseDevice(openPath);
        reportRefusedOpen();
        return false;
    }
    refusedPaths.erase(openPath);
    if (!busyTarget.empty()) {
        busyTarget.clear();
        accessoriesPending = true;
    }
    emit sig_AccessoryOpened(QString::fromStdString(openPath));
    if (present > 1 && !accessoryLocks)
        emit sig_DeviceChosen(QString::fromStdString(openPath), present);
    emit sig_ReceiveV20DeviceID(noIdentity);
    RequestDeviceId();
    return true;
}

// A device that is there but cannot be opened (on Linux, usually a hidraw node without access for
// the user) is said once per appearance, not at every poll that tries it again.
void MainTask::reportRefusedOpen()
{
    if (!refusedPaths.insert(openPath).second)
        return;
    const wchar_t *error = hid_error(nullptr);
    qCWarning(lcDevice).noquote() << "the device" << QString::fromStdString(openPath)
                                  << "was found but cannot be opened:"
                                  << (error ? QString::fromWCharArray(error)
                                            : QStringLiteral("no reason given"));
    emit sig_OutoutMsgToBackend(MessageId::DevicePermissionDenied);
}

void MainTask::RequestDeviceId()
{
    isV20Device = false;
    BuildFrame(DeviceFrame::cmdDeviceIdRequest, nullptr, 0, outReport);
    // Asked twice; a device that answers neither is a legacy device.
    hid_write(device, outReport, sizeof outReport);
    hid_write(device, outReport, sizeof outReport);
}

void MainTask::BuildFrame(uint8_t command, const uint8_t *payload, uint8_t length, uint8_t *buffer)
{
    DeviceFrame::build(command, payload, length, buffer);
}

void MainTask::ReadReply()
{
    if (device)
        readReplyUntil(Clock::now());
}

int MainTask::readReplyUntil(Clock::time_point deadline)
{
    if (!device)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    // Cleared first, so that nothing of an earlier report can pass for part of this one.
    std::memset(inReport, 0, sizeof inReport);
    const int length
        = hid_read_timeout(device, inReport, sizeof inReport,
                           int(std::max<std::chrono::milliseconds::rep>(0, left.count())));
    if (length <= 0)
        return length < 0 ? -1 : 0;
    dispatchReply(length);
    return 1;
}

void MainTask::dispatchReply(int length)
{
    // Only a whole report is a reply; a short read is dropped like a corrupt one.
    if (length < int(DeviceFrame::bodySize))
        return;
    switch (DeviceFrame::classify(inReport)) {
    case DeviceFrame::Reply::Invalid:
        return;
    case DeviceFrame::Reply::DeviceId:
        isV20Device = true;
        std::memcpy(deviceIdBytes, inReport + DeviceFrame::payloadOffset, sizeof deviceIdBytes);
        deviceId = DeviceFrame::decodeIdentity(inReport);
        emit sig_ReceiveV20DeviceID(deviceId);
        return;
    case DeviceFrame::Reply::Acknowledgement:
        // Each sending step discards what arrived before it and clears its own flag, so one flag
        // set for all three can only satisfy the step that is waiting now.
        ackStart = ackPrepare = ackBlock = true;
        return;
    }
}

// Replies that arrived before a command went out (a duplicate, a stray report) must not pass for
// its answer. Bounded, so that a device flooding reports cannot hold the step.
void MainTask::discardArrivedReplies()
{
    for (int i = 0; i < 64 && device && readReplyUntil(Clock::now()) > 0; ++i) { }
}

bool MainTask::writeOutReport(const QString &what)
{
    if (!device) {
        qCWarning(lcDevice) << "failed" << what << "to the device: it is no longer open";
        return false;
    }
    if (hid_write(device, outReport, sizeof outReport) != -1)
        return true;
    const wchar_t *error = hid_error(device);
    qCWarning(lcDevice) << "failed" << what << "to the device:"
                        << (error ? QString::fromWCharArray(error) : QStringLiteral("write error"));
    return false;
}
