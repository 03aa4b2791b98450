// Building the tree from the catalogue: the search filter, grouping by identifier, leaf positions
// and language slots. Trees are compared as text: "name{child,child}", leaves as "name=position".
#include "FirmwareCatalog.h"
#include "TreeViewModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <functional>

namespace {

FirmwareCategory category(const QString &id, const QString &name)
{
    return {id, {name, name + "EN", name + "3", name + "-L4", name + "5"}};
}

FirmwareInfo record(const QString &id, const FirmwareCategory &c1, const FirmwareCategory &c2,
                    const FirmwareCategory &c3)
{
    FirmwareInfo r;
    r.device_id = id;
    r.category1 = c1;
    r.category2 = c2;
    r.category3 = c3;
    return r;
}

FirmwareCatalog sampleCatalogue()
{
    FirmwareCatalog c;
    const FirmwareCategory none;
    c.records = {
        record("X1", category("cam", "Camera"), category("tx", "Transmitter"), none),
        record("Y1", category("cam", "Kamera"), category("tx", "Sender"), category("v2", "Gen2")),
        record("Z1", category("light", "Light"), category("panel", "Panel"), none),
        record("Y1", category("cam", "Kamera"), category("tx", "Sender"), category("v2", "Gen2")),
        // Same names as the first record, other identifier: a row of its own.
        record("W1", category("cam2", "Camera"), category("rx", "Receiver"), none),
        // A category3 identifier equal to a firmware already listed beside it.
        record("Q1", category("cam", "Camera"), category("tx", "Transmitter"),
               category("X1", "Xcat")),
        // Names given in some languages only: the others show the first language's.
        record("V1", {"misc", {"Misc", "", "", "", ""}},
               {"gen", {"General", "", "Allgemein", "", ""}}, none),
    };
    FirmwareInfo &x1 = c.records[0];
    x1.version = "9.9";
    x1.release_date = "2024-12-05";
    x1.firmware_url = "b/x.zip";
    x1.update_contents_url = "x1.html";
    x1.update_contents = {"changelog", "", "", "", ""};
    x1.remark = {"note", "", "", "", ""};
    c.records[2].remark[4] = "caution ** hot";
    // The same device twice in one category: told apart by the version in the row.
    c.records[3].version = " 2.0 ";
    c.count = c.records.size();
    return c;
}

QString dump(const TreeViewModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList rows;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex i = model.index(r, 0, parent);
        QString row = model.data(i, TreeViewModel::NAME).toString();
        const QVariant state = model.data(i, TreeViewModel::STATE);
        if (state.type() == QVariant::Int)
            row += "=" + QString::number(state.toInt());
        else if (state != QVariant(QString()))
            row += "=?"; // categories must carry an empty text
        if (model.rowCount(i) > 0)
            row += "{" + dump(model, i) + "}";
        rows << row;
    }
    return rows.join(",");
}

const char *const everything = "Camera{Transmitter{X1 \u00b7 9.9 \u00b7 2024-12-05=0,v2{Y1=1,Y1 \u00b7 2.0=3},X1{Q1=5}}},"
                               "Light{Panel{Z1=2}},Camera{Receiver{W1=4}},Misc{General{V1=6}}";

using Field = std::function<QString &(FirmwareInfo &)>;

// The searched fields, then the ones a search must not look at.
QVector<QPair<QString, Field>> searchedFields()
{
    QVector<QPair<QString, Field>> f;
    f.append({"device_id", [](FirmwareInfo &r) -> QString & { return r.device_id; }});
    const QVector<QPair<QString, FirmwareCategory FirmwareInfo::*>> cats {
        {"category1", &FirmwareInfo::category1},
        {"category2", &FirmwareInfo::category2},
        {"category3", &FirmwareInfo::category3},
    };
    for (const auto &c : cats) {
        const auto member = c.second;
        f.append(
            {c.first + ".id", [member](FirmwareInfo &r) -> QString & { return (r.*member).id; }});
        for (int s = 0; s < FirmwareLanguageSlots; ++s)
            f.append({c.first + ".names[" + QString::number(s) + "]",
                      [member, s](FirmwareInfo &r) -> QString & { return (r.*member).names[s]; }});
    }
    for (int s = 0; s < FirmwareLanguageSlots; ++s)
        f.append({"remark[" + QString::number(s) + "]",
                  [s](FirmwareInfo &r) -> QString & { return r.remark[s]; }});
    return f;
}

QVector<QPair<QString, Field>> ignoredFields()
{
    QVector<QPair<QString, Field>> f;
    f.append({"version", [](FirmwareInfo &r) -> QString & { return r.version; }});
    f.append({"release_date", [](FirmwareInfo &r) -> QString & { return r.release_date; }});
    f.append({"firmware_url", [](FirmwareInfo &r) -> QString & { return r.firmware_url; }});
    f.append({"update_contents_url",
              [](FirmwareInfo &r) -> QString & { return r.update_contents_url; }});
    for (int s = 0; s < FirmwareLanguageSlots; ++s)
        f.append({"update_contents[" + QString::number(s) + "]",
                  [s](FirmwareInfo &r) -> QString & { return r.update_contents[s]; }});
    return f;
}

} // namespace

class TestTreeBuild : public QObject
{
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void search_foldsCaseAsQtCompares_data();
    void search_foldsCaseAsQtCompares();
    void search_looksAtExactlyTheSearchedFields_data();
    void search_looksAtExactlyTheSearchedFields();
    void clearTree_emptiesTheTree();
    void build_emptyCatalogue();
};

void TestTreeBuild::build_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("tree");
    QTest::newRow("asterisk shows all") << "*" << 0 << everything;
    QTest::newRow("empty text shows all") << "" << 0 << everything;
    QTest::newRow("two asterisks are text") << "**" << 0 << "Light{Panel{Z1=2}}";
    QTest::newRow("padded asterisk is text") << "* " << 0 << "Light{Panel{Z1=2}}";
    QTest::newRow("other letter case") << "x1" << 0 << "Camera{Transmitter{X1 \u00b7 9.9 \u00b7 2024-12-05=0,X1{Q1=5}}}";
    QTest::newRow("first names of the first match")
        << "gen2" << 0 << "Kamera{Sender{v2{Y1=1,Y1 \u00b7 2.0=3}}}";
    QTest::newRow("equal names, other identifier")
        << "camera-l4" << 0 << "Camera{Transmitter{X1 \u00b7 9.9 \u00b7 2024-12-05=0,X1{Q1=5}}},Camera{Receiver{W1=4}}";
    QTest::newRow("position counted over all records") << "HOT" << 0 << "Light{Panel{Z1=2}}";
    QTest::newRow("category3 name") << "xcat3" << 0 << "Camera{Transmitter{X1{Q1=5}}}";
    QTest::newRow("category2 identifier") << "rx" << 0 << "Camera{Receiver{W1=4}}";
    QTest::newRow("version only") << "9.9" << 0 << "";
    QTest::newRow("release date only") << "2024-12" << 0 << "";
    QTest::newRow("update contents only") << "changelog" << 0 << "";
    QTest::newRow("archive path only") << "x.zip" << 0 << "";
    QTest::newRow("change history page only") << "x1.html" << 0 << "";
    QTest::newRow("language slot 3")
        << "*" << 3
        << "Camera-L4{Transmitter-L4{X1 \u00b7 9.9 \u00b7 2024-12-05=0,v2{Y1=1,Y1 \u00b7 2.0=3},X1{Q1=5}}},"
           "Light-L4{Panel-L4{Z1=2}},Camera-L4{Receiver-L4{W1=4}},Misc{General{V1=6}}";
    QTest::newRow("language slot 1") << "light" << 1 << "LightEN{PanelEN{Z1=2}}";
    QTest::newRow("empty slot shows the first language") << "v1" << 1 << "Misc{General{V1=6}}";
    QTest::newRow("own text kept beside a fallback") << "v1" << 2 << "Misc{Allgemein{V1=6}}";
    QTest::newRow("language without a slot shows the first") << "*" << 7 << QString(everything);
}

void TestTreeBuild::build()
{
    QFETCH(QString, search);
    QFETCH(int, language);
    QFETCH(QString, tree);
    TreeViewModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, language, search);
    QCOMPARE(dump(model), tree);
    // The same through the folded search text a parse builds.
    catalogue.indexForSearch();
    model.buildTree(catalogue, language, search);
    QCOMPARE(dump(model), tree);
}

void TestTreeBuild::search_foldsCaseAsQtCompares_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("found");
    QTest::newRow("ASCII") << "xx NeedLe xx"
                           << "nEEDLE" << true;
    QTest::newRow("umlaut") << QStringLiteral("ÄRGER") << QStringLiteral("rgEr ") << false;
    QTest::newRow("umlaut, other case")
        << QStringLiteral("ÄRGER") << QStringLiteral("ärger") << true;
    QTest::newRow("final sigma") << QStringLiteral("ΟΔΟΣ") << QStringLiteral("οδος") << true;
    QTest::newRow("micro sign and mu") << QStringLiteral("5 µs") << QStringLiteral("Μs") << true;
    QTest::newRow("Kelvin sign") << QStringLiteral("300 \u212A") << QStringLiteral("300 k") << true;
    QTest::newRow("sharp s is not ss")
        << QStringLiteral("straße") << QStringLiteral("STRASSE") << false;
    QTest::newRow("outside the BMP")
        << QStringLiteral("id \U00010400") << QStringLiteral("\U00010428") << true;
    QTest::newRow("match at a field's end only") << "abc"
                                                 << "c" << true;
    QTest::newRow("not across two fields") << "abc"
                                           << "cleaf" << false;
}

// The folded search text must find exactly what a case-blind comparison of the fields finds.
void TestTreeBuild::search_foldsCaseAsQtCompares()
{
    QFETCH(QString, stored);
    QFETCH(QString, search);
    QFETCH(bool, found);
    FirmwareCatalog catalogue;
    catalogue.records.resize(1);
    catalogue.count = 1;
    catalogue.records[0].category2.id = stored;
    catalogue.records[0].category3.id = "leaf";
    QCOMPARE(catalogue.matchingRecords(search), std::vector<bool> {found});
    catalogue.indexForSearch();
    QCOMPARE(catalogue.matchingRecords(search), std::vector<bool> {found});
}

void TestTreeBuild::search_looksAtExactlyTheSearchedFields_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("searched");
    const auto searched = searchedFields();
    QCOMPARE(searched.size(), 24);
    for (int i = 0; i < searched.size(); ++i)
        QTest::newRow(qPrintable(searched[i].first)) << i << true;
    const auto ignored = ignoredFields();
    for (int i = 0; i < ignored.size(); ++i)
        QTest::newRow(qPrintable(ignored[i].first)) << i << false;
}

void TestTreeBuild::search_looksAtExactlyTheSearchedFields()
{
    QFETCH(int, field);
    QFETCH(bool, searched);
    FirmwareCatalog catalogue;
    catalogue.records.resize(2);
    catalogue.count = 2;
    catalogue.records[1].device_id = "leaf";
    const Field f = (searched ? searchedFields() : ignoredFields())[field].second;
    f(catalogue.records[1]) = "xx NeedLe xx";
    f(catalogue.records[0]) = "needl"; // a near miss in the same field

    TreeViewModel model;
    model.buildTree(catalogue, 0, "nEEDLE");
    const QString tree = dump(model);
    if (searched)
        QVERIFY2(tree.endsWith("=1}}") || tree.endsWith("=1}}}"), qPrintable(tree));
    else
        QCOMPARE(tree, QString());
    QVERIFY(!tree.contains("=0"));
}

void TestTreeBuild::clearTree_emptiesTheTree()
{
    TreeViewModel model;
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    QVERIFY(model.rowCount() > 0);
    model.clearTree();
    QCOMPARE(model.rowCount(), 0);
    model.buildTree(catalogue, 0, "*");
    QCOMPARE(dump(model), QString(everything));
}

void TestTreeBuild::build_emptyCatalogue()
{
    TreeViewModel model;
    model.buildTree(sampleCatalogue(), 0, "*");
    model.buildTree(FirmwareCatalog(), 0, "*");
    QCOMPARE(model.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestTreeBuild)
#include "tst_treebuild.moc"
