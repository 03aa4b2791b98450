// firmware-updater-cli end to end: the real program against the simulated accessory (standing in
// for the system's hidapi library) and the loopback web server. What reaches the device is compared
// byte for byte; every run must leave the download folder empty.
#include "CliProcess.h"
#include "TestHttpServer.h"
#include "ZipBuilder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed * 31 + i / 251) & 0xFF);
    return bytes;
}

// The device holds whole blocks: the image, then 0xFF up to the block's end.
bool holdsImage(const QByteArray &received, const QByteArray &image)
{
    const int blocks = (image.size() + 1023) / 1024;
    return received.size() == blocks * 1024 && received.startsWith(image)
        && received.mid(image.size()).count(char(0xFF)) == received.size() - image.size();
}

QJsonObject record(const QString &id, const QString &version, const QString &date,
                   const QString &url)
{
    return {{"device_id", id},
            {"version", version},
            {"release_date", date},
            {"firmware_url", url},
            {"category1",
             QJsonObject {{"id", "tx"}, {"language1", "发射机"}, {"language2", "Transmitters"}}},
            {"category2", QJsonObject {{"id", id}, {"language2", "Model " + id}}},
            {"remark", QJsonObject {{"language1", "说明"}, {"language2", "Notes " + id}}},
            {"update_contents", QJsonObject {{"language2", "Changes " + version}}}};
}

QByteArray zipHolding(const QByteArray &name, const QByteArray &data)
{
    return ZipBuilder().add(ZipBuilder::file(name, data)).build();
}

QString sha256Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A record naming its archive's digest and size.
QJsonObject withDigest(QJsonObject record, const QByteArray &archive, const QString &digest = {})
{
    record.insert("sha256", digest.isEmpty() ? sha256Of(archive) : digest);
    record.insert("size", archive.size());
    return record;
}

// Waits, without the web server needing the event loop, until the program has printed the text.
bool waitForOutput(QProcess &process, QProcess::ProcessChannel channel, const QByteArray &text)
{
    process.setReadChannel(channel);
    QElapsedTimer clock;
    clock.start();
    while (!process.peek(1 << 16).contains(text) && clock.elapsed() < 10000)
        process.waitForReadyRead(50);
    return process.peek(1 << 16).contains(text);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void flash_sendsTheImageByteForByte_data();
    void flash_sendsTheImageByteForByte();
    void exitCodes_data();
    void exitCodes();
    void badInput_oneLineNothingWritten_data();
    void badInput_oneLineNothingWritten();
    void devices_listsEveryAccessoryWithItsKind();
    void several_eachAccessoryItsOwn_data();
    void several_eachAccessoryItsOwn();
    void station_eachPluggedAccessoryOnce();
    void lock_oneCopyOpensTheDevices_data();
    void lock_oneCopyOpensTheDevices();
    void lock_twoStartedTogetherOneWrites();
    void catalogue_printsTheMatchingRecords_data();
    void catalogue_printsTheMatchingRecords();
    void fromCatalogue_picksNewestAndRefusesMismatch_data();
    void fromCatalogue_picksNewestAndRefusesMismatch();
    void progress_redrawnOnATerminalLinesOnAPipe_data();
    void progress_redrawnOnATerminalLinesOnAPipe();
    void interrupt_whileWritingAsksTwice_data();
    void interrupt_whileWritingAsksTwice();
    void interrupt_duringADownloadLeavesNothingBehind();
    void history_recordsEveryUpdate_data();
    void history_recordsEveryUpdate();

private:
    QJsonArray history();
    CliProcess::Result runExitRow();
    void startOtherCopy(QProcess &other, const QString &holder);
    QString file(const QString &name) const { return files.path() + "/" + name; }
    QString url(const QString &path) const { return server.origin() + path; }

    std::unique_ptr<CliProcess> cli;
    QTemporaryDir files;
    TestHttpServer server;
    QByteArray newAbc = pattern(2500, 1);
    QByteArray xyz = pattern(1500, 2);
};

void TestCli::initTestCase()
{
    QVERIFY(server.start());
    // Runs as another user read the images too.
    QVERIFY(QFile::setPermissions(files.path(),
                                  QFile::permissions(files.path()) | QFileDevice::ReadOther
                                      | QFileDevice::ExeOther));
    QFile good(file("good.bin"));
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write(pattern(5000, 0));
    good.close();
    QFile empty(file("empty.bin"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QVERIFY(QDir(files.path()).mkdir("folder.bin"));
    // Sparse: the sizes count, not the bytes.
    QFile huge(file("huge.bin"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(64 * 1024 * 1024 + 1));
    huge.close();
    QFile legacyTooLarge(file("4097blocks.bin"));
    QVERIFY(legacyTooLarge.open(QIODevice::WriteOnly) && legacyTooLarge.resize(4096 * 1024 + 1));
    legacyTooLarge.close();
    QFile twenty(file("twenty.bin"));
    QVERIFY(twenty.open(QIODevice::WriteOnly));
    twenty.write(pattern(20 * 1024, 4));
    twenty.close();
    QVERIFY(QDir(files.path()).mkpath("window-settings/Tarvo"));
    QFile windowSettings(file("window-settings/Tarvo/firmware-updater.conf"));
    QVERIFY(windowSettings.open(QIODevice::WriteOnly));
    windowSettings.write("[General]\nlanguage=Deutsch\n");
    windowSettings.close();
    QFile big(file("big.bin"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(pattern(200 * 1024, 3));
    big.close();

    // The newest ABC firmware is neither the first nor the last record.
    // Only XYZ's record carries its archive's digest: a history names it verified.
    const QByteArray xyzArchive = zipHolding("XYZ.bin", xyz);
    const QJsonArray records {
        record("ABC", "1.0", "2024-01-05", "old/ABC.zip"),
        record("ABC", "1.1", "2024-03-01", "new/ABC.zip"),
        withDigest(record("XYZ", "2.0", "2024-02-01", "xyz/XYZ.zip"), xyzArchive),
        record("ABC", "0.9", "2023-12-31", "older/ABC.zip")};
    const auto catalogue = [](const QJsonArray &firmwares) {
        return TestHttpServer::ok(
            QJsonDocument(QJsonObject {{"base_url", "fw"}, {"Firmwares", firmwares}}).toJson());
    };
    server.setReply("/cat.json", catalogue(records));
    server.setReply("/fw/old/ABC.zip", TestHttpServer::ok(zipHolding("ABC.bin", pattern(900, 9))));
    server.setReply("/fw/new/ABC.zip", TestHttpServer::ok(zipHolding("ABC.bin", newAbc)));
    server.setReply("/fw/older/ABC.zip", TestHttpServer::ok(zipHolding("ABC.bin", pattern(90, 8))));
    server.setReply("/fw/xyz/XYZ.zip", TestHttpServer::ok(xyzArchive));
    server.setReply("/broken.json", TestHttpServer::ok("{ not json"));
    server.setReply("/missing.json", TestHttpServer::status(404));
    server.setReply("/forbidden.json", TestHttpServer::status(403));
    server.setReply("/failing.json", TestHttpServer::status(503));
    server.setReply("/gone.json", catalogue({record("ABC", "1", "2024-01-01", "gone/ABC.zip")}));
    server.setReply("/unsafe.json", catalogue({record("ABC", "1", "2024-01-01", "evil/ABC.zip")}));
    const QByteArray digestZip = zipHolding("ABC.bin", newAbc);
    server.setReply("/fw/digest/ABC.zip", TestHttpServer::ok(digestZip));
    server.setReply(
        "/digest.json",
        catalogue({withDigest(record("ABC", "1", "2024-01-01", "digest/ABC.zip"), digestZip)}));
    server.setReply("/wrong-digest.json",
                    catalogue({withDigest(record("ABC", "1", "2024-01-01", "digest/ABC.zip"),
                                          digestZip, QString(64, '0'))}));
    server.setReply("/stalling.json",
                    catalogue({record("ABC", "1", "2024-01-01", "stall/ABC.zip")}));
    server.setReply("/fw/stall/ABC.zip", TestHttpServer::stall(100000));
    server.setReply("/fw/evil/ABC.zip", TestHttpServer::ok(zipHolding("../ABC.bin", newAbc)));
}

void TestCli::init()
{
    cli = std::make_unique<CliProcess>();
    QVERIFY(cli->isReady());
}

// Whatever a run did, it leaves nothing in the download folder.
void TestCli::cleanup()
{
    if (cli)
        QCOMPARE(QDir(cli->downloadFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    cli.reset();
}

void TestCli::flash_sendsTheImageByteForByte_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("headerCommand");
    QTest::newRow("V20 device") << "v20:ABC" << 5000 << QByteArray("command 0x8");
    QTest::newRow("legacy device") << "legacy" << 3073 << QByteArray("command 0x4");
}

void TestCli::flash_sendsTheImageByteForByte()
{
    QFETCH(QString, device);
    QFETCH(int, size);
    QFETCH(QByteArray, headerCommand);
    const QByteArray image = pattern(size, 5);
    QFile out(file("flash.bin"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(image);
    out.close();
    cli->setDevices(device);
    const auto r = cli->run({"flash", file("flash.bin"), "--language", "English"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(holdsImage(r.image, image), r.err.constData());
    QVERIFY(r.deviceLog.contains(headerCommand + '\n'));
    QVERIFY(r.deviceLog.contains("errors 0"));
    // stdout holds the outcome alone; what the run did (and its progress) is on stderr.
    QCOMPARE(r.out, QByteArray("Device updated\n"));
    QVERIFY2(r.err.contains("Device connected") && r.err.contains("100 %")
                 && r.err.contains("Waiting up to 10 s for the device"),
             r.err.constData());
}

namespace {

void addExitColumns()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QString>("simSetting");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText");
}

QStringList inEnglish(QStringList arguments)
{
    return arguments << "--language"
                     << "English";
}

} // namespace

void TestCli::exitCodes_data()
{
    addExitColumns();
    const QString v20 = "v20:ABC";
    const auto en = inEnglish;
    const QString good = file("good.bin");
    QTest::newRow("updated") << en(QStringList {"flash", good}) << v20 << "" << 0 << "";
    QTest::newRow("device plugged in during the wait")
        << en(QStringList {"flash", good, "--wait", "10"}) << v20 << "FWU_SIM_ATTACH_AFTER_MS=400"
        << 0 << "";
    QTest::newRow("no device") << en(QStringList {"flash", good, "--wait", "0.2"}) << ""
                               << "" << 3 << "Connect the device first";
    QTest::newRow("no device, in the system's language")
        << QStringList {"flash", good, "--wait", "0.2"} << ""
        << "LC_ALL=en_US.UTF-8" << 3 << "Connect the device first";
    // The window's remembered choice, not a settings file of the command line's own.
    QTest::newRow("no device, in the window's remembered language")
        << QStringList {"flash", good, "--wait", "0.2"} << ""
        << "XDG_CONFIG_HOME=" + file("window-settings") << 3 << "Bitte zuerst das Gerät verbinden";
    QTest::newRow("device cannot be opened")
        << en(QStringList {"flash", good, "--wait", "0.5"}) << "unopenable"
        << "" << 3 << "The device was found but cannot be opened: permission denied";
    // After the failure message, the reason on a line of its own.
    const QString failed = "Device update failed\nfirmware-updater-cli: ";
    QTest::newRow("device lost mid-update")
        << en(QStringList {"flash", good}) << v20 << "FWU_SIM_DETACH_AFTER_BLOCK=1" << 4
        << failed + "the accessory was unplugged during block 2 of 5";
    // Two identity requests, the all-zero report, start and prepare: then block 1's header.
    QTest::newRow("write refused")
        << en(QStringList {"flash", good}) << v20 << "FWU_SIM_FAIL_WRITE=6" << 4
        << failed + "writing block 1 of 5 failed";
    const QStringList noAckOfBlock8 {"设备未确认第 8 块（共 20 块）",
                                     "the accessory did not acknowledge block 8 of 20",
                                     "das Zubehör hat Block 8 von 20 nicht bestätigt",
                                     "l’accessoire n’a pas confirmé le bloc 8 sur 20",
                                     "el accesorio no confirmó el bloque 8 de 20"};
    for (int language = 1; language <= noAckOfBlock8.size(); ++language)
        QTest::addRow("block 8 of 20 not acknowledged, language %d", language)
            << QStringList {"flash", file("twenty.bin"), "--language", QString::number(language)}
            << "v20:ABC,withhold-block=7"
            << "" << 4 << "firmware-updater-cli: " + noAckOfBlock8[language - 1] + "\n";
    QTest::newRow("catalogue not found: the status, not a network fault")
        << en(QStringList {"catalogue", "--url", url("/missing.json")}) << v20 << "" << 2
        << "HTTP status 404";
    QTest::newRow("catalogue refused with 403")
        << en(QStringList {"catalogue", "--url", url("/forbidden.json")}) << v20 << "" << 2
        << "HTTP status 403";
    QTest::newRow("archive not found")
        << en(QStringList {"flash", "--from-catalogue", "--url", url("/gone.json")}) << v20 << ""
        << 2 << "HTTP status 404";
    QTest::newRow("--sha256 of the image")
        << en(QStringList {"flash", good, "--sha256", sha256Of(pattern(5000, 0)).toUpper()}) << v20
        << "" << 0 << "";
    QTest::newRow("--sha256 of another image")
        << en(QStringList {"flash", good, "--sha256", sha256Of("other")}) << v20 << "" << 7
        << "nothing was written";
    QTest::newRow("archive matching the catalogue's digest")
        << en(QStringList {"flash", "--from-catalogue", "--url", url("/digest.json")}) << v20 << ""
        << 0 << "";
    QTest::newRow("archive not matching the catalogue's digest")
        << en(QStringList {"flash", "--from-catalogue", "--url", url("/wrong-digest.json")}) << v20
        << "" << 7 << "the download does not match the catalogue (expected 000000000000…";
    // A file where the history's folder should be: no one can write it, root neither.
    QTest::newRow("history unwritable: one warning, both updates go on")
        << en(QStringList {"flash", good, "--all"}) << "v20:ABC;v20:XYZ"
        << "XDG_STATE_HOME=" + good << 0 << "The update history cannot be written";
    QTest::newRow("server fault: a network error")
        << en(QStringList {"catalogue", "--url", url("/failing.json")}) << v20 << "" << 1
        << "Network error";
}

void TestCli::exitCodes()
{
    const auto r = runExitRow();
    if (QString(QTest::currentDataTag()).startsWith("history unwritable"))
        QCOMPARE(r.err.count("history cannot be written"), 1);
}

// Refused before the update starts: exit 2, one line saying why, and nothing sent to the device.
void TestCli::badInput_oneLineNothingWritten_data()
{
    addExitColumns();
    const QString v20 = "v20:ABC";
    const auto en = inEnglish;
    const QString good = file("good.bin");
    QTest::newRow("missing file") << en(QStringList {"flash", file("nothing.bin")}) << v20 << ""
                                  << 2 << "Cannot open the file";
    QTest::newRow("directory") << en(QStringList {"flash", file("folder.bin")}) << v20 << "" << 2
                               << "Cannot open the file";
    QTest::newRow("empty file") << en(QStringList {"flash", file("empty.bin")}) << v20 << "" << 2
                                << "The file size is not valid";
    QTest::newRow("image over 64 MiB") << en(QStringList {"flash", file("huge.bin")}) << v20 << ""
                                       << 2 << "The file size is not valid";
    QTest::newRow("image too large for a legacy device")
        << en(QStringList {"flash", file("4097blocks.bin")}) << "legacy"
        << "" << 2 << "The file size is not valid";
    QTest::newRow("unknown option")
        << en(QStringList {"flash", good, "--fast"}) << v20 << "" << 2 << "Unknown option 'fast'";
    QTest::newRow("wait not a number") << en(QStringList {"flash", good, "--wait", "ten"}) << v20
                                       << "" << 2 << "--wait needs a number";
    QTest::newRow("unknown command")
        << en(QStringList {"burn", good}) << v20 << "" << 2 << "unknown command";
    QTest::newRow("unknown language")
        << QStringList {"flash", good, "--language", "Klingon"} << v20 << "" << 2 << "2 English";
    QTest::newRow("catalogue URL not http or file")
        << en(QStringList {"catalogue", "--url", "ftp://127.0.0.1/cat.json"}) << v20 << "" << 2
        << "not an http, https or file URL";
    QTest::newRow("catalogue does not parse")
        << en(QStringList {"catalogue", "--url", url("/broken.json")}) << v20 << "" << 2
        << "not a firmware catalogue";
    QTest::newRow("archive refused by the checks")
        << en(QStringList {"flash", "--from-catalogue", "--url", url("/unsafe.json")}) << v20 << ""
        << 2 << "Cannot open the file: ABC.zip";
    QTest::newRow("--sha256 with --from-catalogue")
        << en(QStringList {"flash", "--from-catalogue", "--sha256", QString(64, 'a')}) << v20 << ""
        << 2 << "--sha256 checks an image file";
    QTest::newRow("--sha256 not a digest")
        << en(QStringList {"flash", good, "--sha256", "abc"}) << v20 << "" << 2
        << "--sha256 needs 64 hexadecimal digits";
    QTest::newRow("in the chosen language")
        << QStringList {"flash", file("nothing.bin"), "--language", "3"} << v20 << "" << 2
        << "Die Datei kann nicht geöffnet werden";
    QTest::newRow("first language by default")
        << QStringList {"flash", file("empty.bin")} << v20 << "" << 2 << "文件大小不合格";
}

void TestCli::badInput_oneLineNothingWritten()
{
    runExitRow();
}

CliProcess::Result TestCli::runExitRow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, devices);
    QFETCH(QString, simSetting);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrText);
    cli->setDevices(devices);
    if (!simSetting.isEmpty())
        cli->setSim(simSetting.section('=', 0, 0), simSetting.section('=', 1));
    const auto r = cli->run(arguments);
    [&] {
        QVERIFY(!r.crashed);
        QCOMPARE(r.exitCode, exitCode);
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(err.contains(stderrText), qPrintable(err));
        if (exitCode == 2 || exitCode == 3 || exitCode == 6 || exitCode == 7) {
            // One failure line; status lines (the wait, the device) may come before it.
            QCOMPARE(err.count(QRegularExpression("^firmware-updater-cli: ",
                                                  QRegularExpression::MultilineOption)),
                     1);
            QVERIFY2(r.deviceLog.isEmpty() || r.deviceLog.startsWith("headers 0\n"), r.deviceLog);
        }
    }();
    return r;
}

void TestCli::devices_listsEveryAccessoryWithItsKind()
{
    cli->setDevices("v20:ABC-123,serial=S1;legacy;unopenable");
    const auto r = cli->run({"devices", "--language", "English"});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QString("sim-hid:1 [S1]  V20  ABC-123  free"));
    QCOMPARE(lines[1], QString("sim-hid:2  legacy  -  free"));
    QVERIFY2(lines[2].contains("  The device was found but cannot be opened: permission denied"),
             qPrintable(lines[2]));

    const auto json = cli->run({"devices", "--json"});
    QCOMPARE(json.exitCode, 0);
    const QJsonArray list = QJsonDocument::fromJson(json.out).array();
    QCOMPARE(list.size(), 3);
    QCOMPARE(list[0].toObject().value("serial").toString(), QString("S1"));
    QCOMPARE(list[0].toObject().value("identity").toString(), QString("ABC-123"));
    QCOMPARE(list[1].toObject().value("kind").toString(), QString("legacy"));
    QCOMPARE(list[2].toObject().value("state").toString(), QString("cannot open"));

    // As the exit-status table says: 3 when no accessory can be opened.
    cli->setDevices("unopenable");
    QCOMPARE(cli->run({"devices"}).exitCode, 3);
    cli->setDevices("");
    const auto none = cli->run({"devices", "--language", "English"});
    QCOMPARE(none.exitCode, 3);
    QVERIFY(none.err.contains("Connect the device first"));
}

// Several accessories: --all updates each side by side as a single update would, and only the one
// that fails fails; --device picks one. `images` is what each device holds afterwards, empty for
// nothing written.
void TestCli::several_eachAccessoryItsOwn_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("devices");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("reportLines"); // each a line's start, in order
    QTest::addColumn<QString>("stderrText");
    QTest::addColumn<QList<QByteArray>>("images");
    QTest::addColumn<QString>("lastJson"); // "reason block" of the last in --json; "": no run
    const QString good = file("good.bin");
    const QByteArray image = pattern(5000, 0);
    const QStringList fromCatalogue {"flash", "--from-catalogue", "--url", url("/cat.json")};
    QTest::newRow("--all, mixed kinds, the third unplugged mid-way")
        << QStringList {"flash", good, "--all"} << "v20:ABC;legacy,ack=1;v20:XYZ,detach-block=2"
        << 4
        << QStringList {"sim-hid:1  ABC  updated", "sim-hid:2  *  updated",
                        "sim-hid:3  XYZ  failed: Device update failed: the accessory was "
                        "unplugged during block 3 of 5"}
        << "" << QList<QByteArray> {image, image, QByteArray()} << "unplugged 3";
    QTest::newRow("--all from the catalogue: each its own identity's newest")
        << fromCatalogue + QStringList {"--all"} << "v20:XYZ;v20:ABC;v20:abc" << 0
        << QStringList {"sim-hid:1  XYZ  updated", "sim-hid:2  ABC  updated",
                        "sim-hid:3  abc  updated"}
        << "" << QList<QByteArray> {xyz, newAbc, newAbc} << QString();
    QTest::newRow("--all, fewer than --expect within --wait")
        << QStringList {"flash", good, "--all", "--expect", "2", "--wait", "0.3"} << "v20:ABC" << 3
        << QStringList {} << "1 accessories found, 2 expected" << QList<QByteArray> {QByteArray()}
        << QString();
    QTest::newRow("--all, none there")
        << QStringList {"flash", good, "--all", "--wait", "0.2"} << "" << 3 << QStringList {}
        << "Connect the device first" << QList<QByteArray> {} << QString();
    QTest::newRow("--device by serial")
        << QStringList {"flash", good, "--device", "S2"} << "v20:ABC,serial=S1;v20:XYZ,serial=S2"
        << 0 << QStringList {"Device updated"} << "" << QList<QByteArray> {QByteArray(), image}
        << QString();
    QTest::newRow("two interfaces of one serial: one accessory, written through the first")
        << QStringList {"flash", good} << "v20:ABC,serial=S;legacy,serial=S" << 0
        << QStringList {"Device updated"} << "" << QList<QByteArray> {image, QByteArray()}
        << QString();
    QTest::newRow("three present, none named: refused, each listed")
        << QStringList {"flash", good} << "v20:ABC,serial=S1;v20:ABC,serial=S2;legacy,serial=S3"
        << 2 << QStringList {}
        << "3 accessories are plugged in; name the one to update with --device SERIAL (or its "
           "path), or update each with --all:\n"
           "  S1  ABC  V20  sim-hid:1\n  S2  ABC  V20  sim-hid:2\n  S3  -  legacy  sim-hid:3\n"
        << QList<QByteArray> {QByteArray(), QByteArray(), QByteArray()} << QString();
    // The refusal in each language; the accessory without a serial is listed as such.
    const QStringList refusals {
        "已连接 2 个设备；请用 --device 序列号（或其路径）指定要升级的设备，或用 --all 逐个升级：\n"
        "  S1  ABC  V20  sim-hid:1\n  （无序列号）  XYZ  V20  sim-hid:2\n",
        "2 accessories are plugged in; name the one to update with --device SERIAL (or its path), "
        "or update each with --all:\n  S1  ABC  V20  sim-hid:1\n  (no serial)  XYZ  V20  "
        "sim-hid:2\n",
        "2 Zubehörteile sind angeschlossen; nennen Sie das zu aktualisierende mit --device "
        "SERIENNUMMER (oder seinem Pfad), oder aktualisieren Sie jedes mit --all:\n"
        "  S1  ABC  V20  sim-hid:1\n  (keine Seriennummer)  XYZ  V20  sim-hid:2\n",
        "2 accessoires sont branchés ; indiquez celui à mettre à jour avec --device "
        "NUMÉRO_DE_SÉRIE (ou son chemin), ou mettez-les tous à jour avec --all :\n"
        "  S1  ABC  V20  sim-hid:1\n  (sans numéro de série)  XYZ  V20  sim-hid:2\n",
        "Hay 2 accesorios conectados; indique el que se debe actualizar con --device "
        "NÚMERO_DE_SERIE (o su ruta), o actualice cada uno con --all:\n"
        "  S1  ABC  V20  sim-hid:1\n  (sin número de serie)  XYZ  V20  sim-hid:2\n"};
    for (int language = 1; language <= refusals.size(); ++language) {
        QTest::addRow("two present, none named: refused in language %d", language)
            << QStringList {"flash", good, "--language", QString::number(language)}
            << "v20:ABC,serial=S1;v20:XYZ" << 2 << QStringList {} << refusals[language - 1]
            << QList<QByteArray> {QByteArray(), QByteArray()} << QString();
    }
    QTest::newRow("from the catalogue, two present, none named: refused before the download")
        << fromCatalogue << "v20:ABC;v20:XYZ" << 2 << QStringList {}
        << "  (no serial)  ABC  V20  sim-hid:1\n  (no serial)  XYZ  V20  sim-hid:2\n"
        << QList<QByteArray> {QByteArray(), QByteArray()} << QString();
    // The engine opens the first to appear; the second comes before the update starts.
    QTest::newRow("--wait: a second appears before writing starts: refused")
        << QStringList {"flash", good, "--wait", "10"}
        << "v20:ABC,serial=S1,attach=300;v20:XYZ,serial=S2,attach=305" << 2 << QStringList {}
        << "  S1  ABC  V20  sim-hid:1\n  S2  XYZ  V20  sim-hid:2\n"
        << QList<QByteArray> {QByteArray(), QByteArray()} << QString();
    QTest::newRow("--all: a download that fails says so")
        << QStringList {"flash", "--from-catalogue", "--url", url("/gone.json"), "--all"}
        << "v20:ABC" << 4
        << QStringList {"sim-hid:1  ABC  failed: the server answered HTTP status 404"} << ""
        << QList<QByteArray> {QByteArray()} << QString();
    QTest::newRow("--device plugged in during --wait")
        << QStringList {"flash", good, "--device", "S2"} << "v20:ABC;v20:XYZ,serial=S2,attach=500"
        << 0 << QStringList {"Device updated"} << "" << QList<QByteArray> {QByteArray(), image}
        << QString();
    QTest::newRow("--device by identity")
        << QStringList {"flash", good, "--device", "xyz"} << "v20:ABC;v20:XYZ" << 0
        << QStringList {"Device updated"} << "" << QList<QByteArray> {QByteArray(), image}
        << QString();
    QTest::newRow("--device matching nothing")
        << QStringList {"flash", good, "--device", "Q7", "--wait", "0.3"} << "v20:ABC;v20:XYZ" << 3
        << QStringList {} << "no accessory named Q7; present: sim-hid:1, sim-hid:2"
        << QList<QByteArray> {QByteArray(), QByteArray()} << QString();
    QTest::newRow("--device matching several")
        << QStringList {"flash", good, "--device", "ABC"} << "v20:ABC;v20:ABC" << 2
        << QStringList {} << "ABC names several accessories: sim-hid:1, sim-hid:2"
        << QList<QByteArray> {QByteArray(), QByteArray()} << QString();
}

void TestCli::several_eachAccessoryItsOwn()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, devices);
    QFETCH(int, exitCode);
    QFETCH(QStringList, reportLines);
    QFETCH(QString, stderrText);
    QFETCH(QList<QByteArray>, images);
    QFETCH(QString, lastJson);
    cli->setDevices(devices);
    if (!lastJson.isEmpty()) {
        const auto json = cli->run(inEnglish(arguments) << "--json");
        const QJsonArray units = QJsonDocument::fromJson(json.out).array();
        QVERIFY2(!units.isEmpty(), json.out.constData());
        const QJsonObject last = units.last().toObject();
        QCOMPARE(last.value("reason").toString() + ' '
                     + QString::number(last.value("block").toInt()),
                 lastJson);
        QCOMPARE(units.first().toObject().value("reason").toString(), QString());
    }
    const auto r = cli->run(arguments.contains("--language") ? arguments : inEnglish(arguments));
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(stderrText), r.err.constData());
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), reportLines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i].startsWith(reportLines[i]), qPrintable(lines[i]));
    for (int i = 0; i < images.size(); ++i) {
        const QByteArray received = cli->received(i + 1);
        if (exitCode == 2) // refused before writing: not a block went out
            QVERIFY2(received.isEmpty(), qPrintable(QString::number(i + 1)));
        else if (images[i].isEmpty())
            QVERIFY2(received.size() <= 3 * 1024, qPrintable(QString::number(i + 1))); // unplugged
        else
            QVERIFY2(holdsImage(received, images[i]), qPrintable(QString::number(i + 1)));
    }
}

// Two accessories plugged in one after the other are each updated once, though the first stays
// plugged in while the station runs on; Ctrl+C with nothing being written ends it at once.
void TestCli::station_eachPluggedAccessoryOnce()
{
    cli->setDevices("v20:ABC;legacy,attach=700");
    const auto r = cli->run(inEnglish({"flash", file("good.bin"), "--station"}), [](QProcess &p) {
        QVERIFY(waitForOutput(p, QProcess::StandardOutput, "(updated 2, failed 0)"));
        QTest::qWait(600); // three more scans with the first accessory still there
        ::kill(pid_t(p.processId()), SIGINT);
    });
    QCOMPARE(r.exitCode, 130);
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith("sim-hid:1  ABC  updated"), qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith("sim-hid:2  *  updated"), qPrintable(lines[1]));
    QVERIFY(holdsImage(r.image, pattern(5000, 0)));
    QVERIFY(r.deviceLog.startsWith("headers 5\n")); // once, not again
    QVERIFY(holdsImage(cli->received(2), pattern(5000, 0)));
}

// Whoever holds the lock (the window or a run of the command line) is the only one to open the
// devices; one that has ended, or died, leaves them to the next.
void TestCli::lock_oneCopyOpensTheDevices_data()
{
    addExitColumns();
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("stdoutText");
    const QString v20 = "v20:ABC";
    const auto en = inEnglish;
    const QString good = file("good.bin");
    const QString busy = "The firmware updater is already running.";
    const QStringList fromCatalogue {"flash", "--from-catalogue", "--url", url("/cat.json")};
    QTest::newRow("window running: flash refused")
        << en(QStringList {"flash", good}) << v20 << "" << 6 << busy << "window"
        << "";
    QTest::newRow("window running: flash from the catalogue refused")
        << en(fromCatalogue) << v20 << "" << 6 << busy << "window"
        << "";
    QTest::newRow("window running: devices named busy, not opened")
        << en(QStringList {"devices"}) << v20 << "" << 0 << ""
        << "window"
        << "  busy: " + busy;
    QTest::newRow("window holds the first accessory: --all skips it, updates the other")
        << en(QStringList {"flash", good, "--all"}) << "v20:ABC;v20:XYZ"
        << "" << 0 << ""
        << "window"
        << "sim-hid:1  *  skipped: busy: " + busy;
    QTest::newRow("window killed: its lock taken over")
        << en(QStringList {"flash", good}) << v20 << "" << 0 << ""
        << "window killed"
        << "";
    QTest::newRow("window holds the only accessory: --all refused, naming it")
        << en(QStringList {"flash", good, "--all", "--wait", "0.3"}) << v20 << "" << 6
        << busy + " (busy: sim-hid:1)"
        << "window"
        << "";
    // Waiting for the accessory's lock would write it again once the holder is done.
    QTest::newRow("command line writing: --all refused at once, not after it")
        << en(QStringList {"flash", good, "--all", "--wait", "600"}) << v20 << "" << 6
        << busy + " (busy: sim-hid:1)"
        << "command line"
        << "";
    QTest::newRow("command line writing: refused, in the chosen language")
        << QStringList {"flash", good, "--language", "3"} << v20 << "" << 6
        << "Die Firmware-Aktualisierung läuft bereits."
        << "command line"
        << "";
    // The lock does not live in the user's runtime folder, nor belong to the user.
    QTest::newRow("command line writing: refused without XDG_RUNTIME_DIR")
        << en(QStringList {"flash", good}) << v20 << "" << 6 << busy
        << "command line; runtime folder unset"
        << "";
    QTest::newRow("command line writing: refused as another user")
        << en(QStringList {"flash", good}) << v20 << "" << 6 << busy << "command line; as nobody"
        << "";
    QTest::newRow("command line killed while writing: its lock gone with it")
        << en(QStringList {"flash", good}) << v20 << "" << 0 << ""
        << "command line killed"
        << "";
    QTest::newRow("command line ended: lock freed")
        << en(QStringList {"flash", good}) << v20 << "" << 0 << ""
        << "command line ended"
        << "";
}

void TestCli::lock_oneCopyOpensTheDevices()
{
    QFETCH(QString, holder);
    QFETCH(QString, stdoutText);
    QFETCH(int, exitCode);
    if (holder.endsWith("as nobody") && ::geteuid() != 0)
        QSKIP("only root can run the command line as another user");
    QProcess other;
    startOtherCopy(other, holder);
    if (QTest::currentTestFailed())
        return;
    if (holder.endsWith("runtime folder unset"))
        cli->unsetEnvironment("XDG_RUNTIME_DIR");
    if (holder.endsWith("as nobody"))
        QVERIFY(cli->runAs("nobody"));
    const auto r = runExitRow();
    const QString out = QString::fromUtf8(r.out);
    QVERIFY2(out.contains(stdoutText), qPrintable(out));
    if (exitCode == 6 || stdoutText.contains("skipped"))
        QVERIFY(r.image.isEmpty());
    else if (stdoutText.isEmpty())
        QVERIFY(holdsImage(r.image, pattern(5000, 0)));
    if (stdoutText.contains("skipped"))
        QVERIFY(holdsImage(cli->received(2), pattern(5000, 0)));
    if (other.state() != QProcess::NotRunning) {
        QVERIFY2(CliProcess::firstAccessoryLocked(), "the refused copy took the holder's lock");
        other.kill();
        other.waitForFinished();
    }
}

// Two runs started at once on one accessory (each sees its own simulated one under the same
// path): one writes it, the other exits 6 having written nothing; never both, never neither.
void TestCli::lock_twoStartedTogetherOneWrites()
{
    cli->setDevices("v20:ABC");
    for (int round = 0; round < 3; ++round) {
        QProcess other;
        const auto r = cli->run(inEnglish({"flash", file("good.bin")}), [&](QProcess &) {
            QVERIFY(cli->startOther(other, FWU_CLI_PROGRAM,
                                    {"--start-delay", "0", "flash", file("good.bin")}, "v20:ABC"));
        });
        QVERIFY(other.state() == QProcess::NotRunning || other.waitForFinished(20000));
        const QList<int> codes = r.exitCode == 0 ? QList<int> {0, other.exitCode()}
                                                 : QList<int> {other.exitCode(), r.exitCode};
        QCOMPARE(codes, (QList<int> {0, 6}));
        if (r.exitCode == 0)
            QVERIFY(holdsImage(r.image, pattern(5000, 0)));
        else
            QVERIFY(r.image.isEmpty());
    }
}

// Another copy takes the lock and, as the row says, keeps running, is killed, or ends normally.
// The holder sees accessories of the same paths (its own simulated ones) and holds the first's
// lock while it has it open; one that has ended saw none.
void TestCli::startOtherCopy(QProcess &other, const QString &holder)
{
    const bool window = holder.startsWith("window");
    const bool ended = holder.endsWith("ended");
    QFETCH(QString, devices);
    if (!window && !ended)
        cli->setSim("FWU_SIM_ACK_DELAY_MS", "20"); // its update lasts while this row runs
    const QStringList arguments = window
        ? QStringList {"--start-delay", "0"}
        : QStringList {"--start-delay", "0",
                       "flash",         file(ended ? "good.bin" : "big.bin"),
                       "--wait",        ended ? "0.1" : "20"};
    // The window opens an accessory by itself only while it is the only one present: it is shown
    // the first alone, and holds it.
    const QString seen = ended ? QString() : window ? devices.section(';', 0, 0) : devices;
    QVERIFY(cli->startOther(other, window ? FWU_WINDOW_PROGRAM : FWU_CLI_PROGRAM, arguments, seen));
    if (holder.endsWith("ended")) {
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.exitCode(), 3); // no device for it
        QVERIFY(!CliProcess::firstAccessoryLocked());
        return;
    }
    // A command line holder is writing by the time its progress shows.
    QTRY_VERIFY2_WITH_TIMEOUT(
        (CliProcess::firstAccessoryLocked() && (window || other.peek(1 << 16).contains(" %")))
            || other.state() != QProcess::Running,
        "no lock taken", 30000); // a window starting on a loaded machine under the sanitizers
    QVERIFY2(other.state() == QProcess::Running, other.readAll().constData());
    if (holder.endsWith("killed")) {
        other.kill();
        QVERIFY(other.waitForFinished()); // reaped
        QVERIFY(!CliProcess::firstAccessoryLocked());
    }
}

void TestCli::catalogue_printsTheMatchingRecords_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("devices");
    QTest::newRow("every record") << QStringList {} << QStringList {"ABC", "ABC", "XYZ", "ABC"};
    QTest::newRow("search by identity") << QStringList {"xyz"} << QStringList {"XYZ"};
    QTest::newRow("search by category name")
        << QStringList {"model abc"} << QStringList {"ABC", "ABC", "ABC"};
    QTest::newRow("nothing matches") << QStringList {"Q7"} << QStringList {};
}

void TestCli::catalogue_printsTheMatchingRecords()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, devices);
    const QStringList common {"catalogue", "--url", url("/cat.json"), "--language", "English"};
    const auto json = cli->run(common + arguments + QStringList {"--json"});
    QCOMPARE(json.exitCode, 0);
    const QJsonArray list = QJsonDocument::fromJson(json.out).array();
    QStringList found;
    for (const QJsonValue &entry : list)
        found << entry.toObject().value("device_id").toString();
    QCOMPARE(found, devices);
    if (!list.isEmpty()) {
        QCOMPARE(list[0].toObject().value("category").toString(), QString("Transmitters"));
        QCOMPARE(list[0].toObject().value("release_date").toString().size(), 10);
        // The address the archive is downloaded from, and the texts in the chosen language.
        const QJsonObject last = list.last().toObject();
        QCOMPARE(last.value("firmware_url").toString(),
                 url("/fw/") + (devices.size() == 1 ? "xyz/XYZ.zip" : "older/ABC.zip"));
        QCOMPARE(last.value("remark").toString(), "Notes " + devices.last());
        QVERIFY(last.value("changes").toString().startsWith("Changes "));
    }

    const auto table = cli->run(common + arguments);
    QCOMPARE(table.exitCode, 0);
    const QStringList lines = QString::fromUtf8(table.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), devices.size() + 1);
    QVERIFY2(lines[0].startsWith("Category"), qPrintable(lines[0]));
    if (devices.size() == 1)
        QVERIFY(lines[1].contains(
            QRegularExpression("^Transmitters +XYZ +2.0 +2024-02-01 +Model XYZ$")));
    if (devices.size() != 1)
        return;
    // Headings in the chosen language, padded by display width: a CJK character takes two columns.
    const auto chinese
        = cli->run({"catalogue", "--url", url("/cat.json"), "--language", "1", "xyz"});
    QCOMPARE(QString::fromUtf8(chinese.out),
             QString("类别    设备  版本号  发布时间    名称\n"
                     "发射机  XYZ   2.0     2024-02-01\n"));
}

void TestCli::fromCatalogue_picksNewestAndRefusesMismatch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("stderrText");
    QTest::newRow("newest for the device's identity")
        << QStringList {} << "v20:ABC" << 0 << newAbc << "";
    QTest::newRow("named identity matching the device")
        << QStringList {"ABC"} << "v20:ABC" << 0 << newAbc << "";
    // The window's rule: identities match without regard to case.
    QTest::newRow("identity differing only in case")
        << QStringList {} << "v20:abc" << 0 << newAbc << "";
    QTest::newRow("firmware for another device")
        << QStringList {"XYZ"} << "v20:ABC" << 5 << QByteArray()
        << "The firmware does not match the device: firmware for XYZ, the device is ABC";
    // Every word of the line in the chosen language (the last --language counts).
    QTest::newRow("firmware for another device, in German")
        << QStringList {"XYZ", "--language", "Deutsch"} << "v20:ABC" << 5 << QByteArray()
        << "Die Firmware passt nicht zum Gerät: Firmware für XYZ, das Gerät ist ABC";
    QTest::newRow("identity not in the catalogue, in German")
        << QStringList {"--language", "Deutsch"} << "v20:QQQ" << 2 << QByteArray()
        << "der Katalog hat keine Firmware für das Gerät QQQ";
    QTest::newRow("another device, forced")
        << QStringList {"XYZ", "--force"} << "v20:ABC" << 0 << xyz << "";
    QTest::newRow("legacy device with a named identity")
        << QStringList {"XYZ"} << "legacy" << 0 << xyz << "";
    QTest::newRow("legacy device without one")
        << QStringList {} << "legacy" << 2 << QByteArray() << "reports no identity";
    QTest::newRow("identity not in the catalogue")
        << QStringList {} << "v20:QQQ" << 2 << QByteArray() << "no firmware for device QQQ";
    // A V20 device that reports "*" does not know its identity: nothing matches it.
    QTest::newRow("identity reported as \"*\", another's firmware")
        << QStringList {"XYZ"} << "v20:*" << 5 << QByteArray()
        << "firmware for XYZ, the device is \"*\"; --force";
    QTest::newRow("identity reported as \"*\", forced")
        << QStringList {"XYZ", "--force"} << "v20:*" << 0 << xyz << "";
    // Terminal control codes from the device are shown escaped, in every line that names it.
    QTest::newRow("identity of escape codes")
        << QStringList {} << "v20:\x1b[2JQ\rX\x1b]0" << 2 << QByteArray()
        << "no firmware for device \\e[2JQ\\rX\\e]0";
}

void TestCli::fromCatalogue_picksNewestAndRefusesMismatch()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, device);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, image);
    QFETCH(QString, stderrText);
    cli->setDevices(device);
    const auto r = cli->run(QStringList {"flash", "--from-catalogue", "--url", url("/cat.json"),
                                         "--language", "English"}
                            + arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(stderrText), r.err.constData());
    QVERIFY2(!r.err.contains('\x1b') && !r.err.contains('\r'), r.err.constData());
    if (image.isEmpty())
        QVERIFY2(r.deviceLog.startsWith("headers 0\n"), r.deviceLog.constData());
    else
        QVERIFY(holdsImage(r.image, image));
}

void TestCli::progress_redrawnOnATerminalLinesOnAPipe_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QString>("option");
    QTest::newRow("pipe") << false << "";
    QTest::newRow("pseudo-terminal") << true << "";
    QTest::newRow("quiet") << false << "--quiet";
    QTest::newRow("no progress, on a terminal") << true << "--no-progress";
    QTest::newRow("verbose") << false << "--verbose";
}

void TestCli::progress_redrawnOnATerminalLinesOnAPipe()
{
    QFETCH(bool, terminal);
    QFETCH(QString, option);
    cli->setDevices("v20:ABC");
    cli->setSim("FWU_SIM_ACK_DELAY_MS", "3");
    QByteArray shown;
    QString slave;
    int master = -1;
    std::unique_ptr<QSocketNotifier> reader;
    if (terminal) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        slave = QString::fromLocal8Bit(ptsname(master));
        reader = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        connect(reader.get(), &QSocketNotifier::activated, [&] {
            char bytes[4096];
            const ssize_t n = ::read(master, bytes, sizeof bytes);
            if (n > 0)
                shown.append(bytes, int(n));
            else
                reader->setEnabled(false); // the program has closed its side
        });
    }
    QStringList arguments {"flash", file("big.bin"), "--language", "English"};
    if (!option.isEmpty())
        arguments << option;
    const auto r = cli->run(arguments, nullptr, slave);
    if (terminal) {
        QTRY_VERIFY(!reader->isEnabled() || shown.contains("100 %"));
        ::close(master);
    } else {
        shown = r.err;
    }
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, option == "--quiet" ? QByteArray() : QByteArray("Device updated\n"));
    if (option == "--quiet") {
        QCOMPARE(r.err, QByteArray());
        return;
    }
    if (option == "--verbose")
        QVERIFY(r.err.contains("fwu.cli: engine: progress 100"));
    if (option == "--no-progress") {
        QVERIFY2(!shown.contains(" %") && !shown.contains('#'), shown.constData());
        return;
    }
    const QList<QByteArray> progressLines = [&] {
        QList<QByteArray> lines;
        for (const QByteArray &line : shown.split('\n')) {
            if (line.contains(" %"))
                lines << line;
        }
        return lines;
    }();
    if (terminal) {
        // One line, redrawn in place: carriage returns, a bar, and the end of the update.
        QCOMPARE(progressLines.size(), 1);
        QVERIFY(progressLines[0].count('\r') > 2);
        QVERIFY(progressLines[0].contains("[##############################] 100 %"));
        QVERIFY(progressLines[0].contains("KiB/s"));
        QVERIFY(progressLines[0].contains("0:00 left"));
    } else {
        // One plain line per tenth, rising, ending at 100 %, with speed and time left.
        QCOMPARE(progressLines.size(), 10);
        QVERIFY(!shown.contains('\r') && !shown.contains('#'));
        QVERIFY(progressLines.first().startsWith(" 10 %"));
        QVERIFY(progressLines[4].contains(" left"));
        QVERIFY(progressLines.last().startsWith("100 %"));
    }
}

void TestCli::interrupt_whileWritingAsksTwice_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<int>("interrupts");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("ignoredAtStart"); // as nohup starts it
    QTest::addColumn<bool>("all");
    QTest::newRow("one Ctrl+C while writing continues")
        << "v20:ABC" << 1 << 0 << SIGINT << false << false;
    QTest::newRow("two within 3 s stop") << "v20:ABC" << 2 << 130 << SIGINT << false << false;
    QTest::newRow("before the first block stops at once")
        << "" << 1 << 130 << SIGINT << false << false;
    QTest::newRow("--all: one in the engines' start pause stops at once")
        << "v20:ABC;legacy" << 1 << 130 << SIGINT << false << true;
    QTest::newRow("SIGTERM stops as a second Ctrl+C")
        << "v20:ABC" << 1 << 130 << SIGTERM << false << false;
    QTest::newRow("SIGHUP stops as a second Ctrl+C")
        << "v20:ABC" << 1 << 130 << SIGHUP << false << false;
    QTest::newRow("SIGHUP ignored under nohup") << "v20:ABC" << 1 << 0 << SIGHUP << true << false;
    QTest::newRow("SIGPIPE never ends a run") << "v20:ABC" << 1 << 0 << SIGPIPE << false << false;
    QTest::newRow("kill -9 leaves the update unfinished")
        << "v20:ABC" << 1 << -1 << SIGKILL << false << false;
}

void TestCli::interrupt_whileWritingAsksTwice()
{
    QFETCH(QString, devices);
    QFETCH(int, interrupts);
    QFETCH(int, exitCode);
    QFETCH(int, signal);
    QFETCH(bool, ignoredAtStart);
    QFETCH(bool, all);
    cli->setDevices(devices);
    cli->setSim("FWU_SIM_ACK_DELAY_MS", "6");
    // An ignored signal stays ignored in the child the run starts as.
    const auto restore = std::signal(SIGHUP, ignoredAtStart ? SIG_IGN : SIG_DFL);
    const bool writing = !devices.isEmpty() && !all;
    QElapsedTimer clock;
    // Verbose, so that the program says when it waits for the accessory: its Ctrl+C handling is
    // in place by then.
    QStringList arguments {"flash", file("big.bin"), "--language", "English", "--wait",
                           "10",    "--verbose"};
    if (all)
        arguments << "--all"
                  << "--json"
                  << "--start-delay"
                  << "20000";
    const auto r = cli->run(arguments, [&](QProcess &process) {
        if (all)
            QVERIFY(waitForOutput(process, QProcess::StandardError, "starting the engine of"));
        else if (writing)
            QVERIFY(waitForOutput(process, QProcess::StandardError, " %"));
        else
            QVERIFY(waitForOutput(process, QProcess::StandardError, "waiting up to"));
        clock.start();
        for (int i = 0; i < interrupts; ++i) {
            ::kill(pid_t(process.processId()), signal);
            QTest::qWait(200);
        }
    });
    std::signal(SIGHUP, restore);
    const QJsonArray records = history();
    if (signal == SIGKILL) {
        QVERIFY(r.crashed);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0]["outcome"].toString(), QString("unfinished"));
        QVERIFY(records[0]["ended"].isNull());
        return;
    }
    QCOMPARE(r.exitCode, exitCode);
    // What was handed to the engine is in the history, as it ended.
    QCOMPARE(records.size(), writing ? 1 : 0);
    if (writing)
        QCOMPARE(records[0]["outcome"].toString(), QString(exitCode == 0 ? "done" : "interrupted"));
    const QByteArray big = pattern(200 * 1024, 3);
    if (all) {
        // Ended well inside the engines' 20 s start pause, so before anything could be written,
        // and without the warning about an accessory left half-written.
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY2(!r.err.contains("Stopping now"), r.err.constData());
        // Stopped by the user, not failed.
        const QJsonArray results = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(results.size(), 2);
        for (const QJsonValue &unit : results)
            QCOMPARE(unit["result"].toString(), QString("interrupted"));
        return;
    }
    if (!writing) {
        QVERIFY(clock.elapsed() < 5000); // well before the 10 s wait for a device runs out
        return;
    }
    QCOMPARE(r.err.contains("Stopping now leaves the device unusable until it is updated again. "
                            "Press Ctrl+C again within 3 seconds"),
             signal == SIGINT);
    if (exitCode == 0) {
        QVERIFY(holdsImage(r.image, big));
    } else {
        QVERIFY(!r.out.contains("Device updated"));
        QVERIFY(r.deviceLog.startsWith("headers "));
        QVERIFY(r.deviceLog.split('\n')[0].mid(8).toInt() < 200);
    }
}

// The archive download waits on a server that never finishes it; Ctrl+C ends the run at once,
// and cleanup() finds the download folder empty.
void TestCli::interrupt_duringADownloadLeavesNothingBehind()
{
    cli->setDevices("v20:ABC");
    QElapsedTimer clock;
    const QStringList arguments {"flash", "--from-catalogue", "--url", url("/stalling.json"),
                                 "--verbose"};
    const auto r = cli->run(arguments, [&](QProcess &process) {
        // The server answers from this thread, so wait in its event loop.
        QByteArray err;
        QTRY_VERIFY2((err += process.readAllStandardError()).contains("stall/ABC.zip"),
                     err.constData());
        clock.start();
        ::kill(pid_t(process.processId()), SIGINT);
    });
    QCOMPARE(r.exitCode, 130);
    QVERIFY(clock.elapsed() < 5000); // long before the downloader's 30 s silence limit
}

QJsonArray TestCli::history()
{
    const auto r = cli->run({"history", "--json"});
    return r.exitCode == 0 ? QJsonDocument::fromJson(r.out).array() : QJsonArray {QJsonValue()};
}

void TestCli::history_recordsEveryUpdate_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QString>("simSetting");
    // By path: "path serial identity kind outcome acknowledged/blocks reason [catalogue id
    // version]"
    QTest::addColumn<QStringList>("records");
    const QString good = file("good.bin");
    QTest::newRow("an update, and its log file")
        << QStringList {"flash", good} << "v20:ABC,serial=SN1"
        << "" << QStringList {"sim-hid:1 SN1 ABC v20 done 5/5 null"};
    QTest::newRow("failing at block 8 of 20")
        << QStringList {"flash", file("twenty.bin")} << "v20:ABC"
        << "FWU_SIM_FAIL_WRITE=140"
        << QStringList {"sim-hid:1 null ABC v20 failed 7/20 writing block 8 of 20 failed"};
    QTest::newRow("--all: three, one lost, each its own record")
        << QStringList {"flash", good, "--all"} << "v20:ABC;legacy;v20:XYZ,detach-block=2"
        << ""
        << QStringList {"sim-hid:1 null ABC v20 done 5/5 null",
                        "sim-hid:2 null null legacy done 5/5 null",
                        "sim-hid:3 null XYZ v20 lost 2/5 the accessory was unplugged during "
                        "block 3 of 5"};
    QTest::newRow("from the catalogue: its record named")
        << QStringList {"flash", "--from-catalogue", "--url", url("/cat.json")} << "v20:ABC"
        << "" << QStringList {"sim-hid:1 null ABC v20 done 3/3 null catalogue ABC 1.1 unverified"};
    QTest::newRow("--all from the catalogue: each its record")
        << QStringList {"flash", "--from-catalogue", "--url", url("/cat.json"), "--all"}
        << "v20:XYZ;v20:ABC"
        << ""
        << QStringList {"sim-hid:1 null XYZ v20 done 2/2 null catalogue XYZ 2.0 verified",
                        "sim-hid:2 null ABC v20 done 3/3 null catalogue ABC 1.1 unverified"};
    QTest::newRow("refused before the engine: nothing recorded")
        << QStringList {"flash", good, "--device", "Q7", "--wait", "0.2"} << "v20:ABC"
        << "" << QStringList {};
}

void TestCli::history_recordsEveryUpdate()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, devices);
    QFETCH(QString, simSetting);
    QFETCH(QStringList, records);
    cli->setDevices(devices);
    if (!simSetting.isEmpty())
        cli->setSim(simSetting.section('=', 0, 0), simSetting.section('=', 1));
    QVERIFY(!cli->run(inEnglish(arguments)).crashed);

    QJsonArray found = history();
    QStringList seen;
    for (const QJsonValue &v : found) {
        const auto orNull = [&](const char *key) {
            return v[key].isNull() ? QString("null") : v[key].toString();
        };
        QString line = QString("%1 %2 %3 %4 %5 %6/%7 %8")
                           .arg(v["path"].toString(), orNull("serial"), orNull("identity"),
                                v["kind"].toString(), v["outcome"].toString())
                           .arg(v["blocks_written"].toInt())
                           .arg(v["blocks_total"].toInt())
                           .arg(orNull("reason"));
        if (!v["catalogue"].isNull())
            line += " catalogue " + v["catalogue"]["device_id"].toString() + " "
                + v["catalogue"]["version"].toString()
                + (v["catalogue"]["verified"].toBool() ? " verified" : " unverified");
        seen << line;
        // The digest of the image as written, not of the file's name or folder.
        QFile image(v["image"].toString() == "good.bin" ? file("good.bin") : QString());
        if (image.open(QIODevice::ReadOnly))
            QCOMPARE(
                v["sha256"].toString(),
                QString(
                    QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex()));
    }
    seen.sort();
    QCOMPARE(seen, records);
    // The newest alone, and one accessory's alone.
    if (!found.isEmpty()) {
        const QJsonObject newest = found.last().toObject();
        const auto last = cli->run({"history", "--json", "--last", "1"});
        QCOMPARE(QJsonDocument::fromJson(last.out).array(), QJsonArray {newest});
        const auto one = cli->run({"history", "--json", "--device", newest["path"].toString()});
        QCOMPARE(QJsonDocument::fromJson(one.out).array(), QJsonArray {newest});
    }

    // The same, flattened: a header and a line each, the outcome in its column.
    const auto csv = cli->run({"history", "--csv"});
    const QStringList lines = QString::fromUtf8(csv.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), records.size() + 1);
    const QStringList columns = lines[0].split(',');
    QCOMPARE(columns.size(), 21);
    QVERIFY(columns.contains("catalogue_version") && !columns.contains("catalogue"));
    for (int i = 1; i < lines.size(); ++i)
        QCOMPARE(lines[i].section(',', columns.indexOf("id"), columns.indexOf("id")),
                 found[i - 1].toObject()["id"].toString());

    if (QTest::currentDataTag() != QLatin1String("an update, and its log file"))
        return;
    const QDir logs(cli->stateFolder() + "/logs");
    const QStringList logFiles = logs.entryList({"firmware-updater-cli-*.log"});
    QCOMPARE(logFiles.size(), 1);
    QFile log(logs.filePath(logFiles[0]));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    for (const char *part : {"firmware-updater-cli ", "OS: ", "Qt: ", "hidapi: ", "Device updated",
                             "accessory: path sim-hid:1, serial SN1",
                             "good.bin (5000 bytes, SHA-256", "ended: done after 5 of 5 blocks"})
        QVERIFY2(text.contains(part), qPrintable(part + ("\n" + text)));
    QVERIFY2(!text.contains(files.path()), qPrintable(text)); // the image's name, not its folder
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
