// Runs the program's start-up with another main window, so a test can watch the real wiring from
// outside the process: exit code, console output, and whether the engine's thread has ended.
#include "Startup.h"
#include "WorkerThread.h"

#include <QThread>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_probe <main window .qml>\n");
        return 2;
    }
    const QUrl mainUrl = QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1]));
    const int result = runFirmwareUpdater(argc, argv, mainUrl);
    std::fprintf(stderr, "WORKER_RUNNING %d\n", workerThread.isRunning() ? 1 : 0);
    return result;
}
