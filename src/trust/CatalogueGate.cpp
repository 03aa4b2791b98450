#include "CatalogueGate.h"

#include "FileDownloader.h"

#include <QFile>

CatalogueGate::CatalogueGate(FileDownloader &downloader, CatalogueTrust &trust)
    : downloader(downloader)
    , trust(trust)
{
}

CatalogueGate::Outcome CatalogueGate::check(const QUrl &catalogueUrl, const QString &savedFile)
{
    bytes.clear();
    lastVerdict = CatalogueTrust::Verdict::NotRequired;
    QFile file(savedFile);
    if (!file.open(QIODevice::ReadOnly))
        return Outcome::Unreadable;
    bytes = file.readAll();
    if (!trust.required())
        return Outcome::Usable;
    QByteArray signature;
    bool networkFault = false;
    const bool found = fetchSignature(catalogueUrl, &signature, &networkFault);
    if (networkFault)
        return Outcome::NetworkError;
    lastVerdict = trust.check(catalogueUrl.toString(), bytes, found ? &signature : nullptr);
    if (lastVerdict == CatalogueTrust::Verdict::Trusted)
        return Outcome::Usable;
    bytes.clear(); // nothing of a refused catalogue is parsed
    return Outcome::Refused;
}

bool CatalogueGate::fetchSignature(const QUrl &catalogueUrl, QByteArray *signature,
                                   bool *networkFault)
{
    const QUrl url = CatalogueTrust::signatureUrl(catalogueUrl);
    downloader.downloadFile(url);
    if (!downloader.succeeded()) {
        // A server that answers (404, 403) has no signature for it; silence or a 5xx may pass.
        const int status = downloader.httpStatus();
        *networkFault
            = !url.isLocalFile() && !downloader.wasCancelled() && (status == 0 || status >= 500);
        return false;
    }
    QFile file(downloader.folder() + downloader.downloadedFileName());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *signature = file.readAll();
    return true;
}
