#pragma once

#include "FileDownloader.h"
#include "FirmwareCatalog.h"

#include <QString>
#include <QUrl>
#include <QVector>

class CliOutput;

// The firmware catalogue and its archives for the command line, fetched through the window's
// downloader (same size, time and redirect rules) into a working folder of this run, parsed by the
// window's parser and unpacked with the same archive checks.
class CatalogueSource
{
public:
    CatalogueSource(const CliOutput &out, const QString &workFolder);

    // An http, https or file URL; anything else is bad usage.
    static bool isUsableUrl(const QUrl &url);

    // Downloads and parses the catalogue; returns the exit code (Ok, NetworkError, BadUsage).
    int fetch(const QString &url);
    const FirmwareCatalog &catalogue() const { return records; }

    // Positions of the records the search text finds (all for an empty text), without regard to
    // case in the device identity, the category identifiers and names and the remarks.
    QVector<int> matching(const QString &search) const;
    // The record for the device identity with the latest release date; -1 when there is none.
    int newestFor(const QString &deviceId) const;

    // Where the record's archive is downloaded from, as the window resolves it.
    QUrl archiveUrl(int record) const;
    // Downloads and unpacks a record's archive; on Ok, imagePath names the image inside it.
    int fetchImage(int record, QString &imagePath);
    // Why the last fetch failed, as its error line said it: a network error, the server's status
    // or an archive that cannot be used.
    QString lastFailure() const { return failure; }

private:
    QString serverRoot() const;
    int downloadFailed(const QString &what) const;
    void logDownload(const QUrl &url) const;

    const CliOutput &out;
    mutable QString failure;
    QString work;
    QUrl catalogueUrl;
    FileDownloader downloader;
    FirmwareCatalog records;
};
