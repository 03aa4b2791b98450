#include "CataloguePrinter.h"

#include "CatalogueSource.h"
#include "CliOutput.h"
#include "DisplayWidth.h"
#include "FirmwareCatalog.h"
#include "PrintableText.h"

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

QString CataloguePrinter::table(const CliOutput &out, const CatalogueSource &source,
                                const QVector<int> &records)
{
    using L = LanguageConfig;
    QVector<Row> rows;
    rows.append({out.text(L::textColumnCategory), out.text(L::textColumnDevice),
                 heading(out.text(L::textVersion)), heading(out.text(L::textReleaseDate)),
                 out.text(L::textColumnName)});
    for (int p : records) {
        Row row = rowOf(source.catalogue().records[p], out.language());
        // The server's texts go to a terminal: no control codes, whatever the catalogue holds.
        for (QString &cell : row)
            cell = printableText(cell);
        rows.append(row);
    }
    // Padded by the columns a text takes on the terminal, so that CJK texts line up too.
    std::array<int, 5> widths {};
    for (const Row &row : rows) {
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));
    }
    QString text;
    for (const Row &row : rows) {
        QString line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size())
                line += QString(widths[c] + 2 - displayWidth(row[c]), QLatin1Char(' '));
        }
        // Trailing padding only: an empty first cell must keep its place.
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + '\n';
    }
    return text;
}

QString CataloguePrinter::json(const CliOutput &out, const CatalogueSource &source,
                               const QVector<int> &records)
{
    const int language = out.language();
    QJsonArray list;
    for (int p : records) {
        const FirmwareInfo &record = source.catalogue().records[p];
        const Row row = rowOf(record, language);
        QJsonObject entry {{"category", row[0]},
                           {"device_id", row[1]},
                           {"version", row[2]},
                           {"release_date", row[3]},
                           {"name", row[4]},
                           {"firmware_url", source.archiveUrl(p).toString()},
                           {"remark", record.remark.in(language)},
                           {"changes", record.update_contents.in(language)}};
        // The archive's digest and size as the catalogue gives them; null when it gives none.
        entry.insert("sha256", record.sha256.isEmpty() ? QJsonValue() : QJsonValue(record.sha256));
        entry.insert("size", record.size < 0 ? QJsonValue() : QJsonValue(double(record.size)));
        list.append(entry);
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
}
