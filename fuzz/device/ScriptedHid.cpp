// hidapi's functions as the engine calls them, answered by the scripted device. Every handle the
// engine is given stays allocated until the next input, so that a use after hid_close is caught
// by the check below rather than by chance.
#include "ScriptedHid.h"
#include "FuzzCheck.h"
#include "ScriptedDevice.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include <hidapi.h>

struct hid_device_
{
    bool open = true;
};

namespace {

const char *const devicePath = "fuzz-hid:0";
std::vector<std::unique_ptr<hid_device_>> handles;
int openHandles = 0;

// The engine may only use a handle it was given and has not closed.
void checkLive(const hid_device *dev)
{
    bool known = false;
    for (const auto &h : handles)
        known = known || h.get() == dev;
    FUZZ_CHECK(known && dev->open);
}

} // namespace

namespace ScriptedHid {

void resetHandles()
{
    handles.clear();
    openHandles = 0;
}

int openHandleCount()
{
    return openHandles;
}

} // namespace ScriptedHid

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    return 0;
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id)
{
    if (!ScriptedDevice::instance().attached() || vendor_id != 0x0483 || product_id != 0x572B)
        return nullptr;
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(devicePath);
    info->vendor_id = vendor_id;
    info->product_id = product_id;
    return info;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    if (!ScriptedDevice::instance().attached() || std::strcmp(path, devicePath) != 0)
        return nullptr;
    handles.push_back(std::make_unique<hid_device_>());
    ++openHandles;
    return handles.back().get();
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    if (!dev)
        return;
    checkLive(dev);
    dev->open = false;
    --openHandles;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    checkLive(dev);
    return ScriptedDevice::instance().write(data, length) ? int(length) : -1;
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data,
                                                 size_t length, int)
{
    checkLive(dev);
    return ScriptedDevice::instance().read(data, length);
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    return hid_read_timeout(dev, data, length, -1);
}

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *)
{
    return L"scripted link failure";
}
