#include "CatalogueSource.h"

#include "CatalogueGate.h"
#include "CatalogueTrust.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "MessageId.h"
#include "UrlUtils.h"
#include "ZipExtract.h"

#include <QDate>
#include <QFileInfo>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCli)

namespace {

// Release dates are written by hand; the usual forms compare as dates, anything else as text
// after every date.
QString sortableDate(const QString &text)
{
    for (const char *format : {"yyyy-MM-dd", "yyyy/MM/dd", "yyyy.MM.dd", "yyyyMMdd", "yyyy-M-d"}) {
        const QDate date = QDate::fromString(text.trimmed(), QLatin1String(format));
        if (date.isValid())
            return date.toString(Qt::ISODate);
    }
    return text.trimmed();
}

} // namespace

CatalogueSource::CatalogueSource(const CliOutput &out, const QString &workFolder)
    : out(out)
    , work(workFolder)
{
    downloader.setDownloadFolder(work);
}

bool CatalogueSource::isUsableUrl(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file"))
        return !url.toLocalFile().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

int CatalogueSource::fetch(const QString &url)
{
    catalogueUrl = QUrl(url, QUrl::StrictMode);
    if (!isUsableUrl(catalogueUrl)) {
        out.error(out.text(LanguageConfig::cliNotAUrl).arg(url));
        return ExitCode::BadUsage;
    }
    qCDebug(lcCli) << "downloading" << catalogueUrl.toDisplayString();
    downloader.downloadFile(catalogueUrl);
    if (!downloader.succeeded())
        return downloadFailed(catalogueUrl.toDisplayString());
    logDownload(catalogueUrl);
    ReplayGuard guard;
    CatalogueTrust trust(out.cataloguePublicKeys(), &guard);
    CatalogueGate gate(downloader, trust);
    switch (gate.check(catalogueUrl, work + downloader.downloadedFileName())) {
    case CatalogueGate::Outcome::Refused:
        failure
            = out.text(CatalogueTrust::reason(gate.verdict())).arg(catalogueUrl.toDisplayString());
        out.error(failure);
        return ExitCode::NotVerified;
    case CatalogueGate::Outcome::NetworkError:
        return downloadFailed(CatalogueTrust::signatureUrl(catalogueUrl).toDisplayString());
    default:
        break;
    }
    if (!records.parseJson(gate.catalogue())) {
        out.error(out.text(LanguageConfig::cliNotACatalogue).arg(catalogueUrl.toDisplayString()));
        return ExitCode::BadUsage;
    }
    records.isSigned = trust.required();
    return ExitCode::Ok;
}

QVector<int> CatalogueSource::matching(const QString &search) const
{
    // The window's search: the same fields, folded for case once at parse.
    const std::vector<bool> hits = records.matchingRecords(search);
    QVector<int> found;
    for (int p = 0; p < int(hits.size()); ++p) {
        if (hits[size_t(p)])
            found.append(p);
    }
    return found;
}

int CatalogueSource::newestFor(const QString &deviceId) const
{
    int best = -1;
    QString bestDate;
    const int count = std::min(records.count, records.records.size());
    for (int p = 0; p < count; ++p) {
        const FirmwareInfo &record = records.records[p];
        if (record.device_id.trimmed().compare(deviceId.trimmed(), Qt::CaseInsensitive) != 0)
            continue;
        const QString date = sortableDate(record.release_date);
        // On equal dates the later entry wins: catalogues append newer firmware.
        if (best < 0 || date >= bestDate) {
            best = p;
            bestDate = date;
        }
    }
    return best;
}

// The catalogue's server, port included, by the window's rule: an archive lies on the same server.
QString CatalogueSource::serverRoot() const
{
    return getUrlRoot(catalogueUrl.toString(QUrl::FullyEncoded));
}

// The downloader's address for a record's archive: the catalogue's server, then the record's path.
QUrl CatalogueSource::archiveUrl(int record) const
{
    return QUrl(serverRoot() + "/" + records.records[record].firmware_url);
}

// A final 4xx says the address is wrong or refused: a retry does not help, so it is unusable input.
// Everything else (no answer, a cut, a 5xx) is a network fault that a later try may not meet.
int CatalogueSource::downloadFailed(const QString &what) const
{
    if (downloader.writeFailed()) {
        failure = out.text(LanguageConfig::textDownloadWriteFailed)
                      .arg(downloader.downloadedFileName(), downloader.writeError());
        out.error(failure);
        return ExitCode::BadUsage;
    }
    const int status = downloader.httpStatus();
    out.supportLine(QStringLiteral("download of %1 failed: HTTP status %2").arg(what).arg(status));
    if (status >= 400 && status <= 499) {
        failure = out.text(LanguageConfig::cliHttpStatus).arg(status).arg(what);
        out.error(failure);
        return ExitCode::BadUsage;
    }
    failure = out.withDetail(MessageId::NetworkError, what);
    out.error(failure);
    return ExitCode::NetworkError;
}

void CatalogueSource::logDownload(const QUrl &url) const
{
    out.supportLine(QStringLiteral("downloaded %1: HTTP status %2, %3 bytes")
                        .arg(url.toDisplayString())
                        .arg(downloader.httpStatus())
                        .arg(QFileInfo(work + downloader.downloadedFileName()).size()));
}

int CatalogueSource::fetchImage(int record, QString &imagePath)
{
    const FirmwareInfo &info = records.records[record];
    if (!CatalogueTrust::recordUsable(info, records.isSigned)) {
        failure = out.text(LanguageConfig::textRecordWithoutDigest).arg(info.device_id);
        out.error(failure);
        return ExitCode::NotVerified;
    }
    if (info.sha256.isEmpty())
        out.status(out.text(LanguageConfig::textFirmwareUnverified).arg(info.device_id));
    const QUrl archive = archiveUrl(record);
    qCDebug(lcCli) << "downloading" << archive.toDisplayString();
    downloader.expect(info.size, info.sha256);
    downloader.downloadFile(archive);
    if (downloader.mismatched()) {
        failure
            = out.text(LanguageConfig::textDownloadMismatch)
                  .arg(info.device_id, info.sha256.left(12), downloader.receivedSha256().left(12));
        out.error(failure);
        return ExitCode::NotVerified;
    }
    if (!downloader.succeeded())
        return downloadFailed(archive.toDisplayString());
    logDownload(archive);
    const QString name = downloader.downloadedFileName();
    const QString binFolder = work + QStringLiteral("bin/");
    // An archive X.zip holds the image X.bin at its top level.
    const QString base = name.endsWith(QLatin1String(".zip")) ? name.chopped(4) : name;
    imagePath = binFolder + base + QStringLiteral(".bin");
    if (!unzipFile(work + name, binFolder) || !QFileInfo(imagePath).isFile()) {
        failure = out.withDetail(MessageId::OpenFileFailed, name);
        out.error(failure);
        return ExitCode::BadUsage;
    }
    return ExitCode::Ok;
}
