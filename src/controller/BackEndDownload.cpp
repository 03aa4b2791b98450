// The controller's download side: fetching the catalogue and opening a network firmware.
#include "BackEnd.h"

#include "CatalogueGate.h"
#include "CatalogueTrust.h"
#include "FileUtils.h"
#include "MessageId.h"
#include "TreeViewModel.h"
#include "UrlUtils.h"
#include "WindowRecord.h"
#include "ZipExtract.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>

Q_LOGGING_CATEGORY(lcNetFirmware, "fwu.netfirmware")

namespace {

// The opened images' hashing, apart from Qt's global pool so that it alone can be waited for.
QThreadPool &imageHashing()
{
    static QThreadPool pool;
    return pool;
}

} // namespace

void BackEnd::qml_LoadJsonFile()
{
    // The fetch blocks no window, so the button can be pressed again while it waits.
    if (downloader.isBusy()) {
        qCWarning(lcNetFirmware) << "catalogue requested while a download is waiting";
        return;
    }
    // Always the first language's catalogue, whatever language is active.
    const QString url = config.text(LanguageConfig::catalogueUrl, 0);
    const QString name = QUrl(url).fileName(QUrl::FullyDecoded);
    ReplayGuard guard;
    CatalogueTrust trust(config.cataloguePublicKeys, &guard);
    // A signed catalogue is fetched with its signature each time: a stored copy may be older
    // than the signature the server now holds.
    const bool stored = jsonFileIsExists() && !trust.required();
    if (treeModel)
        treeModel->clearTree();
    if (!stored) {
        imageHashing().waitForDone(); // Windows deletes no file that is open
        removeDirRecursively(appPaths.downloadDir);
        setLoadingCatalogue(true);
        downloader.downloadFile(QUrl(url));
        setLoadingCatalogue(false);
        noteDownload(QUrl(url));
        if (downloader.wasCancelled())
            return;
        if (!downloader.succeeded()) {
            downloadFailed();
            return;
        }
    }
    CatalogueGate gate(downloader, trust);
    const CatalogueGate::Outcome checked = gate.check(QUrl(url), appPaths.downloadDir + name);
    if (checked == CatalogueGate::Outcome::Refused) {
        QFile::remove(appPaths.downloadDir + name);
        logMessage(true, text(CatalogueTrust::reason(gate.verdict())).arg(url));
        return;
    }
    // A catalogue that does not parse (cut short, a captive portal's page) is dropped, so that the
    // dialog does not open on an empty tree and the next request fetches it again.
    if (checked != CatalogueGate::Outcome::Usable || !catalog.parseJson(gate.catalogue())) {
        QFile::remove(appPaths.downloadDir + name);
        slot_MainTastOutputMsg(MessageId::NetworkError);
        return;
    }
    catalog.isSigned = trust.required();
    if (treeModel)
        treeModel->buildTree(catalog, currentLanguage, QStringLiteral("*"));
}

// A download that arrived but could not be saved is no network fault: the log says what failed.
void BackEnd::downloadFailed()
{
    if (downloader.writeFailed())
        logMessage(true,
                   text(LanguageConfig::textDownloadWriteFailed)
                       .arg(downloader.downloadedFileName(), downloader.writeError()));
    else
        slot_MainTastOutputMsg(MessageId::NetworkError);
}

// The image open before a catalogue download must not stand in for the one that failed.
void BackEnd::closeImage()
{
    // Windows deletes no file that is open: the image's hashing ends first.
    imageHashing().waitForDone();
    removeDirRecursively(appPaths.downloadDir + "bin/");
    if (imageName.isEmpty())
        return;
    imageDeviceId.clear();
    imageName.clear();
    imageSize = -1;
    emit sig_SetFilePath(QString());
}

void BackEnd::qml_CancelDownload()
{
    downloader.cancel();
}

void BackEnd::setDownloadName(const QString &name)
{
    if (name == downloadName)
        return;
    downloadName = name;
    emit downloadTextChanged();
}

QString BackEnd::downloadText() const
{
    if (loadingCatalogue)
        return text(LanguageConfig::textLoadingCatalogue);
    return downloadName.isEmpty() ? QString()
                                  : text(LanguageConfig::textDownloading).arg(downloadName);
}

// The opened image's size and the first digits of its SHA-256, so the user can tell which image
// this is; hashed on a pool thread, as an image may be large. An update hashes the copy it writes;
// a catalogue image (`pin`) must still have the digest it had when it was unpacked.
void BackEnd::describeImage(const QString &path, bool pin)
{
    const QPointer<BackEnd> self(this);
    const QString name = imageName;
    imageHashing().start([self, path, name, pin] {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
            return;
        const qint64 size = file.size();
        const QString digest = QString::fromLatin1(hash.result().toHex());
        QMetaObject::invokeMethod(self, [self, name, size, digest, pin] {
            // Another image opened meanwhile has its own line coming.
            if (!self || self->imageName != name)
                return;
            self->logMessage(
                false,
                name + ": "
                    + self->text(LanguageConfig::textImageDigest).arg(size).arg(digest.left(12)));
            self->imageSha256 = digest;
            if (pin)
                emit self->sig_SetExpectedSha256(digest);
        });
    });
}

void BackEnd::slot_ImageDigest(QString sha256, qint64 size, bool matches)
{
    Q_UNUSED(size)
    if (records && records->isOpen())
        records->written(sha256);
    if (!matches)
        logMessage(true, text(LanguageConfig::textImageDigestMismatch).arg(sha256, imageSha256));
}

void BackEnd::setLoadingCatalogue(bool loading)
{
    loadingCatalogue = loading;
    emit downloadTextChanged();
}

void BackEnd::qml_OpenNetFile(int DevNum)
{
    // The main window has already opened the modal popup: whatever happens, it gets its closing
    // report, from the download or from here.
    if (DevNum < 0 || DevNum >= catalog.records.size()) {
        qCWarning(lcNetFirmware) << "no catalogue record at position" << DevNum;
        emit sigProgressCtrl(0, true);
        return;
    }
    if (downloader.isBusy()) {
        qCWarning(lcNetFirmware) << "firmware requested while a download is waiting";
        slot_MainTastOutputMsg(MessageId::NetworkError);
        emit sigProgressCtrl(0, true);
        return;
    }
    const QString root = getUrlRoot(text(LanguageConfig::catalogueUrl));
    const FirmwareInfo &record = catalog.records[DevNum];
    closeImage();
    if (!recordVerifiable(DevNum)) {
        emit sigProgressCtrl(0, true);
        return;
    }
    setDownloadName(record.version.trimmed().isEmpty()
                        ? record.device_id
                        : record.device_id + QStringLiteral(" \u00b7 ") + record.version.trimmed());
    downloader.expect(record.size, record.sha256);
    downloader.downloadFile(QUrl(root + "/" + record.firmware_url));
    noteDownload(QUrl(root + "/" + record.firmware_url));
    setDownloadName(QString());
    // A cancelled download is what the user asked for: nothing to report, nothing to open.
    if (downloader.wasCancelled())
        return;
    if (downloader.mismatched()) {
        logMessage(true,
                   text(LanguageConfig::textDownloadMismatch)
                       .arg(record.device_id, record.sha256.left(12),
                            downloader.receivedSha256().left(12)));
        return;
    }
    if (!downloader.succeeded()) {
        downloadFailed();
        return;
    }
    const QString name = downloader.downloadedFileName();
    const QString binFolder = appPaths.downloadDir + "bin/";
    removeDirRecursively(binFolder);
    // An archive X.zip holds the image X.bin at its top level.
    const QString base = name.endsWith(QLatin1String(".zip")) ? name.chopped(4) : name;
    const QString image = binFolder + base + ".bin";
    if (!unzipFile(appPaths.downloadDir + name, binFolder) || !QFileInfo(image).isFile()) {
        qCWarning(lcNetFirmware) << "no image" << image << "in" << name;
        slot_MainTastOutputMsg(MessageId::OpenFileFailed);
        return;
    }
    openImage(image, catalog.records[DevNum].device_id);
}

// A signed catalogue's record without a digest is refused; an unsigned one's is used, and the log
// says once that it is not verified.
bool BackEnd::recordVerifiable(int record)
{
    const FirmwareInfo &info = catalog.records[record];
    if (!CatalogueTrust::recordUsable(info, catalog.isSigned)) {
        logMessage(true, text(LanguageConfig::textRecordWithoutDigest).arg(info.device_id));
        return false;
    }
    if (info.sha256.isEmpty() && !catalog.unverifiedNoted.contains(record)) {
        catalog.unverifiedNoted.insert(record);
        logMessage(false, text(LanguageConfig::textFirmwareUnverified).arg(info.device_id));
    }
    return true;
}
