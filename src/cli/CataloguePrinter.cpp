#include "CataloguePrinter.h"

#include "CliOutput.h"
#include "FirmwareCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>

namespace {

using Row = std::array<QString, 5>;

// The window's labels ("Version: ") as column headings.
QString heading(const QString &label)
{
    QString text = label.trimmed();
    while (text.endsWith(':') || text.endsWith(QChar(0xFF1A)))
        text.chop(1);
    return text.trimmed();
}

// The product: the second category's name, with the third category when the catalogue has one.
QString nameOf(const FirmwareInfo &record, int language)
{
    const QString name = record.category2.names.in(language);
    return record.category3.id.isEmpty() ? name
                                         : name + QStringLiteral(" / ") + record.category3.id;
}

Row rowOf(const FirmwareInfo &record, int language)
{
    return {record.category1.names.in(language), record.device_id, record.version,
            record.release_date, nameOf(record, language)};
}

} // namespace

QString CataloguePrinter::table(const CliOutput &out, const FirmwareCatalog &catalogue,
                                const QVector<int> &records)
{
    QVector<Row> rows;
    rows.append({QStringLiteral("Category"), QStringLiteral("Device"),
                 heading(out.text(LanguageConfig::textVersion)),
                 heading(out.text(LanguageConfig::textReleaseDate)), QStringLiteral("Name")});
    for (int p : records)
        rows.append(rowOf(catalogue.records[p], out.language()));
    std::array<int, 5> widths {};
    for (const Row &row : rows) {
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], int(row[c].size()));
    }
    QString text;
    for (const Row &row : rows) {
        QString line;
        for (size_t c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        text += line.trimmed() + '\n';
    }
    return text;
}

QString CataloguePrinter::json(const CliOutput &out, const FirmwareCatalog &catalogue,
                               const QVector<int> &records)
{
    QJsonArray list;
    for (int p : records) {
        const FirmwareInfo &record = catalogue.records[p];
        const Row row = rowOf(record, out.language());
        list.append(QJsonObject {{"category", row[0]},
                                 {"device_id", row[1]},
                                 {"version", row[2]},
                                 {"release_date", row[3]},
                                 {"name", row[4]},
                                 {"firmware_url", record.firmware_url}});
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
}
