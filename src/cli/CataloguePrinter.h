#pragma once

#include <QString>
#include <QVector>

class CliOutput;
class CatalogueSource;

// The records of the catalogue as the `catalogue` command prints them: category, device id,
// version, release date and name, in the chosen language's catalogue texts; the JSON adds the
// archive's address as the download resolves it, the remark and the changes.
namespace CataloguePrinter {
QString table(const CliOutput &out, const CatalogueSource &source, const QVector<int> &records);
QString json(const CliOutput &out, const CatalogueSource &source, const QVector<int> &records);
} // namespace CataloguePrinter
