// The hidapi functions the engine calls, implemented over the simulated devices, with the exact
// signatures of the system's header so that the engine's code links against either library.
#include "SimRegistry.h"

#include <hidapi.h>

#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct hid_device_
{
    int device;
};

namespace {

using namespace std::chrono_literals;

using Registry = SimRegistry;

Registry &registry()
{
    return SimRegistry::instance();
}

SimDevice *find(Registry &r, int id)
{
    return r.find(id);
}

SimDevice *live(Registry &r, const hid_device *handle)
{
    SimDevice *device = handle ? find(r, handle->device) : nullptr;
    return device && device->attached ? device : nullptr;
}

const wchar_t *const simError = L"simulated device: not attached or write refused";
const wchar_t *const openError = L"simulated device: Permission denied";

} // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    ++r.initCount;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    return 0;
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    auto add = [&](const SimDevice &device) {
        if (!device.attached || (vendor_id && device.options.vendorId != vendor_id)
            || (product_id && device.options.productId != product_id))
            return;
        auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
        info->path = strdup(device.path.c_str());
        if (!device.options.serial.isEmpty()) {
            const std::wstring serial = QString::fromUtf8(device.options.serial).toStdWString();
            info->serial_number
                = static_cast<wchar_t *>(std::calloc(serial.size() + 1, sizeof(wchar_t)));
            std::copy(serial.begin(), serial.end(), info->serial_number);
        }
        info->vendor_id = device.options.vendorId;
        info->product_id = device.options.productId;
        info->interface_number = 0;
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    };
    if (r.reversed) {
        for (auto it = r.devices.rbegin(); it != r.devices.rend(); ++it)
            add(*it->second);
    } else {
        for (const auto &entry : r.devices)
            add(*entry.second);
    }
    return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const auto &entry : r.devices) {
        SimDevice &device = *entry.second;
        if (device.attached && path && device.path == path) {
            if (device.options.refusesOpen)
                return nullptr;
            ++device.openHandles;
            return new hid_device {device.id};
        }
    }
    return nullptr;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    if (!dev)
        return;
    Registry &r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        if (SimDevice *device = find(r, dev->device))
            --device->openHandles;
    }
    delete dev;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    Registry &r = registry();
    std::unique_lock<std::mutex> lock(r.mutex);
    ++r.writeAttempts;
    if (r.failWriteIn > 0 && --r.failWriteIn == 0) {
        if (--r.failWriteCount > 0)
            r.failWriteIn = 1;
        return -1;
    }
    SimDevice *device = live(r, dev);
    if (!device || !data)
        return -1;
    const auto now = SimDevice::Clock::now();
    auto onLink = now;
    auto replyAt = now + std::chrono::milliseconds(device->options.ackDelayMs);
    if (r.fullSpeed) {
        // One frame per report on an absolute schedule: the report waits for the one before it.
        onLink = std::max(now, device->linkFreeAt);
        device->linkFreeAt = onLink + 1ms;
        replyAt = device->linkFreeAt + 1ms;
    }
    device->receive(data, length, replyAt);
    if (device->wantsDetach()) {
        device->attached = false;
        r.replyQueued.notify_all();
    }
    lock.unlock();
    if (onLink > now)
        std::this_thread::sleep_until(onLink);
    return int(length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data,
                                                 size_t length, int milliseconds)
{
    Registry &r = registry();
    std::unique_lock<std::mutex> lock(r.mutex);
    const auto deadline = SimDevice::Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        SimDevice *device = live(r, dev);
        if (!device || !data)
            return -1;
        const auto now = SimDevice::Clock::now();
        if (!device->replies.empty() && device->replies.front().ready <= now) {
            const SimDevice::Pending reply = device->replies.front();
            device->replies.pop_front();
            const std::size_t count = std::min(length, reply.length);
            std::memcpy(data, reply.body.data(), count);
            return int(count);
        }
        if (now >= deadline)
            return 0;
        auto until = deadline;
        if (!device->replies.empty())
            until = std::min(until, device->replies.front().ready);
        r.replyQueued.wait_until(lock, until);
    }
}

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    // Without a handle, the reason of the last failed open or enumeration, as hidapi gives it.
    return dev ? simError : openError;
}

} // extern "C"
