#pragma once

#include "CatalogueTrust.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

class FileDownloader;

// The step between a downloaded catalogue and its parser, shared by the window and the command
// line: reads the saved file once and, when keys are configured, fetches the signature beside it
// on the catalogue's server and checks it. The bytes checked are the bytes to parse.
class CatalogueGate
{
public:
    enum class Outcome {
        Usable, // trusted, or no keys configured
        NetworkError, // the signature could not be fetched for a reason a retry may not meet
        Unreadable, // the saved catalogue could not be read
        Refused, // verdict() says why
    };

    CatalogueGate(FileDownloader &downloader, CatalogueTrust &trust);

    Outcome check(const QUrl &catalogueUrl, const QString &savedFile);
    CatalogueTrust::Verdict verdict() const { return lastVerdict; }
    const QByteArray &catalogue() const { return bytes; }

private:
    bool fetchSignature(const QUrl &catalogueUrl, QByteArray *signature, bool *networkFault);

    FileDownloader &downloader;
    CatalogueTrust &trust;
    CatalogueTrust::Verdict lastVerdict = CatalogueTrust::Verdict::NotRequired;
    QByteArray bytes;
};
