#pragma once

#include "FirmwareInfo.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// The parsed firmware catalogue the controller holds. Consumers address records by position;
// a successful parse replaces records, count and baseUrl at once, a failed one changes nothing.
class FirmwareCatalog
{
public:
    // Parses the catalogue file at path. True when the document was a JSON object (also one
    // without firmware); false, with the catalogue unchanged, for a missing file, bad JSON or any
    // other top-level value.
    bool parseJsonFile(const QString &path);
    // The same for a document already read.
    bool parseJson(const QByteArray &bytes);

    QVector<FirmwareInfo> records;
    QString baseUrl;
    int count = 0;

private:
    void parseDocument(const QJsonObject &document);
};
