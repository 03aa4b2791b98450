// The controller's side of the selection dialog: the selected firmware's line and details, the
// search relay and whether the catalogue is stored. Catalogues are placed in the temp folder, so
// loading them needs no network.
#include "BackEnd.h"
#include "FileUtils.h"
#include "LanguageConfig.h"
#include "TreeViewModel.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

const char *const catalogue = R"({"base_url":"b","Firmwares":[
    {"device_id":"X1","version":"1.2","sha256":"abababababababababababababababababababababababababababababababab","release_date":"2024-12-05","update_contents_url":"c.html",
     "update_contents":{"language1":"u1","language2":"u2","language3":"u3"},
     "remark":{"language1":"r1","language2":"r2","language3":"r3"},
     "category1":{"id":"cam","language1":"Camera","language3":"Kamera"},
     "category2":{"id":"tx","language1":"Transmitter","language3":"Sender"}},
    {"device_id":"Y1","category1":{"id":"cam"},"category2":{"id":"rx"}},
    {"device_id":"Z1","sha256":"abababababababababababababababababababababababababababababababab","update_contents":{"language1":"only u1"},
     "remark":{"language1":"only r1","language2":"r2","language3":""},
     "category1":{"id":"cam"},"category2":{"id":"tx"}}]})";

// Texts of language k are "L<k>-<entry>"; each language has its own catalogue address.
QString languageXml(int k)
{
    QString xml = "<language>";
    for (int i = 0; i < LanguageConfig::EntryCount; ++i) {
        QString value = QString("L%1-%2").arg(k).arg(i);
        if (i == LanguageConfig::catalogueUrl)
            value = QString("https://user@host%1.example:8443/dir/cat%1.json?x=1").arg(k);
        QString name = LanguageConfig::elementName(LanguageConfig::Entry(i));
        if (name.isEmpty())
            name = QString("e%1").arg(i);
        xml += QString("<%1>%2</%1>").arg(name, value);
    }
    return xml + "</language>";
}

QString configDir()
{
    return QCoreApplication::applicationDirPath() + "/Config";
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void writeThreeLanguages()
{
    const QString xml = "<config><help_url>h</help_url>" + languageXml(0) + languageXml(1)
        + languageXml(2) + "</config>";
    writeFile(configDir() + "/Config.xml", xml.toUtf8());
}

QString t(int language, LanguageConfig::Entry entry)
{
    return QString("L%1-%2").arg(language).arg(int(entry));
}

} // namespace

class TestDetails : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(configDir()).removeRecursively(); }
    void cleanup() { QDir(configDir()).removeRecursively(); }

    void categoryRow_clearsTheDetails();
    void firmwareRow_composesLineAndDetails();
    void firmwareRow_outOfRangeIsIgnored_data();
    void firmwareRow_outOfRangeIsIgnored();
    void firmwareRow_usesTheActiveLanguageSlot_data();
    void firmwareRow_usesTheActiveLanguageSlot();
    void jsonFileIsExists_looksForTheFirstLanguagesFile();
    void search_rebuildsInTheActiveLanguage();
};

void TestDetails::categoryRow_clearsTheDetails()
{
    BackEnd backend;
    QSignalSpy line(&backend, &BackEnd::sigSetCurSelectDevice);
    QSignalSpy details(&backend, &BackEnd::sigSetDetailMsg);
    backend.qml_TreeViewSelectDevice(false, 12345);
    QCOMPARE(line.count(), 1);
    QCOMPARE(line.at(0).at(0).toString(), QString("选中的固件:"));
    QCOMPARE(details.count(), 1);
    // No heading over nothing: the dialog shows its hint instead.
    for (int i = 0; i < 7; ++i)
        QCOMPARE(details.at(0).at(i).toString(), QString());
}

void TestDetails::firmwareRow_composesLineAndDetails()
{
    BackEnd backend;
    writeFile(tempFolderPath() + "Q7_firmware_20241205_v2.json", catalogue);
    backend.qml_LoadJsonFile();
    QSignalSpy line(&backend, &BackEnd::sigSetCurSelectDevice);
    QSignalSpy details(&backend, &BackEnd::sigSetDetailMsg);

    backend.qml_TreeViewSelectDevice(true, 0);
    QCOMPARE(line.count(), 1);
    QCOMPARE(line.at(0).at(0).toString(), QString("选中的固件:X1 版本号：1.2"));
    QCOMPARE(details.count(), 1);
    const QList<QVariant> d = details.at(0);
    const QStringList expected {
        "固件说明:", "版本号：1.2 发布时间：2024-12-05",     "更新内容:", "u1", "注意事项:",
        "r1",        "https://download.example.com/b/c.html"};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(d.at(i).toString(), expected.at(i));

    // Missing fields leave their part of the text empty; without a digest the record is marked.
    backend.qml_TreeViewSelectDevice(true, 1);
    QCOMPARE(line.at(1).at(0).toString(), QString("选中的固件:Y1 版本号： (not verified)"));
    QCOMPARE(details.at(1).at(1).toString(), QString("版本号： 发布时间："));
    QCOMPARE(details.at(1).at(6).toString(), QString("https://download.example.com/b/"));
}

void TestDetails::firmwareRow_outOfRangeIsIgnored_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("position");
    QTest::newRow("empty catalogue") << false << 0;
    QTest::newRow("negative") << true << -1;
    QTest::newRow("one past the end") << true << 3;
    QTest::newRow("far past the end") << true << 20;
    QTest::newRow("largest int") << true << std::numeric_limits<int>::max();
    QTest::newRow("smallest int") << true << std::numeric_limits<int>::min();
}

void TestDetails::firmwareRow_outOfRangeIsIgnored()
{
    QFETCH(bool, loaded);
    QFETCH(int, position);
    BackEnd backend;
    if (loaded) {
        writeFile(tempFolderPath() + "Q7_firmware_20241205_v2.json", catalogue);
        backend.qml_LoadJsonFile();
    }
    QSignalSpy line(&backend, &BackEnd::sigSetCurSelectDevice);
    QSignalSpy details(&backend, &BackEnd::sigSetDetailMsg);
    backend.qml_TreeViewSelectDevice(true, position);
    QCOMPARE(line.count(), 0);
    QCOMPARE(details.count(), 0);
}

void TestDetails::firmwareRow_usesTheActiveLanguageSlot_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("updates");
    QTest::addColumn<QString>("remark");
    QTest::newRow("slot 2") << 2 << 0 << "u3"
                            << "r3";
    QTest::newRow("slot 1") << 1 << 0 << "u2"
                            << "r2";
    QTest::newRow("missing and empty slots show the first language's") << 2 << 2 << "only u1"
                                                                       << "only r1";
    QTest::newRow("own text kept beside a fallback") << 1 << 2 << "only u1"
                                                     << "r2";
}

void TestDetails::firmwareRow_usesTheActiveLanguageSlot()
{
    QFETCH(int, language);
    QFETCH(int, position);
    QFETCH(QString, updates);
    QFETCH(QString, remark);
    writeThreeLanguages();
    BackEnd backend;
    writeFile(tempFolderPath() + "cat0.json", catalogue);
    backend.qml_LoadJsonFile();
    backend.qml_LangageSelectChange(language);
    QSignalSpy line(&backend, &BackEnd::sigSetCurSelectDevice);
    QSignalSpy details(&backend, &BackEnd::sigSetDetailMsg);

    backend.qml_TreeViewSelectDevice(true, position);
    using L = LanguageConfig;
    const QString version = position == 0 ? "1.2" : "";
    QCOMPARE(line.at(0).at(0).toString(),
             t(language, L::textSelectedFirmware) + (position == 0 ? "X1 " : "Z1 ")
                 + t(language, L::textVersion) + version);
    const QList<QVariant> d = details.at(0);
    QCOMPARE(d.at(0).toString(), t(language, L::textFirmwareDesc));
    if (position == 0)
        QCOMPARE(d.at(1).toString(),
                 t(language, L::textVersion) + "1.2 " + t(language, L::textReleaseDate)
                     + "2024-12-05");
    QCOMPARE(d.at(2).toString(), t(language, L::textUpdates));
    QCOMPARE(d.at(3).toString(), updates);
    QCOMPARE(d.at(4).toString(), t(language, L::textRemark));
    QCOMPARE(d.at(5).toString(), remark);
    // The active language's server root with its port; no user, path or query carried over.
    if (position == 0)
        QCOMPARE(d.at(6).toString(), QString("https://host%1.example:8443/b/c.html").arg(language));
}

void TestDetails::jsonFileIsExists_looksForTheFirstLanguagesFile()
{
    writeThreeLanguages();
    BackEnd backend;
    QVERIFY(!backend.jsonFileIsExists());
    backend.qml_LangageSelectChange(2);
    writeFile(tempFolderPath() + "cat2.json", catalogue);
    QVERIFY(!backend.jsonFileIsExists());
    QVERIFY(QDir().mkpath(tempFolderPath() + "cat0.json")); // a folder is not the catalogue
    QVERIFY(!backend.jsonFileIsExists());
    QVERIFY(QDir().rmdir(tempFolderPath() + "cat0.json"));
    writeFile(tempFolderPath() + "cat0.json", catalogue);
    QVERIFY(backend.jsonFileIsExists());
}

void TestDetails::search_rebuildsInTheActiveLanguage()
{
    writeThreeLanguages();
    BackEnd backend;
    TreeViewModel model;
    backend.treeModel = &model;
    writeFile(tempFolderPath() + "cat0.json", catalogue);
    backend.qml_LoadJsonFile();
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.data(model.index(0, 0), TreeViewModel::NAME).toString(), QString("Camera"));

    // A language change alone keeps the names of the last build.
    backend.qml_LangageSelectChange(2);
    QCOMPARE(model.data(model.index(0, 0), TreeViewModel::NAME).toString(), QString("Camera"));

    backend.qml_SearchButtonClicked("*");
    const QModelIndex top = model.index(0, 0);
    QCOMPARE(model.data(top, TreeViewModel::NAME).toString(), QString("Kamera"));
    QCOMPARE(model.rowCount(top), 2);

    backend.qml_SearchButtonClicked("y1");
    QCOMPARE(model.rowCount(model.index(0, 0)), 1);
    const QModelIndex leaf = model.index(0, 0, model.index(0, 0, model.index(0, 0)));
    QCOMPARE(model.data(leaf, TreeViewModel::STATE), QVariant(1));

    backend.qml_SearchButtonClicked("nothing like it");
    QCOMPARE(model.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestDetails)
#include "tst_details.moc"
