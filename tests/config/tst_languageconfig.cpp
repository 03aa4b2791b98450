// Reading Config.xml into the language table, and what a change of language sends to the interface.
#include "BackEnd.h"
#include "LanguageChoice.h"
#include "LanguageConfig.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A <language> element with `count` entries, texts "<tag>-<entry number>"; the positional ones are
// named by position, the later ones by their element names.
QString language(const QString &tag, int count = LanguageConfig::EntryCount)
{
    QString xml = "<language>";
    for (int i = 1; i <= count; ++i) {
        QString name = LanguageConfig::elementName(LanguageConfig::Entry(i - 1));
        if (name.isEmpty())
            name = QStringLiteral("item%1").arg(i);
        xml += QStringLiteral("<%1>%2-%3</%1>").arg(name, tag).arg(i);
    }
    return xml + "</language>";
}

QString document(const QString &body, const QString &help = "<help_url>help.example.org</help_url>")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><root>" + help + body + "</root>";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestLanguageConfig : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void unusableFile_givesTheBuiltInTable_data();
    void unusableFile_givesTheBuiltInTable();
    void languages_areReadInDocumentOrder();
    void children_areReadByPositionWhateverTheirNames();
    void laterEntries_areFoundByNameInAnyOrder();
    void blanks_areKept();
    void shortLanguage_fallsBackPerEntry();
    void missingHelpUrl_givesTheBuiltInHost();
    void nonAsciiProgramFolder_isRead();

    void controller_readsTheFileBesideTheProgram_data();
    void controller_readsTheFileBesideTheProgram();
    void languageChange_sendsTheTextsOfTheNewLanguage();
    void languageChange_refusesIndexesOutsideTheTable_data();
    void languageChange_refusesIndexesOutsideTheTable();
    void log_keepsEarlierLinesInTheirLanguage();
    void startLanguage_rememberedThenSystemThenFirst_data();
    void startLanguage_rememberedThenSystemThenFirst();
    void startLanguage_isTheOneChosenLastTime();

private:
    QString programConfig() const
    {
        return QCoreApplication::applicationDirPath() + "/Config/Config.xml";
    }
};

// Languages named by their first entry, each with the given <qt_locale> (none when empty).
QString localedLanguages(const QStringList &namesAndLocales)
{
    QString body;
    for (const QString &pair : namesAndLocales) {
        const QString name = pair.section('=', 0, 0);
        const QString locale = pair.section('=', 1);
        const int count
            = locale.isEmpty() ? LanguageConfig::qtLocale : LanguageConfig::qtLocale + 1;
        body += "<language><name>" + name + "</name>";
        for (int i = 2; i <= count; ++i)
            body += i == count && !locale.isEmpty() ? "<qt_locale>" + locale + "</qt_locale>"
                                                    : QStringLiteral("<e>%1</e>").arg(i);
        body += "</language>";
    }
    return document(body);
}

void TestLanguageConfig::cleanup()
{
    QDir(QCoreApplication::applicationDirPath() + "/Config").removeRecursively();
}

void TestLanguageConfig::unusableFile_givesTheBuiltInTable_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::newRow("no file") << QByteArray();
    QTest::newRow("not XML") << QByteArray("this is not xml");
    QTest::newRow("unclosed element") << QByteArray("<root><language><a>x</a></root>");
    QTest::newRow("no element") << QByteArray("<?xml version=\"1.0\"?><!-- nothing -->");
}

void TestLanguageConfig::unusableFile_givesTheBuiltInTable()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath("Config.xml");
    if (!content.isEmpty())
        QVERIFY(writeFile(path, content));

    LanguageConfig config;
    QVERIFY(!config.loadConfigFile(path));
    QCOMPARE(config.languageCount, 1);
    QCOMPARE(config.helpHost, LanguageConfig::builtInHelpHost());
    QCOMPARE(config.text(LanguageConfig::languageName, 0), QStringLiteral("中文"));
    QCOMPARE(config.text(LanguageConfig::textTitle, 0), QStringLiteral("Tarvo固件升级软件"));
    QCOMPARE(config.text(LanguageConfig::textReleaseDate, 0), QStringLiteral("发布时间："));
    QVERIFY(config.text(LanguageConfig::catalogueUrl, 0)
                .endsWith("/Downloads/Q7_firmware_20241205_v2.json"));
}

void TestLanguageConfig::languages_areReadInDocumentOrder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Config.xml");
    QVERIFY(writeFile(
        path, document(language("A") + "<other><x>1</x></other>" + language("B")).toUtf8()));
    LanguageConfig config;
    QVERIFY(config.loadConfigFile(path));
    QCOMPARE(config.languageCount, 2);
    QCOMPARE(config.helpHost, QStringLiteral("help.example.org"));
    QCOMPARE(config.text(LanguageConfig::languageName, 0), QStringLiteral("A-1"));
    QCOMPARE(config.text(LanguageConfig::languageName, 1), QStringLiteral("B-1"));
    QCOMPARE(config.text(LanguageConfig::msgNetworkError, 1), QStringLiteral("B-24"));
    QCOMPARE(config.text(LanguageConfig::textReleaseDate, 1), QStringLiteral("B-31"));
    QCOMPARE(config.text(LanguageConfig::textTitle, 2), QString());
}

void TestLanguageConfig::children_areReadByPositionWhateverTheirNames()
{
    QString lang = "<language>text before<!-- a comment --><zz>first</zz>between";
    for (int i = 2; i <= LanguageConfig::EntryCount + 2; ++i)
        lang += QStringLiteral("<n%1>v%1</n%1><!-- c -->").arg(i);
    lang += "</language>";
    QTemporaryDir dir;
    const QString path = dir.filePath("Config.xml");
    QVERIFY(writeFile(path, document(lang).toUtf8()));

    LanguageConfig config;
    QVERIFY(config.loadConfigFile(path));
    QCOMPARE(config.text(LanguageConfig::languageName, 0), QStringLiteral("first"));
    QCOMPARE(config.text(LanguageConfig::languageKey, 0), QStringLiteral("v2"));
    QCOMPARE(config.text(LanguageConfig::textReleaseDate, 0), QStringLiteral("v31"));
}

void TestLanguageConfig::laterEntries_areFoundByNameInAnyOrder()
{
    // The 31 positional entries, then named ones reversed, <qt_locale> and an unknown one left out.
    QString lang = "<language>";
    for (int i = 1; i <= LanguageConfig::positionalCount; ++i)
        lang += QStringLiteral("<p%1>p%1</p%1>").arg(i);
    lang += "<not_an_entry>x</not_an_entry>";
    for (int i = LanguageConfig::EntryCount - 1; i >= LanguageConfig::positionalCount; --i) {
        const QString name = LanguageConfig::elementName(LanguageConfig::Entry(i));
        if (i != LanguageConfig::qtLocale)
            lang += QStringLiteral("<%1>n%2</%1>").arg(name).arg(i + 1);
    }
    lang += "</language>";
    QTemporaryDir dir;
    const QString path = dir.filePath("Config.xml");
    QVERIFY(writeFile(path, document(lang).toUtf8()));

    LanguageConfig config;
    QVERIFY(config.loadConfigFile(path));
    QCOMPARE(config.text(LanguageConfig::textReleaseDate, 0), QStringLiteral("p31"));
    QCOMPARE(config.text(LanguageConfig::msgDevicePermission, 0), QStringLiteral("n32"));
    QCOMPARE(config.text(LanguageConfig::qtLocale, 0),
             LanguageConfig::builtInText(LanguageConfig::qtLocale));
    QCOMPARE(config.ownQtLocale(0), QString());
    const auto last = LanguageConfig::Entry(LanguageConfig::EntryCount - 1);
    QCOMPARE(config.text(last, 0), QStringLiteral("n%1").arg(int(last) + 1));
}

void TestLanguageConfig::blanks_areKept()
{
    QString lang = "<language><a>  spaced name </a><b></b><c/>";
    for (int i = 4; i <= LanguageConfig::EntryCount; ++i)
        lang += QStringLiteral("<t>&lt;%1&gt; &amp; </t>").arg(i);
    lang += "</language>";
    QTemporaryDir dir;
    const QString path = dir.filePath("Config.xml");
    QVERIFY(writeFile(path, document(lang).toUtf8()));

    LanguageConfig config;
    QVERIFY(config.loadConfigFile(path));
    QCOMPARE(config.text(LanguageConfig::languageName, 0), QStringLiteral("  spaced name "));
    QCOMPARE(config.text(LanguageConfig::languageKey, 0), QString(""));
    QCOMPARE(config.text(LanguageConfig::catalogueUrl, 0), QString(""));
    QCOMPARE(config.text(LanguageConfig::textTitle, 0), QStringLiteral("<4> & "));
}

void TestLanguageConfig::shortLanguage_fallsBackPerEntry()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Config.xml");
    QVERIFY(writeFile(path, document(language("A", 3) + language("B")).toUtf8()));

    LanguageConfig config;
    QVERIFY(config.loadConfigFile(path));
    QCOMPARE(config.languageCount, 2);
    QCOMPARE(config.text(LanguageConfig::catalogueUrl, 0), QStringLiteral("A-3"));
    QCOMPARE(config.text(LanguageConfig::textTitle, 0), QStringLiteral("Tarvo固件升级软件"));
    QCOMPARE(config.text(LanguageConfig::msgUpdateOk, 0), QStringLiteral("更新设备成功"));
    QCOMPARE(config.text(LanguageConfig::textTitle, 1), QStringLiteral("B-4"));
}

void TestLanguageConfig::missingHelpUrl_givesTheBuiltInHost()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Config.xml");
    QVERIFY(writeFile(path, document(language("A"), QString()).toUtf8()));
    LanguageConfig config;
    QVERIFY(config.loadConfigFile(path));
    QCOMPARE(config.helpHost, LanguageConfig::builtInHelpHost());
    QCOMPARE(config.text(LanguageConfig::languageName, 0), QStringLiteral("A-1"));
}

void TestLanguageConfig::nonAsciiProgramFolder_isRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("固件工具 é/Config/Config.xml");
    QVERIFY(writeFile(path, document(language("Ü")).toUtf8()));
    LanguageConfig config;
    QVERIFY(config.loadConfigFile(path));
    QCOMPARE(config.text(LanguageConfig::languageName, 0), QStringLiteral("Ü-1"));
}

void TestLanguageConfig::controller_readsTheFileBesideTheProgram_data()
{
    QTest::addColumn<int>("languages");
    QTest::addColumn<QVariantList>("offered");
    QTest::newRow("two languages") << 2 << QVariantList {"L0-1", "L1-1"};
    QTest::newRow("five languages") << 5 << QVariantList {"L0-1", "L1-1", "L2-1", "L3-1", "L4-1"};
    // Only five can be selected, so only five are read and offered.
    QTest::newRow("seven languages") << 7 << QVariantList {"L0-1", "L1-1", "L2-1", "L3-1", "L4-1"};
}

void TestLanguageConfig::controller_readsTheFileBesideTheProgram()
{
    QFETCH(int, languages);
    QFETCH(QVariantList, offered);
    QString body;
    for (int i = 0; i < languages; ++i)
        body += language(QStringLiteral("L%1").arg(i));
    QVERIFY(writeFile(programConfig(), document(body).toUtf8()));
    BackEnd backend;
    QSignalSpy list(&backend, &BackEnd::sigInitLangageComboBox);
    QSignalSpy help(&backend, &BackEnd::sigSetHelpBtnMeg);

    backend.initLanguageComboBox();

    QCOMPARE(list.count(), 1);
    QCOMPARE(list.at(0).at(0).toList(), offered);
    QCOMPARE(list.at(0).at(1).toInt(), offered.size());
    QCOMPARE(list.at(0).at(2).toInt(), 0);
    QCOMPARE(help.count(), 1);
    QCOMPARE(help.at(0).at(0).toString(), QStringLiteral("help.example.org"));
}

void TestLanguageConfig::languageChange_sendsTheTextsOfTheNewLanguage()
{
    QVERIFY(writeFile(programConfig(), document(language("A") + language("B")).toUtf8()));
    BackEnd backend;
    QSignalSpy window(&backend, &BackEnd::siglangageChange);
    QSignalSpy dialog(&backend, &BackEnd::sigNetFileDialogLanguageChange);
    QSignalSpy title(&backend, &BackEnd::sigNetFileDialogWindowsTitle);
    QSignalSpy list(&backend, &BackEnd::sigInitLangageComboBox);
    QSignalSpy help(&backend, &BackEnd::sigSetHelpBtnMeg);

    backend.qml_LangageSelectChange(1);

    QCOMPARE(window.count(), 1);
    QCOMPARE(window.at(0), (QVariantList {"B-4", "B-5", "B-8", "B-10", "B-9", "B-6"}));
    QCOMPARE(dialog.count(), 1);
    // The two headings stay empty until a firmware is selected.
    QCOMPARE(dialog.at(0), (QVariantList {"B-11", "B-12", "B-25", "B-26", "", "", "B-29", "B-7"}));
    QCOMPARE(title.count(), 1);
    QCOMPARE(title.at(0).at(0).toString(), QStringLiteral("B-4"));
    // Neither the list nor the help host is sent again.
    QCOMPARE(list.count(), 0);
    QCOMPARE(help.count(), 0);
}

void TestLanguageConfig::languageChange_refusesIndexesOutsideTheTable_data()
{
    QTest::addColumn<int>("languages");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("six languages, index 4") << 6 << 4 << true;
    QTest::newRow("six languages, index 5") << 6 << 5 << false;
    QTest::newRow("two languages, index 2") << 2 << 2 << false;
    QTest::newRow("two languages, index -1") << 2 << -1 << false;
    QTest::newRow("two languages, index 0") << 2 << 0 << true;
}

void TestLanguageConfig::languageChange_refusesIndexesOutsideTheTable()
{
    QFETCH(int, languages);
    QFETCH(int, index);
    QFETCH(bool, accepted);
    QString body;
    for (int i = 0; i < languages; ++i)
        body += language(QStringLiteral("L%1").arg(i));
    QVERIFY(writeFile(programConfig(), document(body).toUtf8()));
    BackEnd backend;
    QSignalSpy window(&backend, &BackEnd::siglangageChange);
    QSignalSpy log(&backend, &BackEnd::sigOutputMsg);

    backend.qml_LangageSelectChange(index);
    backend.slot_MainTastOutputMsg(9);

    QCOMPARE(window.count(), accepted ? 1 : 0);
    const int inForce = accepted ? index : 0;
    QCOMPARE(log.at(0).at(1).toString().mid(11), QStringLiteral("L%1-22").arg(inForce));
}

void TestLanguageConfig::log_keepsEarlierLinesInTheirLanguage()
{
    QVERIFY(writeFile(programConfig(), document(language("A") + language("B")).toUtf8()));
    BackEnd backend;
    QSignalSpy log(&backend, &BackEnd::sigOutputMsg);
    backend.slot_MainTastOutputMsg(4);
    backend.qml_LangageSelectChange(1);
    backend.slot_MainTastOutputMsg(4);
    QCOMPARE(log.at(0).at(1).toString().mid(11), QStringLiteral("A-17"));
    QCOMPARE(log.at(1).at(1).toString().mid(11), QStringLiteral("B-17"));
}

void TestLanguageConfig::startLanguage_rememberedThenSystemThenFirst_data()
{
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<int>("chosen");

    const QStringList shipped {"zh=zh_CN", "en=en", "de=de"};
    QTest::newRow("exact") << shipped << QStringList {"en"} << QString() << 1;
    QTest::newRow("by language part")
        << shipped << QStringList {"de-AT", "de-Latn-AT"} << QString() << 2;
    QTest::newRow("first preference that matches")
        << shipped << QStringList {"fr", "de-DE", "en"} << QString() << 2;
    QTest::newRow("exact before language part")
        << QStringList {"zh=zh_CN", "tw=zh_TW"} << QStringList {"zh-TW"} << QString() << 1;
    QTest::newRow("no match: English") << shipped << QStringList {"it-IT"} << QString() << 1;
    QTest::newRow("C locale: English") << shipped << QStringList {"C"} << QString() << 1;
    QTest::newRow("no match, no English: the first")
        << QStringList {"zh=zh_CN", "de=de"} << QStringList {"it-IT"} << QString() << 0;
    QTest::newRow("no qt_locale in the file")
        << QStringList {"zh=", "en="} << QStringList {"zh-CN"} << QString() << 0;
    QTest::newRow("remembered wins") << shipped << QStringList {"en"} << "de" << 2;
    QTest::newRow("remembered, no longer configured") << shipped << QStringList {"en"} << "fr" << 1;
}

void TestLanguageConfig::startLanguage_rememberedThenSystemThenFirst()
{
    QFETCH(QStringList, languages);
    QFETCH(QStringList, uiLanguages);
    QFETCH(QString, remembered);
    QFETCH(int, chosen);

    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("Config.xml"), localedLanguages(languages).toUtf8()));
    LanguageConfig config;
    QVERIFY(config.loadConfigFile(dir.filePath("Config.xml")));
    QCOMPARE(LanguageChoice::choose(config, uiLanguages, remembered), chosen);
}

void TestLanguageConfig::startLanguage_isTheOneChosenLastTime()
{
    // This user's settings live in a folder of the test's own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QCoreApplication::setOrganizationName("Tarvo");
    QVERIFY(writeFile(programConfig(), localedLanguages({"zh=zh_CN", "en=en", "de=de"}).toUtf8()));
    {
        BackEnd first;
        first.followUserLanguage();
        first.qml_LangageSelectChange(1); // filling the box is not a choice
        first.qml_LangageSelectChange(2);
        first.qml_LanguageChosen(2);
    }
    {
        BackEnd filled;
        filled.followUserLanguage();
        filled.qml_LangageSelectChange(0);
    }
    BackEnd next;
    next.followUserLanguage();
    QSignalSpy list(&next, &BackEnd::sigInitLangageComboBox);
    next.initLanguageComboBox();
    QCOMPARE(list.at(0).at(2).toInt(), 2);
}

QTEST_GUILESS_MAIN(TestLanguageConfig)
#include "tst_languageconfig.moc"
