#pragma once

#include "HistoryFile.h"
#include "HistoryRecord.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>

#include <functional>

// The history as a program writes it around each update: begin() before the update is handed to
// the engine, end() when it ends. A history that cannot be written never stops an update: the
// first failure is reported once through `warn` (with what went wrong), later ones are silent.
class HistoryRecorder
{
public:
    using Warn = std::function<void(const QString &)>;

    HistoryRecorder(const QString &program, const QString &version, Warn warn, const QString &path);

    // Fills id, started, program and version, and writes the start line.
    void begin(HistoryRecord &record);
    // Fills ended, the reason (in English) and the duration (from begin()), and writes the end
    // line.
    void end(HistoryRecord &record, const QString &outcome, const UpdateFailure &failure,
             int blocksWritten);

private:
    void write(const QJsonObject &line);

    HistoryFile file;
    QString program;
    QString version;
    Warn warn;
    bool warned = false;
    QHash<QString, QElapsedTimer> clocks;
};
