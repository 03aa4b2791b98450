#pragma once

#include "HistoryRecord.h"
#include "HistoryRecorder.h"
#include "RunLog.h"
#include "UpdateFailure.h"

#include <QString>

#include <functional>
#include <memory>

// What the window leaves behind: the run's log file (its log lines as shown, and in English what
// support needs) and the history's start and end lines of each update handed to the engine.
class WindowRecord
{
public:
    // `header` adds to the log's standard header (the hidapi version the program links);
    // `warn` says once that the history cannot be written.
    WindowRecord(const QString &version, const QStringList &header,
                 std::function<void(const QString &)> warn);
    ~WindowRecord();

    void logLine(const QString &stampedLine);
    void support(const QString &englishLine);

    // Before the update is handed to the engine. `identity` is "*" for a legacy accessory;
    // `origin` may carry the catalogue record the image came from, and the image's digest.
    void handed(const QString &imagePath, const QString &identity, const QString &devicePath,
                const HistoryRecord &origin);
    void failure(const UpdateFailure &why) { lastFailure = why; }
    // The digest of the copy the engine writes from, for the end line.
    void written(const QString &sha256) { current.sha256 = sha256; }
    // The update ended: with the engine's outcome, or stopped by the window's close.
    void ended(const QString &outcome, int blocksAcknowledged);
    bool isOpen() const { return open; }

private:
    std::unique_ptr<RunLog> log;
    HistoryRecorder history;
    HistoryRecord current;
    UpdateFailure lastFailure;
    bool open = false;
};
