#pragma once

#include "AccessoryScan.h"
#include "FirmwareInfo.h"
#include "HistoryRecord.h"
#include "HistoryRecorder.h"
#include "RunLog.h"
#include "UpdateFailure.h"

#include <QString>
#include <QUrl>

#include <memory>

class CliOutput;

// What a run that updates or downloads leaves behind: its log file (the lines it prints, and in
// English what support needs: the accessories found, each update's image, digest and end, the
// downloads) and, for each update handed to the engine, the history's start and end lines.
class CliRecord
{
public:
    explicit CliRecord(CliOutput &out);
    ~CliRecord();

    // A station run lasts for hours: its log goes on in a new file when one is full.
    void setStation(bool on);
    void support(const QString &englishLine);
    // `identityAsked`: the scan opened each free one to ask its identity and kind.
    void accessoriesFound(const QVector<Accessory> &found, bool identityAsked);

    // Log lines name the image by its file name only: `path` (as given, and absolute) and every
    // file in the folder `path` names (a download folder) are shortened so.
    void hide(const QString &path);

    // The accessory the engine has open, as a scan lists it (and the log file names it): the one
    // at `target`, else the only one present.
    Accessory openedAccessory(AccessoryLocks &locks, const QByteArray &target);
    // The history's fields of a catalogue firmware.
    static HistoryRecord fromCatalogue(const FirmwareInfo &info, const QUrl &archive);

    // Before the update is handed to the engine: the start line, synced. `record` may carry the
    // catalogue record the image came from.
    HistoryRecord begin(const Accessory &accessory, const QString &image, quint64 size,
                        HistoryRecord record = HistoryRecord());
    // `exitCode` as the command line ends with it; `failure` from the engine, where it said.
    void end(HistoryRecord &record, int exitCode, const UpdateFailure &failure, int blocksWritten);

private:
    QString shortened(QString line) const;

    CliOutput &out;
    QStringList hidden; // longest first
    std::unique_ptr<RunLog> log;
    std::unique_ptr<HistoryRecorder> history;
};
