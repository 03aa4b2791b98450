// Where the program looks for its configuration and keeps its downloads.
#include "AppPaths.h"
#include "BackEnd.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestAppPaths : public QObject
{
    Q_OBJECT

private slots:
    void choose_data();
    void choose();
    void controller_emptiesOnlyTheFolderInUse();
};

namespace {

void makeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

void TestAppPaths::choose_data()
{
    // Layout under a temporary root: bin/ is the program's folder, share/ the installed data.
    // "blocked" puts a plain file where a folder would have to be created, which no user (root
    // included) can write into.
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("configDir");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("downloadDir");
    QTest::addColumn<bool>("inUserCache");
    const QString portable = "bin/Config/";
    const QString installed = "share/firmware-updater/Config/";
    QTest::newRow("portable, writable") << QStringList {portable} << QStringList() << portable
                                        << true << portable + "Temp/" << false;
    QTest::newRow("portable, download folder blocked")
        << QStringList {portable} << QStringList {portable + "Temp"} << portable << true
        << "cache/Temp/" << false;
    QTest::newRow("installed only: never writes beside the program")
        << QStringList {"bin", installed} << QStringList() << installed << true << "cache/Temp/"
        << false;
    QTest::newRow("both: the portable layout wins")
        << QStringList {portable, installed} << QStringList() << portable << true
        << portable + "Temp/" << false;
    QTest::newRow("neither, writable")
        << QStringList {"bin"} << QStringList() << portable << false << portable + "Temp/" << false;
    QTest::newRow("neither, program folder blocked")
        << QStringList {"bin"} << QStringList {"bin/Config"} << portable << false << "cache/Temp/"
        << false;
    QTest::newRow("portable, writable, but the user's cache asked for (Windows)")
        << QStringList {portable} << QStringList() << portable << true << "cache/Temp/" << true;
}

void TestAppPaths::choose()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(QString, configDir);
    QFETCH(bool, found);
    QFETCH(QString, downloadDir);
    QFETCH(bool, inUserCache);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString base = root.path() + '/';
    for (const QString &folder : folders)
        QVERIFY(QDir().mkpath(base + folder));
    for (const QString &file : files)
        makeFile(base + file);

    const AppPaths paths = AppPaths::choose(
        base + "bin", base + "cache",
        inUserCache ? AppPaths::Downloads::InUserCache : AppPaths::Downloads::BesidePortableConfig);
    QCOMPARE(paths.configDir, base + configDir);
    QCOMPARE(paths.configFound, found);
    QCOMPARE(paths.downloadDir, base + downloadDir);
    QCOMPARE(paths.configFile(), base + configDir + "Config.xml");
    // The write probe leaves nothing behind.
    if (QFileInfo(paths.downloadDir).isDir())
        QCOMPARE(QDir(paths.downloadDir)
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
}

void TestAppPaths::controller_emptiesOnlyTheFolderInUse()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString base = root.path() + '/';
    makeFile(base + "bin/Config/Temp/left.json");
    makeFile(base + "cache/Temp/old.json");
    AppPaths paths;
    paths.configDir = base + "bin/Config/";
    paths.downloadDir = base + "cache/Temp/";
    {
        BackEnd backend(paths);
        QVERIFY(!QFile::exists(base + "cache/Temp/old.json"));
        makeFile(base + "cache/Temp/new.json");
    }
    QVERIFY(!QFile::exists(base + "cache/Temp/new.json"));
    QVERIFY(QFile::exists(base + "bin/Config/Temp/left.json"));
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
