// Catalogue figures as table rows: parsing, searching and tree building of a generated catalogue
// of 10,000 records, each beside a bare baseline measured in the same run. Prints figures only.
#include "FirmwareCatalog.h"
#include "TreeItem.h"
#include "TreeViewModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int recordCount = 10000;
constexpr int firstLevel = 10; // 10 x 5 second-level categories: 50 categories
constexpr int secondLevel = 5;
constexpr int runs = 7;

QJsonObject texts(const QString &stem)
{
    QJsonObject o;
    for (int k = 1; k <= 5; ++k)
        o.insert(QString("language%1").arg(k), QString("%1 (%2)").arg(stem).arg(k));
    return o;
}

QJsonObject category(const QString &id, const QString &name)
{
    QJsonObject o = texts(name);
    o.insert("id", id);
    return o;
}

// categories: 0 for the usual 50; otherwise that many distinct first-level categories.
QByteArray generateCatalogue(int records, int categories)
{
    QJsonArray firmwares;
    for (int i = 0; i < records; ++i) {
        const int c1 = categories ? i % categories : i % firstLevel;
        const int c2 = categories ? 0 : (i / firstLevel) % secondLevel;
        QJsonObject f;
        f.insert("device_id", QString("DEV-%1").arg(i, 5, 10, QChar('0')));
        f.insert("version", QString("1.%1").arg(i % 40));
        f.insert("release_date", "2024-12-05");
        f.insert("firmware_url", QString("fw/DEV-%1.zip").arg(i));
        f.insert("update_contents_url", QString("notes/DEV-%1.html").arg(i));
        f.insert("update_contents", texts(QString("Fixes for device %1").arg(i)));
        f.insert("remark", texts(QString("Keep the device powered while updating %1").arg(i)));
        f.insert("category1", category(QString("c%1").arg(c1), QString("Family %1").arg(c1)));
        f.insert("category2",
                 category(QString("c%1-%2").arg(c1).arg(c2), QString("Series %1").arg(c2)));
        // Half the records sit one level deeper.
        f.insert("category3",
                 category(i % 2 ? QString("gen%1").arg(i % 4) : QString(), "Generation"));
        firmwares.append(f);
    }
    QJsonObject document;
    document.insert("base_url", "Downloads/firmware");
    document.insert("Firmwares", firmwares);
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

// Median of several runs, in milliseconds.
double medianMs(const std::function<void()> &work)
{
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// The same for work whose result is freed only after its time is taken.
template<typename Make> double medianMsFreedAfter(Make make)
{
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        const auto result = make();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void row(const char *measure, double project, double baseline, const char *unit = "ms")
{
    std::printf("| %s | %.2f %s | %.2f %s | %.2f |\n", measure, project, unit, baseline, unit,
                baseline > 0 ? project / baseline : 0.0);
}

// The baseline of a search: every searched field of every record compared without regard to
// case, as a search must at least do when it folds nothing in advance.
int bareScan(const FirmwareCatalog &catalogue, const QString &text)
{
    int hits = 0;
    for (const FirmwareInfo &r : catalogue.records) {
        bool hit = r.device_id.contains(text, Qt::CaseInsensitive);
        for (const FirmwareCategory *c : {&r.category1, &r.category2, &r.category3}) {
            hit = hit || c->id.contains(text, Qt::CaseInsensitive);
            for (const QString &name : c->names)
                hit = hit || name.contains(text, Qt::CaseInsensitive);
        }
        for (const QString &remark : r.remark)
            hit = hit || remark.contains(text, Qt::CaseInsensitive);
        hits += hit;
    }
    return hits;
}

int countRows(const TreeViewModel &model, const QModelIndex &parent = QModelIndex())
{
    int rows = model.rowCount(parent);
    for (int r = 0, n = rows; r < n; ++r)
        rows += countRows(model, model.index(r, 0, parent));
    return rows;
}

// The baseline of a tree build: the same number of rows made as items, without any grouping.
void bareItems(int rows)
{
    TreeItem root({});
    TreeItem *parent = &root;
    for (int i = 0; i < rows; ++i) {
        auto *item = new TreeItem({QString("DEV-%1").arg(i), i}, parent);
        parent->appendChild(item);
    }
}

// Build time per record with many distinct categories: grouping must stay linear.
double buildUsPerRecord(int records)
{
    FirmwareCatalog catalogue;
    catalogue.parseJson(generateCatalogue(records, records));
    TreeViewModel model;
    return medianMs([&] { model.buildTree(catalogue, 0, "*"); }) * 1000.0 / records;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray json = generateCatalogue(recordCount, 0);

    // Each run parses into a fresh object, freed after its time is taken, on both sides.
    const double parseMs = medianMsFreedAfter([&] {
        auto parsed = std::make_unique<FirmwareCatalog>();
        parsed->parseJson(json);
        return parsed;
    });
    const double fromJsonMs = medianMsFreedAfter([&] { return QJsonDocument::fromJson(json); });
    FirmwareCatalog catalogue;
    catalogue.parseJson(json);
    std::printf("catalogue: %d records in %d categories, %.1f MiB of JSON, median of %d runs\n",
                catalogue.count, firstLevel * secondLevel, json.size() / 1048576.0, runs);
    row("catalogue parse, 10,000 records (baseline: QJsonDocument::fromJson)", parseMs, fromJsonMs);

    TreeViewModel model;
    const double buildMs = medianMs([&] { model.buildTree(catalogue, 0, "*"); });
    const int rows = countRows(model);
    const double itemsMs = medianMs([&] { bareItems(rows); });
    row(qPrintable(QString("tree build \"*\", %1 rows (baseline: as many bare items)").arg(rows)),
        buildMs, itemsMs);

    // A device identity as the dialog searches for it: one record of 10,000.
    const double searchMs = medianMs([&] { model.buildTree(catalogue, 0, "dev-07777"); });
    const double scanMs = medianMs([&] { bareScan(catalogue, "dev-07777"); });
    row("search one device identity (baseline: bare case-blind scan of the 24 fields)", searchMs,
        scanMs);
    // A word in every remark: every record matches, late in its fields.
    const double wideMs = medianMs([&] { model.buildTree(catalogue, 0, "UPDATING"); });
    const double wideScanMs = medianMs([&] { bareScan(catalogue, "UPDATING"); });
    row("search a word in every remark (baseline: the same bare scan)", wideMs, wideScanMs);

    const double small = buildUsPerRecord(10000);
    const double large = buildUsPerRecord(80000);
    row("tree build per record, 80,000 distinct categories (baseline: 10,000)", large, small, "us");
    return 0;
}
