#pragma once

#include <QUrl>

// The program: creates the application, the QML engine, the tree model, the engine on its worker
// thread and the controller, wires them, loads the main window and runs the event loop.
// Returns the process exit code. Tests pass another main window to drive the same wiring.
int runFirmwareUpdater(int &argc, char **argv,
                       const QUrl &mainUrl = QUrl(QStringLiteral("qrc:/main.qml")));
