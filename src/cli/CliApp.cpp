#include "CliApp.h"

#include "CataloguePrinter.h"
#include "CatalogueSource.h"
#include "CliRecord.h"
#include "DeviceLister.h"
#include "ExitCode.h"
#include "FirmwareChecks.h"
#include "FlashSession.h"
#include "HistoryCommand.h"
#include "HistoryPaths.h"
#include "InterruptWatcher.h"
#include "MessageId.h"
#include "MultiFlash.h"
#include "PrintableText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMap>

#include <algorithm>

#include <cstdio>
#include <cstdlib>

Q_DECLARE_LOGGING_CATEGORY(lcCli)

CliApp::CliApp(const CliOptions &options)
    : options(options)
    , watcher(new InterruptWatcher(true, this))
    , chooser(options, out, locks)
{
    // The configuration only: the download folder is chosen (and probed) once a command needs it.
    out.loadTexts(AppPaths::configDirFor(QCoreApplication::applicationDirPath())
                  + QStringLiteral("Config.xml"));
    out.setQuiet(options.quiet);
    out.setProgressShown(!options.noProgress);
    connect(watcher, &InterruptWatcher::interrupted, this, [this] { onInterrupt(false); });
    connect(watcher, &InterruptWatcher::terminated, this, [this] { onInterrupt(true); });
}

CliApp::~CliApp()
{
    cleanUp();
}

void CliApp::cleanUp()
{
    session.reset();
    if (work) {
        work.reset();
    }
    multi.reset();
}

int CliApp::run()
{
    if (!out.selectLanguage(options.language)) {
        out.error(QStringLiteral("unknown language \"%1\"; the configured ones are %2")
                      .arg(options.language, out.languageList()));
        return ExitCode::BadUsage;
    }
    if (options.command == CliOptions::Command::Flash
        || options.command == CliOptions::Command::Catalogue) {
        runRecord = std::make_unique<CliRecord>(out);
        runRecord->hide(options.file);
        runRecord->setStation(options.station);
    }
    switch (options.command) {
    case CliOptions::Command::Devices:
        return devices();
    case CliOptions::Command::Catalogue:
        return catalogue();
    case CliOptions::Command::History:
        return showHistory(out, options, HistoryPaths::historyFile());
    case CliOptions::Command::Flash:
        if (options.all)
            return flashAll();
        if (options.station)
            return flashStation();
        return options.fromCatalogue ? flashFromCatalogue() : flashFile();
    default:
        return ExitCode::BadUsage;
    }
}

int CliApp::devices()
{
    return listDevices(out, options.json);
}

// Without --device: whether a second accessory has appeared while this one was awaited. The
// engine lets go of its accessory before they are all opened for the list.
int CliApp::refuseSeveral()
{
    return chooser.refuseSeveral([this] { session.reset(); });
}

int CliApp::flashAll()
{
    quint64 size = 0;
    if (!options.fromCatalogue) {
        if (const int code = FirmwareChecks::imageFile(out, options.file, size))
            return code;
    }
    std::unique_ptr<CatalogueSource> source;
    if (options.fromCatalogue) {
        const QString url = options.url.isEmpty() ? out.catalogueUrl() : options.url;
        if (!CatalogueSource::isUsableUrl(QUrl(url, QUrl::StrictMode))) {
            out.error(out.text(LanguageConfig::cliNotAUrl).arg(url));
            return ExitCode::BadUsage;
        }
        if (!haveWorkFolder())
            return ExitCode::NetworkError;
        source = std::make_unique<CatalogueSource>(out, workFolder());
        if (const int code = source->fetch(url))
            return code;
    }
    const QVector<Accessory> found = chooser.waitForAccessories();
    if (const int code = chooser.refuseAllBusy(found))
        return code;
    runRecord->accessoriesFound(found, true);
    const auto present = std::count_if(found.begin(), found.end(), [](const Accessory &a) {
        return a.state != Accessory::State::Busy;
    });
    if (found.isEmpty() || present < std::max(options.expect, 1)) {
        if (found.isEmpty())
            out.errorMessage(MessageId::ConnectDeviceFirst);
        else
            out.error(out.text(LanguageConfig::cliExpectedCount)
                          .arg(present)
                          .arg(std::max(options.expect, 1))
                          .arg(AccessoryChooser::names(found, out)));
        return ExitCode::NoDevice;
    }
    QVector<MultiFlash::Target> targets;
    QMap<int, Fetched> fetched; // each archive once, whatever the number of accessories
    for (const Accessory &a : found) {
        MultiFlash::Target t;
        t.accessory = a;
        if (a.state == Accessory::State::Busy) {
            t.skipped = true;
            t.refusal = out.text(LanguageConfig::cliBusyBecause)
                            .arg(out.text(LanguageConfig::textAlreadyRunning));
        } else if (a.state == Accessory::State::CannotOpen || !locks.claim(a.path)) {
            t.refusal = out.message(MessageId::DevicePermissionDenied);
        } else if (!source) {
            t.image = QFileInfo(options.file).absoluteFilePath();
            t.size = size;
        } else {
            pickImage(*source, fetched, t);
        }
        targets << t;
    }
    multi = std::make_unique<MultiFlash>(out, locks, options.startDelayMs, options.json);
    multi->setExpectedSha256(options.sha256);
    multi->setRecord(runRecord.get());
    const int code = multi->run(targets);
    // Engines still in their start pause would hold the exit until it ends: leave at once.
    if (multi->stoppedBeforeWriting()) {
        work.reset();
        std::fflush(stdout);
        std::_Exit(code);
    }
    return code;
}

int CliApp::flashStation()
{
    quint64 size = 0;
    if (const int code = FirmwareChecks::imageFile(out, options.file, size))
        return code;
    multi = std::make_unique<MultiFlash>(out, locks, options.startDelayMs, false);
    multi->setExpectedSha256(options.sha256);
    multi->setRecord(runRecord.get());
    return multi->runStation(QFileInfo(options.file).absoluteFilePath(), size);
}

// The newest catalogue firmware for the accessory's own identity (or the one named).
void CliApp::pickImage(CatalogueSource &source, QMap<int, Fetched> &fetched,
                       MultiFlash::Target &t) const
{
    const Accessory &a = t.accessory;
    const QString wanted
        = options.deviceId.isEmpty() ? (a.v20 ? a.identity : QString()) : options.deviceId;
    if (wanted.isEmpty() || wanted == QLatin1String("*")) {
        t.refusal = out.text(LanguageConfig::cliNoIdentity);
        return;
    }
    const int record = source.newestFor(wanted);
    if (record < 0) {
        t.refusal = out.text(LanguageConfig::cliNoFirmwareForDevice).arg(printableText(wanted));
        return;
    }
    const QString firmwareId = source.catalogue().records[record].device_id;
    if (a.v20 && !options.force
        && (a.identity == QLatin1String("*")
            || firmwareId.trimmed().compare(a.identity.trimmed(), Qt::CaseInsensitive) != 0)) {
        t.refusal = out.message(MessageId::FirmwareMismatch);
        return;
    }
    // A failed download says what failed (the network, the server's status, the archive), once
    // for every accessory that wanted it.
    if (!fetched.contains(record)) {
        Fetched &f = fetched[record];
        if (source.fetchImage(record, f.image) != ExitCode::Ok)
            f = {QString(), source.lastFailure()};
    }
    if (fetched[record].image.isEmpty()) {
        t.refusal = fetched[record].failure;
        return;
    }
    quint64 size = 0;
    if (FirmwareChecks::imageFile(out, fetched[record].image, size) != ExitCode::Ok) {
        t.refusal = out.message(MessageId::ReadFileFailed);
        return;
    }
    t.image = fetched[record].image;
    t.size = size;
    t.origin
        = CliRecord::fromCatalogue(source.catalogue().records[record], source.archiveUrl(record));
}

int CliApp::flashFile()
{
    quint64 size = 0;
    if (const int code = FirmwareChecks::imageFile(out, options.file, size))
        return code;
    if (const int code = chooser.chooseOne(target))
        return code;
    startSession();
    if (const int code = session->waitForDevice(options.waitSeconds))
        return code;
    if (const int code = refuseSeveral())
        return code;
    out.statusMessage(MessageId::OpenFileOk, QFileInfo(options.file).fileName());
    return flashRecorded(QFileInfo(options.file).absoluteFilePath(), size);
}

int CliApp::flashRecorded(const QString &image, quint64 size, HistoryRecord origin)
{
    Accessory accessory = runRecord->openedAccessory(locks, target);
    accessory.v20 = session->reportsIdentity();
    accessory.identity = session->identity();
    HistoryRecord entry = runRecord->begin(accessory, image, size, origin);
    const int code = session->flash(image, size);
    if (!session->imageSha256().isEmpty())
        entry.sha256 = session->imageSha256(); // of the copy written
    runRecord->end(entry, code, session->lastFailure(), session->blocksAcknowledged());
    return code;
}

int CliApp::flashFromCatalogue()
{
    const QString url = options.url.isEmpty() ? out.catalogueUrl() : options.url;
    if (!CatalogueSource::isUsableUrl(QUrl(url, QUrl::StrictMode))) {
        out.error(out.text(LanguageConfig::cliNotAUrl).arg(url));
        return ExitCode::BadUsage;
    }
    if (const int code = chooser.chooseOne(target))
        return code;
    if (!haveWorkFolder())
        return ExitCode::NetworkError;
    // The engine's start pause and the catalogue download run side by side.
    startSession();
    CatalogueSource source(out, workFolder());
    if (const int code = source.fetch(url))
        return code;
    if (const int code = session->waitForDevice(options.waitSeconds))
        return code;
    const QString deviceId = session->identity();
    const bool answered = session->reportsIdentity();
    int record = -1;
    if (const int code = pickRecord(source, deviceId, record))
        return code;
    const FirmwareInfo &info = source.catalogue().records[record];
    if (const int code = FirmwareChecks::identity(out, options.force, session->reportsIdentity(),
                                                  info.device_id, deviceId))
        return code;
    out.status(QStringLiteral("%1 %2 (%3)")
                   .arg(printableText(info.device_id), printableText(info.version),
                        printableText(info.release_date)));
    QString image;
    if (const int code = source.fetchImage(record, image))
        return code;
    quint64 size = 0;
    if (const int code = FirmwareChecks::imageFile(out, image, size))
        return code;
    // The device may have reported its identity late, or been swapped, during the download.
    if (session->identity() != deviceId || session->reportsIdentity() != answered) {
        if (const int code
            = FirmwareChecks::identity(out, options.force, session->reportsIdentity(),
                                       info.device_id, session->identity()))
            return code;
    }
    if (const int code = refuseSeveral())
        return code;
    out.statusMessage(MessageId::OpenFileOk, QFileInfo(image).fileName());
    return flashRecorded(image, size, CliRecord::fromCatalogue(info, source.archiveUrl(record)));
}

// The newest record for the named identity, or for the connected device's own.
int CliApp::pickRecord(const CatalogueSource &source, const QString &deviceId, int &record) const
{
    const QString wanted = options.deviceId.isEmpty() ? deviceId : options.deviceId;
    if (wanted == QLatin1String("*")) {
        out.error(session->reportsIdentity() ? out.text(LanguageConfig::cliIdentityUnknown)
                                             : out.text(LanguageConfig::cliNoIdentity));
        return ExitCode::BadUsage;
    }
    record = source.newestFor(wanted);
    if (record < 0) {
        out.error(out.text(LanguageConfig::cliNoFirmwareForDevice).arg(printableText(wanted)));
        return ExitCode::BadUsage;
    }
    return ExitCode::Ok;
}

int CliApp::catalogue()
{
    if (!haveWorkFolder())
        return ExitCode::NetworkError;
    CatalogueSource source(out, workFolder());
    if (const int code = source.fetch(options.url.isEmpty() ? out.catalogueUrl() : options.url))
        return code;
    const QVector<int> found = source.matching(options.search);
    out.result(options.json ? CataloguePrinter::json(out, source, found)
                            : CataloguePrinter::table(out, source, found));
    return ExitCode::Ok;
}

// A folder of this run in the system's temporary folder, removed with everything in it when the
// run ends. Not in the window's download folder: the window may run beside this copy now (each
// holds only its own accessories' locks), and it empties that folder.
QString CliApp::workFolder()
{
    if (!work) {
        paths = AppPaths::forThisProgram();
        work = std::make_unique<QTemporaryDir>(QDir::tempPath()
                                               + QStringLiteral("/firmware-updater-cli-XXXXXX"));
        if (runRecord && work->isValid())
            runRecord->hide(work->path() + '/');
    }
    // An empty path would make "/" the download folder: nothing is fetched without a folder.
    return work->isValid() ? work->path() + '/' : QString();
}

bool CliApp::haveWorkFolder()
{
    if (!workFolder().isEmpty())
        return true;
    out.errorMessage(MessageId::NetworkError,
                     out.text(LanguageConfig::cliNoDownloadFolder).arg(QDir::tempPath()));
    return false;
}

void CliApp::startSession()
{
    session = std::make_unique<FlashSession>(out, options.startDelayMs, &locks, target);
    session->setExpectedSha256(options.sha256);
    session->start();
}

// Outside the session's own waits (during a download) nothing has been written yet: stop at once.
// `confirmed` when the system ends the run: as a second Ctrl+C.
void CliApp::onInterrupt(bool confirmed)
{
    if (multi) {
        multi->interrupt(confirmed);
        return;
    }
    if (session && session->isWaiting()) {
        session->interrupt(confirmed);
        return;
    }
    // The download waits in a loop of its own that cannot be cancelled; leave from here.
    cleanUp();
    std::fflush(stdout);
    std::_Exit(ExitCode::Interrupted);
}
