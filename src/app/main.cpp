#include "Startup.h"

int main(int argc, char *argv[])
{
    return runFirmwareUpdater(argc, argv);
}
