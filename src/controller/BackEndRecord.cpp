// The controller's part in what a run leaves behind: the log file, the history of each update
// handed to the engine, and the log view's menu.
#include "BackEnd.h"

#include "HistoryPaths.h"
#include "MessageId.h"
#include "UrlUtils.h"
#include "WindowRecord.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

void BackEnd::keepRecords(const QString &version, const QStringList &logHeader)
{
    records = std::make_unique<WindowRecord>(version, logHeader, [this](const QString &why) {
        logMessage(true, text(LanguageConfig::textHistoryUnwritable).arg(why));
    });
    // Once the window shows the log: the first line it shows.
    QTimer::singleShot(0, this, [this, version] {
        logMessage(false, text(LanguageConfig::textProgramVersion).arg(version));
    });
}

void BackEnd::handToEngine()
{
    if (records && !imagePath.isEmpty() && !running) {
        HistoryRecord origin;
        // A catalogue image: the record it was downloaded for.
        if (!imageDeviceId.isEmpty() && selectedRecord >= 0
            && selectedRecord < catalog.records.size()
            && catalog.records[selectedRecord].device_id == imageDeviceId) {
            const FirmwareInfo &info = catalog.records[selectedRecord];
            origin.fromCatalogue = true;
            origin.catalogueDeviceId = info.device_id;
            origin.catalogueVersion = info.version;
            // Only an archive that matched the record's digest is unpacked.
            origin.catalogueVerified = !info.sha256.isEmpty();
            origin.catalogueUrl
                = getUrlRoot(text(LanguageConfig::catalogueUrl)) + "/" + info.firmware_url;
        }
        origin.serial = openSerial();
        origin.sha256 = imageSha256; // hashed when the image was opened
        records->handed(imagePath, lastDeviceId, engineOpenPath, origin);
    }
    emit sig_StartUpdate();
}

// The serial of the accessory the engine has open, as the scan lists it; empty without one.
QString BackEnd::openSerial() const
{
    for (const AccessoryChoice::Accessory &a : choice.present()) {
        if (a.path == engineOpenPath)
            return a.serial;
    }
    return {};
}

void BackEnd::noteRefusal(int message)
{
    // Refused before the update began: it ends in the history with nothing written.
    if (!records || running || !records->isOpen())
        return;
    switch (message) {
    case MessageId::OpenFileFailed:
    case MessageId::FileSizeInvalid:
    case MessageId::ReadFileFailed:
    case MessageId::ConnectDeviceFirst:
    case MessageId::OpenFileFirst:
    case MessageId::FirmwareMismatch:
        records->ended(QStringLiteral("failed"), 0);
        break;
    default:
        break;
    }
}

void BackEnd::recordEnd(const QString &outcome)
{
    if (!records)
        return;
    records->failure(failure);
    records->ended(outcome, blockReports);
}

void BackEnd::noteDownload(const QUrl &url)
{
    if (!records)
        return;
    const QString where = url.toDisplayString();
    if (downloader.wasCancelled())
        records->support(QStringLiteral("download of %1 cancelled").arg(where));
    else if (!downloader.succeeded())
        records->support(QStringLiteral("download of %1 failed: HTTP status %2")
                             .arg(where)
                             .arg(downloader.httpStatus()));
    else
        records->support(
            QStringLiteral("downloaded %1: HTTP status %2, %3 bytes")
                .arg(where)
                .arg(downloader.httpStatus())
                .arg(QFileInfo(appPaths.downloadDir + downloader.downloadedFileName()).size()));
}

void BackEnd::qml_SaveLog(const QString &fileUrl, const QString &text)
{
    const QUrl url(fileUrl);
    const QString path = url.isLocalFile() ? url.toLocalFile() : fileUrl;
    QSaveFile file(path);
    QString lines = text;
    lines.replace(QChar(0x2029), QLatin1Char('\n')); // the text area's paragraph breaks
    if (!file.open(QIODevice::WriteOnly) || file.write(lines.toUtf8() + '\n') < 0 || !file.commit())
        logMessage(true,
                   this->text(LanguageConfig::textLogSaveFailed).arg(QFileInfo(path).fileName()));
}

void BackEnd::qml_OpenLogFolder()
{
    const QString folder = HistoryPaths::logFolder();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
