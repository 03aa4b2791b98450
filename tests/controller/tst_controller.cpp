// The controller's own duties: the message log, the relays between engine and interface, and the
// download folder it keeps clean.
#include "BackEnd.h"
#include "FileUtils.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

class TestController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void timeStamp_data();
    void timeStamp();
    void logLine_startsWithTheCurrentTime();
    void message_data();
    void message();
    void message_outOfRangeWritesNothing_data();
    void message_outOfRangeWritesNothing();
    void openFile_data();
    void openFile();
    void uiEvent_onlyStartUpdatePassesOn();
    void usbStatus_isZeroOrOne();
    void progress_isRelayedUnchanged();
    void deviceId_isRememberedUntilTheNextReport();
    void tempFolder_isEmptiedAtConstructionAndDestruction();
    void windowsClose_returnsAtOnceWithoutAWorker();
    void progressText_data();
    void progressText();
    void progressText_isEmptyOutsideAnUpdate();
    void deviceIdentityText_data();
    void deviceIdentityText();
    void outcome_namesTheAccessoryAndWhy_data();
    void outcome_namesTheAccessoryAndWhy();

private:
    QString configDir() const { return QCoreApplication::applicationDirPath() + "/Config"; }
};

void TestController::init()
{
    // The built-in table: no configuration beside this test.
    QDir(configDir()).removeRecursively();
}

void TestController::cleanup()
{
    QDir(configDir()).removeRecursively();
}

void TestController::timeStamp_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("morning") << 9 << 5 << 3 << "[09:05:03] ";
    QTest::newRow("midnight") << 0 << 0 << 0 << "[00:00:00] ";
    QTest::newRow("last second") << 23 << 59 << 59 << "[23:59:59] ";
}

void TestController::timeStamp()
{
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(QString, stamp);
    QCOMPARE(BackEnd::timeStamp(hour, minute, second), stamp);
}

void TestController::logLine_startsWithTheCurrentTime()
{
    BackEnd backend;
    QSignalSpy log(&backend, &BackEnd::sigOutputMsg);
    const QTime before = QTime::currentTime();
    backend.logMessage(false, "hello");
    const QTime after = QTime::currentTime();

    QCOMPARE(log.count(), 1);
    const QString line = log.at(0).at(1).toString();
    const QRegularExpressionMatch m
        = QRegularExpression("^\\[(\\d\\d):(\\d\\d):(\\d\\d)\\] hello$").match(line);
    QVERIFY2(m.hasMatch(), qPrintable(line));
    const QTime stamped(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    // Compare at whole seconds; a run across midnight is the only way round.
    const QTime from(before.hour(), before.minute(), before.second());
    QVERIFY((stamped >= from && stamped <= after) || after < before);
}

void TestController::message_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("color");
    QTest::addColumn<QString>("text");
    const char *const red = "red";
    const char *const black = "black";
    QTest::newRow("0 open failed") << 0 << red << "打开文件失败";
    QTest::newRow("1 size invalid") << 1 << red << "文件大小不合格";
    QTest::newRow("2 read failed") << 2 << red << "读取文件失败";
    QTest::newRow("3 open ok") << 3 << black << "打开文件成功";
    QTest::newRow("4 connected") << 4 << black << "连接设备成功";
    QTest::newRow("5 disconnected") << 5 << black << "设备断开连接";
    QTest::newRow("6 connect first") << 6 << red << "请先连接设备";
    QTest::newRow("7 open first") << 7 << red << "请先打开文件";
    QTest::newRow("8 update failed") << 8 << red << "更新设备失败";
    QTest::newRow("9 update ok") << 9 << black << "更新设备成功";
    QTest::newRow("10 mismatch") << 10 << red << "选择的固件与设备不匹配";
    QTest::newRow("11 network") << 11 << red << "网络错误";
    QTest::newRow("12 permission") << 12 << red
                                   << "已找到设备，但无法打开：权限不足 — 请参阅 "
                                      "/usr/share/doc/firmware-updater/troubleshooting.md";
}

void TestController::message()
{
    QFETCH(int, id);
    QFETCH(QString, color);
    QFETCH(QString, text);
    BackEnd backend;
    QSignalSpy log(&backend, &BackEnd::sigOutputMsg);
    backend.slot_MainTastOutputMsg(id);
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), color);
    QCOMPARE(log.at(0).at(1).toString().mid(11), text);
}

void TestController::message_outOfRangeWritesNothing_data()
{
    QTest::addColumn<int>("id");
    QTest::newRow("-1") << -1;
    QTest::newRow("13") << 13;
    QTest::newRow("INT_MIN") << INT_MIN;
    QTest::newRow("INT_MAX") << INT_MAX;
}

void TestController::message_outOfRangeWritesNothing()
{
    QFETCH(int, id);
    BackEnd backend;
    QSignalSpy log(&backend, &BackEnd::sigOutputMsg);
    backend.slot_MainTastOutputMsg(id);
    QCOMPARE(log.count(), 0);
}

void TestController::openFile_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("name");
    QTest::newRow("file URL with a blank")
        << QUrl::fromLocalFile("C:/fw/a b.bin").toString() << "a b.bin";
    QTest::newRow("dialog URL") << "file:///home/user/Desktop/fw.bin"
                                << "fw.bin";
    QTest::newRow("plain path") << "/tmp/Config/Temp/bin/A.bin"
                                << "A.bin";
}

void TestController::openFile()
{
    QFETCH(QString, chosen);
    QFETCH(QString, name);
    BackEnd backend;
    QSignalSpy log(&backend, &BackEnd::sigOutputMsg);
    QSignalSpy path(&backend, &BackEnd::sig_SetFilePath);

    backend.openFirwareFile(chosen);

    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), QStringLiteral("black"));
    QCOMPARE(log.at(0).at(1).toString().mid(11), QStringLiteral("打开文件成功 ") + name);
    QCOMPARE(path.count(), 1);
    QCOMPARE(path.at(0).at(0).toString(), chosen);
}

void TestController::uiEvent_onlyStartUpdatePassesOn()
{
    BackEnd backend;
    QSignalSpy start(&backend, &BackEnd::sig_StartUpdate);
    for (int event : {0, 2, -1, 100})
        backend.fromUiEevent(event);
    QCOMPARE(start.count(), 0);
    // The engine decides what a second request means; the controller passes both on.
    backend.fromUiEevent(1);
    backend.fromUiEevent(1);
    QCOMPARE(start.count(), 2);
}

void TestController::usbStatus_isZeroOrOne()
{
    BackEnd backend;
    QSignalSpy status(&backend, &BackEnd::sigUsbConnectStatus);
    backend.slot_MainTaskChangeUsbConnectStatus(true);
    backend.slot_MainTaskChangeUsbConnectStatus(false);
    QCOMPARE(status.count(), 2);
    QCOMPARE(status.at(0).at(0).toInt(), 1);
    QCOMPARE(status.at(1).at(0).toInt(), 0);
}

void TestController::progress_isRelayedUnchanged()
{
    BackEnd backend;
    QSignalSpy progress(&backend, &BackEnd::sigProgressValue);
    for (int value : {0, 33, 66, 100})
        backend.slot_mainTaskChangeProgressValue(value);
    QCOMPARE(progress.count(), 4);
    QCOMPARE(progress.at(1).at(0).toInt(), 33);
    QCOMPARE(progress.at(3).at(0).toInt(), 100);
}

void TestController::deviceId_isRememberedUntilTheNextReport()
{
    BackEnd backend;
    QCOMPARE(backend.qmlGetDeviceID(), QStringLiteral("*"));
    backend.slot_ReceiveDeviceID("X1");
    QCOMPARE(backend.qmlGetDeviceID(), QStringLiteral("X1"));
    // Unplugging reports "*" again.
    backend.slot_ReceiveDeviceID("*");
    QCOMPARE(backend.qmlGetDeviceID(), QStringLiteral("*"));
}

void TestController::tempFolder_isEmptiedAtConstructionAndDestruction()
{
    const QString temp = tempFolderPath();
#ifdef Q_OS_WIN
    // Never beside the program on Windows, not even in a portable copy.
    QVERIFY(temp.startsWith(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)));
#else
    QVERIFY(temp.endsWith("/Config/Temp/"));
#endif
    auto leaveFiles = [&] {
        QVERIFY(QDir().mkpath(temp + "bin"));
        QFile old(temp + "bin/.hidden.bin");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("left by an earlier run");
    };

    leaveFiles();
    {
        BackEnd backend;
        QVERIFY(!QDir(temp).exists());
        leaveFiles();
    }
    QVERIFY(!QDir(temp).exists());
}

void TestController::windowsClose_returnsAtOnceWithoutAWorker()
{
    BackEnd backend;
    backend.windowsClose();
    backend.windowsClose();
}

void TestController::progressText_data()
{
    QTest::addColumn<QList<int>>("reports"); // one per acknowledged block
    QTest::addColumn<qint64>("elapsedMs"); // since the update began, at the last report
    QTest::addColumn<QString>("text");
    const QString dot = QStringLiteral("  \u00b7  ");
    QTest::newRow("started") << QList<int>() << qint64(0) << "0 %";
    QTest::newRow("one block: no estimate yet") << QList<int> {25} << qint64(1000) << "25 %";
    QTest::newRow("middle") << QList<int> {25, 50} << qint64(30000)
                            << "50 %" + dot + QStringLiteral("剩余 0:30");
    QTest::newRow("minutes, rounded up")
        << QList<int> {1, 2, 3} << qint64(6100) << "3 %" + dot + QStringLiteral("剩余 3:18");
    QTest::newRow("done") << QList<int> {50, 100} << qint64(4000)
                          << "100 %" + dot + QStringLiteral("剩余 0:00");
    QTest::newRow("blocks under one percent") << QList<int> {0, 0} << qint64(500) << "0 %";
}

void TestController::progressText()
{
    QFETCH(QList<int>, reports);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    BackEnd backend;
    qint64 clock = 1000000;
    backend.setClock([&clock] { return clock; });
    backend.slot_UpdateState(true);
    for (int i = 0; i < reports.size(); ++i) {
        clock = 1000000 + elapsedMs * (i + 1) / reports.size();
        backend.slot_mainTaskChangeProgressValue(reports[i]);
    }
    QCOMPARE(backend.progressText(), text);
}

void TestController::progressText_isEmptyOutsideAnUpdate()
{
    BackEnd backend;
    QSignalSpy state(&backend, &BackEnd::sigUpdateState);
    backend.slot_mainTaskChangeProgressValue(40);
    QCOMPARE(backend.progressText(), QString());
    backend.slot_UpdateState(true);
    backend.slot_mainTaskChangeProgressValue(40);
    QVERIFY(backend.updateRunning());
    backend.slot_UpdateState(false);
    QCOMPARE(backend.progressText(), QString());
    QVERIFY(!backend.updateRunning());
    QCOMPARE(state.count(), 2);
}

void TestController::deviceIdentityText_data()
{
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("text");
    QTest::newRow("V20 device") << "TX-7" << QStringLiteral("设备：TX-7");
    QTest::newRow("none known") << "*"
                                << "";
    // The device's text, not terminal or layout control: a clear-screen, a carriage return, an
    // override of the text's direction.
    QTest::newRow("control characters escaped")
        << QString("\x1b[2JA\rB\u202E") << QStringLiteral("设备：\\e[2JA\\rB\\u202E");
}

void TestController::deviceIdentityText()
{
    QFETCH(QString, reported);
    QFETCH(QString, text);
    BackEnd backend;
    QSignalSpy changed(&backend, &BackEnd::deviceIdentityTextChanged);
    backend.slot_ReceiveDeviceID(reported);
    QCOMPARE(backend.deviceIdentityText(), text);
    QCOMPARE(changed.count(), 1);
}

void TestController::outcome_namesTheAccessoryAndWhy_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("kind"); // UpdateFailure::Kind; None for a success
    QTest::addColumn<QStringList>("lines"); // the log after the update's last message
    QTest::addColumn<QString>("bar");
    const QString failed = QStringLiteral("更新设备失败");
    QTest::newRow("done, by serial")
        << "ACCSN0001" << int(UpdateFailure::None)
        << QStringList {QStringLiteral("更新设备成功"), "Update done: ACCSN0001"}
        << "Update done: ACCSN0001";
    QTest::newRow("block not acknowledged, by serial")
        << "ACCSN0001" << int(UpdateFailure::NoBlockAck)
        << QStringList {failed, "ACCSN0001: the accessory did not acknowledge block 8 of 20"}
        << "Update of ACCSN0001 failed: reconnect it and update again";
    QTest::newRow("unplugged, by serial")
        << "ACCSN0001" << int(UpdateFailure::UnpluggedDuringBlock)
        << QStringList {failed, "ACCSN0001: the accessory was unplugged during block 8 of 20"}
        << "ACCSN0001 lost: reconnect it and update again";
    QTest::newRow("no serial: the reason alone")
        << "" << int(UpdateFailure::BlockWriteFailed)
        << QStringList {failed, "writing block 8 of 20 failed"}
        << QStringLiteral("升级失败：请重新连接设备后再次升级");
}

void TestController::outcome_namesTheAccessoryAndWhy()
{
    QFETCH(QString, serial);
    QFETCH(int, kind);
    QFETCH(QStringList, lines);
    QFETCH(QString, bar);
    BackEnd backend;
    backend.slot_AccessoriesPresent(
        {QVariantMap {{"path", "/dev/hidraw3"}, {"serial", serial}, {"kind", "V20"}}});
    backend.slot_AccessoryOpened("/dev/hidraw3");
    backend.slot_UpdateState(true);
    QSignalSpy log(&backend, &BackEnd::sigOutputMsg);
    if (kind != UpdateFailure::None)
        backend.slot_UpdateFailure({UpdateFailure::Kind(kind), 8, 20});
    backend.slot_MainTastOutputMsg(kind == UpdateFailure::None ? 9 : 8);
    backend.slot_UpdateState(false);
    QStringList logged;
    for (const QList<QVariant> &line : log)
        logged << line[1].toString().mid(11); // without the time stamp
    QCOMPARE(logged, lines);
    QCOMPARE(backend.progressText(), bar);
}

QTEST_GUILESS_MAIN(TestController)
#include "tst_controller.moc"
