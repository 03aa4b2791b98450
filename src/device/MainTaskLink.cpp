// The device link of the engine: finding and opening the device, noticing its loss, the identity
// request and the reading of replies.
#include "MainTask.h"

#include "DeviceFrame.h"
#include "DeviceLog.h"

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
    if (device)
        pollOpenDevice();
    else
        pollClosedDevice();
}

bool MainTask::openPathEnumerated() const
{
    hid_device_info *list = hid_enumerate(DeviceFrame::vendorId, DeviceFrame::productId);
    bool found = false;
    for (const hid_device_info *entry = list; entry && !found; entry = entry->next)
        found = entry->path && openPath == entry->path;
    hid_free_enumeration(list);
    return found;
}

// The poll that opened the device only asked for its identity; the connection is signalled by the
// poll after it, once the device has stayed.
void MainTask::pollOpenDevice()
{
    if (openPathEnumerated()) {
        if (!reportedConnected) {
            emit sig_ChangeUsbConnectStatus(true);
            emit sig_OutoutMsgToBackend(MessageId::DeviceConnected);
            reportedConnected = true;
        }
        return;
    }
    hid_close(device);
    device = nullptr;
    isV20Device = false;
    emit sig_ReceiveV20DeviceID(noIdentity);
}

void MainTask::pollClosedDevice()
{
    if (reportedConnected) {
        emit sig_ChangeUsbConnectStatus(false);
        emit sig_OutoutMsgToBackend(MessageId::DeviceDisconnected);
        reportedConnected = false;
    }
    hid_device_info *list = hid_enumerate(DeviceFrame::vendorId, DeviceFrame::productId);
    if (list && list->path) {
        openPath = list->path;
        device = hid_open_path(openPath.c_str());
        if (device) {
            emit sig_ReceiveV20DeviceID(noIdentity);
            RequestDeviceId();
        }
    }
    hid_free_enumeration(list);
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
    if (!device)
        return;
    if (hid_read_timeout(device, inReport, sizeof inReport, 1) <= 0)
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
        // Each waiting step clears its own flag after its writes, so one flag set for all three
        // can only satisfy the step that is waiting now.
        ackStart = ackPrepare = ackBlock = true;
        return;
    }
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
