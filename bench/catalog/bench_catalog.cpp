// Catalogue figures: a generated catalogue of 10,000 firmware records in 50 categories, timed
// through parsing, building the whole tree and one search, and the memory the tree holds.
// Prints figures only; nothing here passes or fails.
#include "FileUtils.h"
#include "FirmwareCatalog.h"
#include "TreeViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int recordCount = 10000;
constexpr int firstLevel = 10; // 10 x 5 second-level categories: 50 categories
constexpr int secondLevel = 5;
constexpr int runs = 7;
const char *const fileName = "bench_catalog.json";

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

QByteArray generateCatalogue()
{
    QJsonArray firmwares;
    for (int i = 0; i < recordCount; ++i) {
        const int c1 = i % firstLevel;
        const int c2 = (i / firstLevel) % secondLevel;
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

long long heapInUse()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    return static_cast<long long>(mallinfo2().uordblks);
#else
    return -1;
#endif
}

int countRows(const TreeViewModel &model, const QModelIndex &parent = QModelIndex())
{
    int rows = model.rowCount(parent);
    for (int r = 0, n = rows; r < n; ++r)
        rows += countRows(model, model.index(r, 0, parent));
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QDir().mkpath(tempFolderPath());
    const QByteArray json = generateCatalogue();
    {
        QFile file(tempFolderPath() + fileName);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }

    const long long heapBeforeCatalogue = heapInUse();
    FirmwareCatalog catalogue;
    const double parseMs = medianMs([&] { catalogue.parseJsonFile(tempFolderPath() + fileName); });
    const long long catalogueBytes = heapInUse() - heapBeforeCatalogue;

    TreeViewModel model;
    const long long heapEmptyTree = heapInUse();
    const double buildAllMs = medianMs([&] { model.buildTree(catalogue, 0, "*"); });
    const long long treeBytes = heapInUse() - heapEmptyTree;
    const int allRows = countRows(model);

    // A device identity as the dialog searches for it: one record of 10,000.
    const double searchMs = medianMs([&] { model.buildTree(catalogue, 0, "dev-07777"); });
    const int searchRows = countRows(model);
    // A word in every remark: every record is tested and matches late.
    const double searchWideMs = medianMs([&] { model.buildTree(catalogue, 0, "UPDATING"); });

    std::printf("catalogue: %d records in %d categories, %.1f MiB of JSON (median of %d runs)\n",
                catalogue.count, firstLevel * secondLevel, json.size() / 1048576.0, runs);
    std::printf("  parse                      %8.1f ms\n", parseMs);
    std::printf("  buildTree \"*\"              %8.1f ms  (%d rows)\n", buildAllMs, allRows);
    std::printf("  search \"dev-07777\"         %8.1f ms  (%d rows)\n", searchMs, searchRows);
    std::printf("  search \"UPDATING\"          %8.1f ms\n", searchWideMs);
    if (treeBytes >= 0 && heapEmptyTree >= 0) {
        std::printf("  catalogue records heap     %8.1f MiB\n", catalogueBytes / 1048576.0);
        std::printf("  model tree heap (\"*\")      %8.1f MiB  (%.0f bytes per row)\n",
                    treeBytes / 1048576.0, double(treeBytes) / std::max(allRows, 1));
    } else {
        std::printf("  heap figures need glibc 2.33 or later\n");
    }
    QFile::remove(tempFolderPath() + fileName);
    return 0;
}
