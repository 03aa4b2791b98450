// Runs the program's start-up with another main window, so a test can watch the real wiring from
// outside the process: exit code, console output, and whether the engine's thread has ended.
// FWU_PROBE_DEVICE=V20 plugs a simulated V20 device in before start;
// FWU_PROBE_SLOW_CONTROLLER_MS makes the controller's construction that much slower. A copy that
// finds another one running prints ALREADY_RUNNING and the message instead of showing it. At the
// end it prints whether the engine's thread still runs and the renderer it chose.
#include "SimHid.h"
#include "Startup.h"
#include "WorkerThread.h"

#include <QQuickWindow>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_probe <main window .qml> [program options]\n");
        return 2;
    }
    const QUrl mainUrl = QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1]));
    if (const char *device = std::getenv("FWU_PROBE_DEVICE"); device && *device) {
        SimHid::DeviceOptions options;
        options.identity = "PROBE-V20";
        SimHid::attach(options);
    }
    StartupHooks hooks;
    if (const char *slow = std::getenv("FWU_PROBE_SLOW_CONTROLLER_MS"); slow && *slow) {
        const int ms = std::atoi(slow);
        hooks.beforeController
            = [ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    }
    hooks.alreadyRunning = [](const QString &title, const QString &text) {
        std::fprintf(stderr, "ALREADY_RUNNING %s: %s\n", title.toUtf8().constData(),
                     text.toUtf8().constData());
    };
    // The main window is the probe's argument, not a file for the program to open.
    std::vector<char *> programArguments {argv[0]};
    programArguments.insert(programArguments.end(), argv + 2, argv + argc);
    int programArgc = int(programArguments.size());
    programArguments.push_back(nullptr);
    const int result = runFirmwareUpdater(programArgc, programArguments.data(), mainUrl, hooks);
    std::fprintf(stderr, "WORKER_RUNNING %d\n", workerThread.isRunning() ? 1 : 0);
    // Empty when the program left the choice to Qt (and its QT_QUICK_BACKEND).
    std::fprintf(stderr, "RENDERER \"%s\"\n", qPrintable(QQuickWindow::sceneGraphBackend()));
    return result;
}
