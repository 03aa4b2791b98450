#pragma once

#include <QString>

// Where the history and the log files live: per user, the same for the window and the command
// line. Linux: $XDG_STATE_HOME/firmware-updater/ (default ~/.local/state/firmware-updater/);
// Windows: %LOCALAPPDATA%\Tarvo\firmware-updater\. Qt 5.15 names no state location.
namespace HistoryPaths {
// The folder, ending in "/"; empty when the system names no home for it.
QString folder();
QString historyFile();
QString logFolder();
} // namespace HistoryPaths
