#include "CliApp.h"

#include "CataloguePrinter.h"
#include "CatalogueSource.h"
#include "DeviceLister.h"
#include "ExitCode.h"
#include "FirmwareImage.h"
#include "FlashSession.h"
#include "InterruptWatcher.h"
#include "MessageId.h"
#include "PrintableText.h"
#include "SingleInstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>

Q_DECLARE_LOGGING_CATEGORY(lcCli)

CliApp::CliApp(const CliOptions &options)
    : options(options)
    , watcher(new InterruptWatcher(this))
{
    // The configuration only: the download folder is chosen (and probed) once a command needs it.
    out.loadTexts(AppPaths::configDirFor(QCoreApplication::applicationDirPath())
                  + QStringLiteral("Config.xml"));
    out.setQuiet(options.quiet);
    connect(watcher, &InterruptWatcher::interrupted, this, &CliApp::onInterrupt);
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
        // The download folder was made for this run only when nothing else is in it.
        QDir().rmdir(paths.downloadDir);
    }
    deviceLock.reset();
}

int CliApp::run()
{
    if (!out.selectLanguage(options.language)) {
        out.error(QStringLiteral("unknown language \"%1\"; the configured ones are %2")
                      .arg(options.language, out.languageList()));
        return ExitCode::BadUsage;
    }
    switch (options.command) {
    case CliOptions::Command::Devices:
        return devices();
    case CliOptions::Command::Catalogue:
        return catalogue();
    case CliOptions::Command::Flash:
        return options.fromCatalogue ? flashFromCatalogue() : flashFile();
    default:
        return ExitCode::BadUsage;
    }
}

// Listing opens every device to ask its identity, which would disturb a running update: while
// another copy holds the lock the devices are only named, as busy.
int CliApp::devices()
{
    const bool busy = lockDevices() == SingleInstanceLock::Result::HeldByAnother;
    return listDevices(out, busy ? out.text(LanguageConfig::textAlreadyRunning) : QString());
}

SingleInstanceLock::Result CliApp::lockDevices()
{
    deviceLock = std::make_unique<SingleInstanceLock>(
        SingleInstanceLock::pathFor(SingleInstanceLock::sharedName()));
    return deviceLock->acquire();
}

// The window and every other run of the command line take the same lock: whoever holds it is the
// only one to open the devices (and to write into the download folder it empties).
int CliApp::takeDeviceLock()
{
    switch (lockDevices()) {
    case SingleInstanceLock::Result::Acquired:
        return ExitCode::Ok;
    case SingleInstanceLock::Result::HeldByAnother:
        qCDebug(lcCli) << "lock" << deviceLock->path() << "held by another copy";
        deviceLock.reset();
        out.error(out.text(LanguageConfig::textAlreadyRunning));
        return ExitCode::Busy;
    case SingleInstanceLock::Result::Unavailable:
        qCWarning(lcCli) << "cannot create the lock" << deviceLock->path()
                         << "- running without protection against a second copy";
        break;
    }
    return ExitCode::Ok;
}

int CliApp::flashFile()
{
    quint64 size = 0;
    if (const int code = checkImage(options.file, size))
        return code;
    if (const int code = takeDeviceLock())
        return code;
    startSession();
    if (const int code = session->waitForDevice(options.waitSeconds))
        return code;
    out.statusMessage(MessageId::OpenFileOk, QFileInfo(options.file).fileName());
    return session->flash(QFileInfo(options.file).absoluteFilePath(), size);
}

int CliApp::flashFromCatalogue()
{
    const QString url = options.url.isEmpty() ? out.catalogueUrl() : options.url;
    if (!CatalogueSource::isUsableUrl(QUrl(url, QUrl::StrictMode))) {
        out.error(QStringLiteral("not an http, https or file URL: %1").arg(url));
        return ExitCode::BadUsage;
    }
    if (const int code = takeDeviceLock())
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
    if (const int code = refuseMismatch(info.device_id, deviceId))
        return code;
    out.status(QStringLiteral("%1 %2 (%3)")
                   .arg(printableText(info.device_id), printableText(info.version),
                        printableText(info.release_date)));
    QString image;
    if (const int code = source.fetchImage(record, image))
        return code;
    quint64 size = 0;
    if (const int code = checkImage(image, size))
        return code;
    // The device may have reported its identity late, or been swapped, during the download.
    if (session->identity() != deviceId || session->reportsIdentity() != answered) {
        if (const int code = refuseMismatch(info.device_id, session->identity()))
            return code;
    }
    out.statusMessage(MessageId::OpenFileOk, QFileInfo(image).fileName());
    return session->flash(image, size);
}

// The newest record for the named identity, or for the connected device's own.
int CliApp::pickRecord(const CatalogueSource &source, const QString &deviceId, int &record) const
{
    const QString wanted = options.deviceId.isEmpty() ? deviceId : options.deviceId;
    if (wanted == QLatin1String("*")) {
        out.error(session->reportsIdentity()
                      ? QStringLiteral("the device reports its identity as \"*\" (not known): "
                                       "name the firmware's DEVICE_ID")
                      : QStringLiteral("the device reports no identity (a legacy device): name "
                                       "the firmware's DEVICE_ID"));
        return ExitCode::BadUsage;
    }
    record = source.newestFor(wanted);
    if (record < 0) {
        out.error(QStringLiteral("the catalogue has no firmware for device %1")
                      .arg(printableText(wanted)));
        return ExitCode::BadUsage;
    }
    return ExitCode::Ok;
}

// Firmware made for another identity than the one the device reports could leave it unusable.
int CliApp::refuseMismatch(const QString &firmwareId, const QString &deviceId) const
{
    // The window's rule: identities compared trimmed and without regard to case. Only a legacy
    // device has no identity to compare; a V20 device that reports "*" does not know its own,
    // and an unknown identity matches nothing.
    const bool unknown = deviceId == QLatin1String("*");
    if ((unknown && !session->reportsIdentity()) || firmwareId.isEmpty()
        || (!unknown && firmwareId.trimmed().compare(deviceId.trimmed(), Qt::CaseInsensitive) == 0))
        return ExitCode::Ok;
    const QString detail
        = QStringLiteral("firmware for %1, the device is %2")
              .arg(printableText(firmwareId),
                   unknown ? QStringLiteral("\"*\" (not known)") : printableText(deviceId));
    if (options.force) {
        out.status(out.message(MessageId::FirmwareMismatch) + QStringLiteral(": ") + detail
                   + QStringLiteral(" (--force)"));
        return ExitCode::Ok;
    }
    out.errorMessage(MessageId::FirmwareMismatch,
                     detail + QStringLiteral("; --force flashes it anyway"));
    return ExitCode::Mismatch;
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

// Checked before the engine starts, so that a file that cannot be used never reaches the device.
int CliApp::checkImage(const QString &path, quint64 &size) const
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || !info.isFile()) {
        out.errorMessage(MessageId::OpenFileFailed, path);
        return ExitCode::BadUsage;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.errorMessage(MessageId::ReadFileFailed, path);
        return ExitCode::BadUsage;
    }
    size = quint64(file.size());
    // The engine's own bound; the smaller one of a legacy device it judges once the kind is known.
    if (!FirmwareImage::fits(size, true)) {
        out.errorMessage(MessageId::FileSizeInvalid, path);
        return ExitCode::BadUsage;
    }
    return ExitCode::Ok;
}

// A folder of this run inside the download folder, so that neither the window nor another run on
// the same machine shares or empties it; removed with everything in it when the run ends.
QString CliApp::workFolder()
{
    if (!work) {
        paths = AppPaths::forThisProgram();
        QDir().mkpath(paths.downloadDir);
        work = std::make_unique<QTemporaryDir>(paths.downloadDir + QStringLiteral("cli-XXXXXX"));
    }
    // An empty path would make "/" the download folder: nothing is fetched without a folder.
    return work->isValid() ? work->path() + '/' : QString();
}

bool CliApp::haveWorkFolder()
{
    if (!workFolder().isEmpty())
        return true;
    out.errorMessage(
        MessageId::NetworkError,
        QStringLiteral("cannot create a download folder in %1").arg(paths.downloadDir));
    return false;
}

void CliApp::startSession()
{
    session = std::make_unique<FlashSession>(out, options.startDelayMs);
    session->start();
}

// Outside the session's own waits (during a download) nothing has been written yet: stop at once.
void CliApp::onInterrupt()
{
    if (session && session->isWaiting()) {
        session->interrupt();
        return;
    }
    // The download waits in a loop of its own that cannot be cancelled; leave from here.
    cleanUp();
    std::fflush(stdout);
    std::_Exit(ExitCode::Interrupted);
}
