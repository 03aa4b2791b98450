#pragma once

#include "DeviceLister.h"
#include "HistoryRecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>
#include <set>
#include <vector>

class CliOutput;
class CliRecord;
class MainTask;
class QEventLoop;
class QThread;

// `flash --all`: one engine per accessory, each on its own thread and targeting its own path, so
// that every accessory is updated exactly as a single update is, side by side; one that fails or
// goes away ends alone. Progress goes to stderr (one redrawn line per accessory on a terminal, a
// line per accessory per tenth elsewhere); the report, a line per accessory or JSON, to stdout.
class MultiFlash : public QObject
{
    Q_OBJECT
public:
    struct Target
    {
        Accessory accessory;
        QString image; // empty: not updated, `refusal` says why
        quint64 size = 0;
        QString refusal;
        bool skipped = false; // busy in another copy: reported, not a failure of this run
        HistoryRecord origin; // the catalogue record the image came from, for the history
    };

    MultiFlash(const CliOutput &out, AccessoryLocks &locks, int startDelayMs, bool json);
    ~MultiFlash() override;

    // Each update handed to an engine gets its history lines and log lines there.
    void setRecord(CliRecord *runRecord) { record = runRecord; }

    // Runs every target to its end; Ok when each was updated, UpdateFailed when any was not.
    int run(const QVector<Target> &targets);

    // `flash FILE --station`: until interrupted, every accessory that appears is updated once, side
    // by side with the others; one that stays plugged in is not updated again until re-plugged.
    // A line per finished accessory and the running count. Returns Interrupted.
    int runStation(const QString &image, quint64 size);
    // `--sha256`: every engine refuses an image whose SHA-256 is not this.
    void setExpectedSha256(const QString &sha256) { expectedSha256 = sha256; }

    // Whether a Ctrl+C stopped the run before any accessory was written: its engines may still
    // sleep in their start pause, and need not be waited for.
    bool stoppedBeforeWriting() const { return interrupted && !anyWritten; }

public slots:
    // Before anything is written one Ctrl+C stops at once; then the first warns, a second within
    // 3 s stops every engine.
    // `confirmed`: the system ends the run, as a second Ctrl+C would.
    void interrupt(bool confirmed = false);

private:
    struct Unit;
    void startUnit(Unit &unit);
    void onMessage(Unit &unit, int id);
    void onProgress(Unit &unit, int value);
    void finishUnit(Unit &unit, bool ok, const QString &why);
    // Ends a unit not yet done because the run is interrupted.
    void stopUnit(Unit &unit);
    QString resultWord(const Unit &unit) const;
    void drawProgress(bool force);
    void report();
    void stationScan(const QString &image, quint64 size);
    void stationLine(Unit &unit);

    const CliOutput &out;
    AccessoryLocks &locks;
    int startDelayMs;
    bool json;
    bool terminal;
    std::vector<std::unique_ptr<Unit>> units;
    QEventLoop *loop = nullptr;
    QElapsedTimer sinceDraw;
    QElapsedTimer sinceFirstInterrupt;
    int drawnLines = 0;
    bool interrupted = false;
    bool anyWritten = false;
    bool station = false;
    std::set<QByteArray> served; // station: updated (or tried) and still plugged in
    int updatedCount = 0;
    int failedCount = 0;
    QString expectedSha256;
    CliRecord *record = nullptr;
};
