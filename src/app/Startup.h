#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// Seams for tests that run the real start-up in a process of their own.
struct StartupHooks
{
    // Runs just before the controller is built, to make its construction as slow as a test needs.
    std::function<void()> beforeController;
    // Tells the user that another copy is running: a message box unless a test prints instead.
    std::function<void(const QString &title, const QString &text)> alreadyRunning;
};

// The exit code of a copy that found another one running.
constexpr int ExitAlreadyRunning = 3;

// The program: creates the application, the QML engine, the tree model, the controller and the
// engine on its worker thread, wires them, loads the main window and runs the event loop.
// Returns the process exit code. Tests pass another main window to drive the same wiring.
int runFirmwareUpdater(int &argc, char **argv,
                       const QUrl &mainUrl = QUrl(QStringLiteral("qrc:/main.qml")),
                       const StartupHooks &hooks = {});
