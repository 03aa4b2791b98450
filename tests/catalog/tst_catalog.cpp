// The catalogue parser: document and value rules, and that a failed parse changes nothing.
#include "FileUtils.h"
#include "FirmwareCatalog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

class TestCatalog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();

    void document_data();
    void document();
    void failure_keepsThePreviousCatalogue_data();
    void failure_keepsThePreviousCatalogue();
    void record_fillsEveryFieldInOrder();
    void values_wrongTypesAndMissingKeysReadAsEmpty_data();
    void values_wrongTypesAndMissingKeysReadAsEmpty();
    void records_keepTheDocumentOrder();

private:
    static void write(const QString &name, const QByteArray &content);
};

void TestCatalog::write(const QString &name, const QByteArray &content)
{
    QFile file(tempFolderPath() + name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void TestCatalog::init()
{
    QDir(tempFolderPath()).removeRecursively();
    QVERIFY(QDir().mkpath(tempFolderPath()));
}

void TestCatalog::cleanupTestCase()
{
    QDir(tempFolderPath()).removeRecursively();
}

// Documents that are JSON objects: always true, whatever "Firmwares" holds.
void TestCatalog::document_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("baseUrl");
    QTest::newRow("empty firmware list")
        << QByteArray(R"({"base_url":"fw","Firmwares":[]})") << 0 << "fw";
    QTest::newRow("no firmware list") << QByteArray(R"({"base_url":"fw"})") << 0 << "fw";
    QTest::newRow("firmware list not an array")
        << QByteArray(R"({"base_url":"fw","Firmwares":{"a":1}})") << 0 << "fw";
    QTest::newRow("numeric base url")
        << QByteArray(R"({"base_url":3,"Firmwares":[{}]})") << 1 << "";
    QTest::newRow("empty object") << QByteArray("{}") << 0 << "";
    QTest::newRow("unknown keys") << QByteArray(R"({"x":[1,2],"Firmwares":[{},{},7]})") << 3 << "";
}

void TestCatalog::document()
{
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    QFETCH(QString, baseUrl);
    write("c.json", json);

    FirmwareCatalog catalog;
    catalog.baseUrl = "old";
    QVERIFY(catalog.parseJsonFile(tempFolderPath() + "c.json"));
    QCOMPARE(catalog.count, count);
    QCOMPARE(catalog.records.size(), count);
    QCOMPARE(catalog.baseUrl, baseUrl);
}

void TestCatalog::failure_keepsThePreviousCatalogue_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("warning"); // a pattern; empty for no warning
    QTest::newRow("syntax error") << QByteArray(R"({"base_url":"new","Firmwares":[)")
                                  << "^JSON 格式无效!$";
    QTest::newRow("empty file") << QByteArray() << "^JSON 格式无效!$";
    QTest::newRow("top-level array") << QByteArray(R"([{"device_id":"X"}])") << QString();
    QTest::newRow("missing file") << QByteArray("<none>") << "^无法打开文件: \\S.*";
}

void TestCatalog::failure_keepsThePreviousCatalogue()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, warning);
    write("good.json", R"({"base_url":"fw","Firmwares":[{"device_id":"A"},{"device_id":"B"}]})");
    FirmwareCatalog catalog;
    QVERIFY(catalog.parseJsonFile(tempFolderPath() + "good.json"));

    if (json != "<none>")
        write("bad.json", json);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QVERIFY(!catalog.parseJsonFile(tempFolderPath() + "bad.json"));
    QCOMPARE(catalog.count, 2);
    QCOMPARE(catalog.records.size(), 2);
    QCOMPARE(catalog.records[1].device_id, QString("B"));
    QCOMPARE(catalog.baseUrl, QString("fw"));
}

void TestCatalog::record_fillsEveryFieldInOrder()
{
    write("c.json", R"({"base_url":"b/fw","Firmwares":[{
        "device_id":"X1","version":"1.2","release_date":"2024-12-05",
        "firmware_url":"x1.zip","update_contents_url":"x1.html",
        "update_contents":{"language1":"u1","language2":"u2","language3":"u3",
                           "language4":"u4","language5":"u5"},
        "remark":{"language1":"r1","language2":"r2","language3":"r3","language4":"r4",
                  "language5":"r5"},
        "category1":{"id":"c1","language1":"a1","language2":"a2","language3":"a3",
                     "language4":"a4","language5":"a5"},
        "category2":{"id":"c2","language1":"b1","language5":"b5"},
        "category3":{"id":"c3","language3":"d3"}}]})");
    FirmwareCatalog catalog;
    QVERIFY(catalog.parseJsonFile(tempFolderPath() + "c.json"));
    QCOMPARE(catalog.count, 1);
    const FirmwareInfo &r = catalog.records[0];
    QCOMPARE(r.device_id, QString("X1"));
    QCOMPARE(r.version, QString("1.2"));
    QCOMPARE(r.release_date, QString("2024-12-05"));
    QCOMPARE(r.firmware_url, QString("b/fw/x1.zip"));
    QCOMPARE(r.update_contents_url, QString("x1.html"));
    const FirmwareTexts u {"u1", "u2", "u3", "u4", "u5"};
    const FirmwareTexts rm {"r1", "r2", "r3", "r4", "r5"};
    const FirmwareTexts a {"a1", "a2", "a3", "a4", "a5"};
    QVERIFY(r.update_contents == u);
    QVERIFY(r.remark == rm);
    QCOMPARE(r.category1.id, QString("c1"));
    QVERIFY(r.category1.names == a);
    QCOMPARE(r.category2.id, QString("c2"));
    QVERIFY((r.category2.names == FirmwareTexts {"b1", "", "", "", "b5"}));
    QCOMPARE(r.category3.id, QString("c3"));
    QVERIFY((r.category3.names == FirmwareTexts {"", "", "d3", "", ""}));
}

// One firmware object per row; the checked field must read as the expected text.
void TestCatalog::values_wrongTypesAndMissingKeysReadAsEmpty_data()
{
    QTest::addColumn<QByteArray>("firmware");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    QTest::newRow("numeric device id") << QByteArray(R"({"device_id":12})") << "device_id"
                                       << "";
    QTest::newRow("null version") << QByteArray(R"({"version":null})") << "version"
                                  << "";
    QTest::newRow("boolean date") << QByteArray(R"({"release_date":true})") << "release_date"
                                  << "";
    QTest::newRow("array device id") << QByteArray(R"({"device_id":["X"]})") << "device_id"
                                     << "";
    QTest::newRow("missing firmware url") << QByteArray("{}") << "firmware_url"
                                          << "base/";
    QTest::newRow("numeric firmware url") << QByteArray(R"({"firmware_url":5})") << "firmware_url"
                                          << "base/";
    QTest::newRow("element not an object") << QByteArray("\"X1\"") << "firmware_url"
                                           << "base/";
    QTest::newRow("element not an object, id") << QByteArray("[1]") << "device_id"
                                               << "";
    QTest::newRow("language0 ignored")
        << QByteArray(R"({"remark":{"language0":"zero","language1":"one"}})") << "remark0"
        << "one";
    QTest::newRow("language6 ignored")
        << QByteArray(R"({"remark":{"language6":"six","language5":"five"}})") << "remark4"
        << "five";
    QTest::newRow("missing language3")
        << QByteArray(R"({"remark":{"language1":"a","language2":"b","language4":"d"}})")
        << "remark2"
        << "";
    QTest::newRow("remark as text") << QByteArray(R"({"remark":"note"})") << "remark0"
                                    << "";
    // Objects are walked key by key: only the exact keys count, in whatever order they come.
    QTest::newRow("language10 ignored")
        << QByteArray(R"({"remark":{"language10":"ten","language1":"one"}})") << "remark0"
        << "one";
    QTest::newRow("language key with a blank ignored")
        << QByteArray(R"({"remark":{"language5 ":"x","language5":"five"}})") << "remark4"
        << "five";
    QTest::newRow("key in other letter case ignored")
        << QByteArray(R"({"Device_ID":"X","device_id ":"Y"})") << "device_id"
        << "";
    QTest::newRow("id inside a remark ignored")
        << QByteArray(R"({"remark":{"id":"x"},"category1":{"id":"k"}})") << "remark0"
        << "";
    QTest::newRow("keys in any order")
        << QByteArray(R"({"category1":{"language2":"b","id":"k","language1":"a"}})")
        << "category1 names"
        << "ab";
    QTest::newRow("category id after its names")
        << QByteArray(R"({"category1":{"language1":"a","id":"k"}})") << "category1 id"
        << "k";
    QTest::newRow("a key given twice: the later value")
        << QByteArray(R"({"device_id":"first","device_id":"second"})") << "device_id"
        << "second";
    QTest::newRow("category with only id")
        << QByteArray(R"({"category1":{"id":"k"}})") << "category1 names"
        << "";
    QTest::newRow("category with only id keeps id")
        << QByteArray(R"({"category1":{"id":"k"}})") << "category1 id"
        << "k";
    QTest::newRow("numeric category id")
        << QByteArray(R"({"category2":{"id":7,"language1":"n"}})") << "category2 id"
        << "";
    QTest::newRow("category name as number")
        << QByteArray(R"({"category3":{"id":"z","language2":2}})") << "category3 names"
        << "";
}

void TestCatalog::values_wrongTypesAndMissingKeysReadAsEmpty()
{
    QFETCH(QByteArray, firmware);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    write("c.json", R"({"base_url":"base","Firmwares":[)" + firmware + "]}");
    FirmwareCatalog catalog;
    QVERIFY(catalog.parseJsonFile(tempFolderPath() + "c.json"));
    QCOMPARE(catalog.count, 1);
    const FirmwareInfo &r = catalog.records[0];

    const auto joined
        = [](const FirmwareTexts &t) { return QStringList(t.begin(), t.end()).join(""); };
    const QHash<QString, QString> fields {
        {"device_id", r.device_id},
        {"version", r.version},
        {"release_date", r.release_date},
        {"firmware_url", r.firmware_url},
        {"remark0", r.remark[0]},
        {"remark2", r.remark[2]},
        {"remark4", r.remark[4]},
        {"category1 id", r.category1.id},
        {"category1 names", joined(r.category1.names)},
        {"category2 id", r.category2.id},
        {"category3 names", joined(r.category3.names)},
    };
    QVERIFY2(fields.contains(field), qPrintable(field));
    QCOMPARE(fields.value(field), expected);
}

void TestCatalog::records_keepTheDocumentOrder()
{
    write("c.json", R"({"Firmwares":[{"device_id":"Z"},{"device_id":"A"},{"device_id":"M"}]})");
    FirmwareCatalog catalog;
    QVERIFY(catalog.parseJsonFile(tempFolderPath() + "c.json"));
    QCOMPARE(catalog.count, 3);
    QCOMPARE(catalog.records[0].device_id, QString("Z"));
    QCOMPARE(catalog.records[1].device_id, QString("A"));
    QCOMPARE(catalog.records[2].device_id, QString("M"));
    QCOMPARE(catalog.records[2].firmware_url, QString("/"));

    // A later object replaces every record at once.
    write("c.json", R"({"Firmwares":[{"device_id":"Q"}]})");
    QVERIFY(catalog.parseJsonFile(tempFolderPath() + "c.json"));
    QCOMPARE(catalog.count, 1);
    QCOMPARE(catalog.records[0].device_id, QString("Q"));
}

QTEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
