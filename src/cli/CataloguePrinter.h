#pragma once

#include <QString>
#include <QVector>

class CliOutput;
class FirmwareCatalog;

// The records of the catalogue as the `catalogue` command prints them: category, device id,
// version, release date and name, in the chosen language's catalogue texts.
namespace CataloguePrinter {
QString table(const CliOutput &out, const FirmwareCatalog &catalogue, const QVector<int> &records);
QString json(const CliOutput &out, const FirmwareCatalog &catalogue, const QVector<int> &records);
} // namespace CataloguePrinter
