// The program as shipped, but with the simulated accessory in place of a USB device: a V20 device
// with full-speed link timing is plugged in a second after start and takes any image.
// FWU_DEMO_ACCESSORIES=N plugs in N of them (DEMO-V20-1 ... DEMO-V20-N), one a second;
// FWU_DEMO_FAIL_WRITE=K makes the K-th write to an accessory fail, for a look at a failed update.
// FWU_DEMO_REPLUG=S unplugs the last accessory S seconds after it came and plugs it in again S
// seconds later, for a look at how its coming and going is told.
#include "SimHid.h"
#include "Startup.h"

#include <QByteArray>
#include <chrono>

#include <algorithm>
#include <cstdio>
#include <thread>

int main(int argc, char *argv[])
{
    SimHid::setFullSpeedTiming(true);
    std::fprintf(stderr,
                 "firmware-updater-demo: a simulated accessory is plugged in one second after "
                 "start; open any .bin and press Update.\n");
    const int count = std::clamp(qEnvironmentVariableIntValue("FWU_DEMO_ACCESSORIES"), 1, 16);
    const int replug = qEnvironmentVariableIntValue("FWU_DEMO_REPLUG");
    std::thread plugIn([count, replug] {
        SimHid::DeviceOptions accessory;
        int last = 0;
        for (int i = 1; i <= count; ++i) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            accessory.identity
                = count == 1 ? QByteArray("DEMO-V20") : "DEMO-V20-" + QByteArray::number(i);
            accessory.serial = "DEMO" + QByteArray::number(i);
            last = SimHid::attach(accessory);
        }
        if (replug <= 0)
            return;
        std::this_thread::sleep_for(std::chrono::seconds(replug));
        SimHid::detach(last);
        std::this_thread::sleep_for(std::chrono::seconds(replug));
        SimHid::attach(accessory);
    });
    if (const int failing = qEnvironmentVariableIntValue("FWU_DEMO_FAIL_WRITE"); failing > 0)
        SimHid::failWrite(failing);
    const int result = runFirmwareUpdater(argc, argv);
    plugIn.join();
    return result;
}
