#include "SingleInstanceLock.h"
#include "Startup.h"

int main(int argc, char *argv[])
{
    // The lock the command-line flasher takes too, whatever this executable is renamed to: the two
    // never open the same device at once.
    StartupHooks shipped;
    shipped.instanceLockName = SingleInstanceLock::sharedName();
    return runFirmwareUpdater(argc, argv, QUrl(QStringLiteral("qrc:/main.qml")), shipped);
}
