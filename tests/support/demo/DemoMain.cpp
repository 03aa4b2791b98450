// The program as shipped, but with the simulated accessory in place of a USB device: a V20 device
// with full-speed link timing is plugged in a second after start and takes any image.
#include "SimHid.h"
#include "Startup.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char *argv[])
{
    SimHid::setFullSpeedTiming(true);
    std::fprintf(stderr,
                 "firmware-updater-demo: a simulated accessory is plugged in one second after "
                 "start; open any .bin and press Update.\n");
    std::thread plugIn([] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        SimHid::DeviceOptions accessory;
        accessory.identity = "DEMO-V20";
        SimHid::attach(accessory);
    });
    const int result = runFirmwareUpdater(argc, argv);
    plugIn.join();
    return result;
}
