// The catalogue from untrusted bytes: parse, build the tree for several searches and languages,
// and read every row back through the model as the selection dialog does. The input is the JSON
// document, optionally followed by a NUL and a search text in UTF-8.
#include "FirmwareCatalog.h"
#include "FuzzCheck.h"
#include "TreeViewModel.h"

#include <QAbstractItemModelTester>
#include <QVector>

#include <algorithm>

namespace {

// Which records a search must show: the 24 searched fields compared without regard to case.
bool shouldMatch(const FirmwareInfo &r, const QString &text)
{
    if (text == QLatin1String("*"))
        return true;
    QStringList fields {r.device_id, r.category1.id, r.category2.id, r.category3.id};
    for (int s = 0; s < FirmwareLanguageSlots; ++s)
        fields << r.category1.names[s] << r.category2.names[s] << r.category3.names[s]
               << r.remark[s];
    for (const QString &field : fields) {
        if (field.contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Every row, checked for the model's invariants; leaf positions are collected in order.
void walk(const TreeViewModel &model, const QModelIndex &parent, int depth, int count,
          QVector<int> *leaves)
{
    FUZZ_CHECK(depth <= 4);
    FUZZ_CHECK(model.columnCount(parent) == 2);
    const int rows = model.rowCount(parent);
    for (int r = 0; r < rows; ++r) {
        const QModelIndex row = model.index(r, 0, parent);
        FUZZ_CHECK(row.isValid() && model.parent(row) == parent);
        const QVariant name = model.data(row, TreeViewModel::NAME);
        const QVariant state = model.data(row, TreeViewModel::STATE);
        FUZZ_CHECK(name.type() == QVariant::String);
        FUZZ_CHECK(model.data(model.index(r, 1, parent), TreeViewModel::NAME) == name);
        FUZZ_CHECK(!model.data(row, Qt::DisplayRole).isValid());
        if (state.type() == QVariant::Int) {
            FUZZ_CHECK(model.rowCount(row) == 0);
            FUZZ_CHECK(state.toInt() >= 0 && state.toInt() < count);
            leaves->append(state.toInt());
        } else {
            FUZZ_CHECK(state == QVariant(QString()));
            FUZZ_CHECK(model.rowCount(row) > 0);
            walk(model, row, depth + 1, count, leaves);
        }
    }
    FUZZ_CHECK(!model.index(rows, 0, parent).isValid());
}

void checkSearch(TreeViewModel &model, const FirmwareCatalog &catalogue, int language,
                 const QString &text)
{
    model.buildTree(catalogue, language, text);
    QVector<int> leaves;
    walk(model, QModelIndex(), 1, catalogue.count, &leaves);
    // Each matching record exactly once, whatever the grouping put it beside.
    std::sort(leaves.begin(), leaves.end());
    QVector<int> expected;
    for (int p = 0; p < catalogue.count; ++p) {
        if (shouldMatch(catalogue.records[p], text))
            expected.append(p);
    }
    FUZZ_CHECK(leaves == expected);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     int(qMin<size_t>(size, 1 << 24)));
    const int split = input.indexOf('\0');
    const QByteArray json = split < 0 ? input : input.left(split);
    const QString search = split < 0 ? QString() : QString::fromUtf8(input.mid(split + 1));

    FirmwareCatalog catalogue;
    if (!catalogue.parseJson(json)) {
        FUZZ_CHECK(catalogue.count == 0 && catalogue.records.isEmpty());
        return 0;
    }
    FUZZ_CHECK(catalogue.count == catalogue.records.size());
    for (const FirmwareInfo &r : catalogue.records)
        FUZZ_CHECK(r.firmware_url.startsWith(catalogue.baseUrl + '/'));

    TreeViewModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const int language = int(size % 7) - 1; // -1 to 5: slots and one past each end
    checkSearch(model, catalogue, language, QStringLiteral("*"));
    if (!search.isEmpty())
        checkSearch(model, catalogue, language, search);
    if (catalogue.count > 0) {
        // A piece of the first identifier in other letter case, as a user would type it.
        checkSearch(model, catalogue, language, catalogue.records[0].device_id.mid(1, 3).toUpper());
        checkSearch(model, catalogue, language, catalogue.records[0].remark[0].right(4).toLower());
    }
    model.clearTree();
    FUZZ_CHECK(model.rowCount() == 0);
    return 0;
}
