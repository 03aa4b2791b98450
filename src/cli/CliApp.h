#pragma once

#include "AccessoryChooser.h"
#include "AccessoryLocks.h"
#include "AppPaths.h"
#include "CliOptions.h"
#include "CliOutput.h"
#include "DeviceLister.h"
#include "HistoryRecord.h"
#include "MultiFlash.h"

#include <QMap>

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class CatalogueSource;
class CliRecord;
class FlashSession;
class InterruptWatcher;

// The commands of firmware-updater-cli. Everything that touches the device, the catalogue or an
// archive is the window's own code; this class only orders it and turns outcomes into exit codes.
class CliApp : public QObject
{
    Q_OBJECT
public:
    explicit CliApp(const CliOptions &options);
    ~CliApp() override;

    int run();

private:
    int devices();
    int flashFile();
    int flashFromCatalogue();
    int catalogue();
    int refuseSeveral();
    int flashAll();
    int flashStation();
    struct Fetched
    {
        QString image; // empty when the download failed
        QString failure;
    };
    void pickImage(CatalogueSource &source, QMap<int, Fetched> &fetched,
                   MultiFlash::Target &target) const;
    int pickRecord(const CatalogueSource &source, const QString &deviceId, int &record) const;
    QString workFolder();
    // Says so, and is false, when the run's download folder cannot be made.
    bool haveWorkFolder();
    void startSession();
    // Hands the image to the engine, between the history's start and end lines.
    int flashRecorded(const QString &image, quint64 size, HistoryRecord origin = HistoryRecord());
    void onInterrupt(bool confirmed);
    void cleanUp();

    const CliOptions &options;
    CliOutput out;
    AppPaths paths; // chosen with the first download
    InterruptWatcher *watcher = nullptr;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<FlashSession> session;
    AccessoryLocks locks; // of the accessories this run opens
    AccessoryChooser chooser;
    QByteArray target; // the chosen accessory's path; empty: the first to appear
    std::unique_ptr<MultiFlash> multi;
    std::unique_ptr<CliRecord> runRecord; // runs that update or download
};
