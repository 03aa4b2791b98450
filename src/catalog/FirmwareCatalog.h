#pragma once

#include "FirmwareInfo.h"

#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <vector>

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

    // For each record in order: whether it matches a search text. "*" matches every record;
    // otherwise the text must occur, without regard to letter case, in one of the 24 searched
    // fields (device identifier, the three categories' identifiers and names, the remarks).
    std::vector<bool> matchingRecords(const QString &text) const;
    // Folds the searched fields for case once, so that a search is one scan of one text. A parse
    // does this; a catalogue whose records were set otherwise calls it when they are complete
    // (until then searches compare field by field).
    void indexForSearch();

    QVector<FirmwareInfo> records;
    QString baseUrl;
    int count = 0;
    // Set by the caller once the catalogue's signature was checked; a parse clears it.
    bool isSigned = false;
    // Records already said to be unverified, so the log says it once per catalogue.
    QSet<int> unverifiedNoted;

private:
    void parseDocument(const QJsonObject &document);

    QString searchText; // the searched fields, folded, each followed by U+0000
    QVector<int> searchStarts; // where each record's part of searchText starts, then its end
};
