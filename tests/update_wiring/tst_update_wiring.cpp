// One update through the program's own start-up: the controller, the engine on the worker thread
// and the six connections between them, watched from a main window that stands in for the user.
#include "HistoryFile.h"
#include "HistoryPaths.h"
#include "SimHid.h"
#include "Startup.h"

#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

namespace {

QStringList probeLines;
bool terminateOnProgress = false;

void captureProbe(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (!message.startsWith(QLatin1String("probe:")))
        return;
    probeLines << message.mid(6);
    // The system ends the window once blocks are being written, as a shutdown does.
    if (terminateOnProgress && message.startsWith(QLatin1String("probe:progress:"))
        && message.mid(15).toInt() > 0) {
        terminateOnProgress = false;
#ifdef Q_OS_UNIX
        ::kill(::getpid(), SIGTERM);
#endif
    }
}

// Writes the probe window that opens `imagePath` and presses Update, and runs the program with it
// in a history and log folder under `dir`.
int runProbe(const QTemporaryDir &dir, const QString &imagePath)
{
    QFile templateFile(QStringLiteral(PROBE_TEMPLATE));
    if (!templateFile.open(QIODevice::ReadOnly))
        return -2;
    QString qml = QString::fromUtf8(templateFile.readAll());
    qml.replace(QLatin1String("@IMAGE_URL@"), QUrl::fromLocalFile(imagePath).toString());
    qml.replace(QLatin1String("@LAST_TEXT@"), QStringLiteral("更新设备成功"));
    const QString qmlPath = dir.filePath(QStringLiteral("probe.qml"));
    QFile qmlFile(qmlPath);
    if (!qmlFile.open(QIODevice::WriteOnly))
        return -2;
    qmlFile.write(qml.toUtf8());
    qmlFile.close();

    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toUtf8());
    qputenv("LOCALAPPDATA", QDir::toNativeSeparators(dir.path()).toUtf8()); // on Windows
    probeLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureProbe);
    int argc = 1;
    char name[] = "tst_update_wiring";
    char *argv[] = {name, nullptr};
    const int result = runFirmwareUpdater(argc, argv, QUrl::fromLocalFile(qmlPath));
    qInstallMessageHandler(previous);
    return result;
}

QStringList withPrefix(const QString &prefix)
{
    QStringList lines;
    for (const QString &line : probeLines) {
        if (line.startsWith(prefix))
            lines << line.mid(prefix.size());
    }
    return lines;
}

} // namespace

class TestUpdateWiring : public QObject
{
    Q_OBJECT
private slots:
    void update_fromTheWindow_reachesTheDeviceAndTheLog();
    void update_endedBySystem_closesAndRecordsInterrupted();
};

void TestUpdateWiring::update_fromTheWindow_reachesTheDeviceAndTheLog()
{
    SimHid::reset();
    SimHid::DeviceOptions options;
    options.identity = "TX-WIRED";
    options.serial = "SN-WIRED";
    const int device = SimHid::attach(options);

    QTemporaryDir dir;
    QByteArray image(3000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i % 251);
    const QString imagePath = dir.filePath(QStringLiteral("firmware.bin"));
    QFile imageFile(imagePath);
    QVERIFY(imageFile.open(QIODevice::WriteOnly));
    imageFile.write(image);
    imageFile.close();

    const int result = runProbe(dir, imagePath);
    QCOMPARE(result, 0);
    QVERIFY2(!probeLines.contains(QStringLiteral("timeout")), qPrintable(probeLines.join('\n')));
    QStringList log = withPrefix(QStringLiteral("log:"));
    log.replaceInStrings(QRegularExpression(QStringLiteral("^(\\w+):\\[\\d\\d:\\d\\d:\\d\\d\\] ")),
                         QStringLiteral("\\1:"));
    // The window acts on the status change, which the engine signals just before its message.
    QCOMPARE(log,
             (QStringList {"black:固件升级软件 " FWU_VERSION, "black:打开文件成功 firmware.bin",
                           "black:连接设备成功",
                           "black:开始升级：firmware.bin（3000 字节），设备 TX-WIRED (SN-WIRED)",
                           "black:更新设备成功", "black:升级完成：SN-WIRED"}));
    // The first 0 is the bar's reset when the image is opened.
    QCOMPARE(withPrefix(QStringLiteral("progress:")), (QStringList {"0", "0", "33", "66", "100"}));
    QCOMPARE(withPrefix(QStringLiteral("usb:")), QStringList {"1"});
    QCOMPARE(withPrefix(QStringLiteral("id:")), QStringList {"TX-WIRED"});
    QCOMPARE(SimHid::receivedImage(device), image.leftJustified(3072, char(0xFF)));
    QCOMPARE(SimHid::protocolErrors(device), QStringList());

    // The update is in the history, as the command line's history reads it.
    const QVector<HistoryRecord> history = HistoryFile(HistoryPaths::historyFile()).read();
    QCOMPARE(history.size(), 1);
    const QJsonObject record = history.first().toJson();
    QCOMPARE(record.value("program").toString(), QString("window"));
    QCOMPARE(record.value("outcome").toString(), QString("done"));
    QCOMPARE(record.value("identity").toString(), QString("TX-WIRED"));
    QCOMPARE(record.value("serial").toString(), QString("SN-WIRED"));
    QCOMPARE(record.value("image").toString(), QString("firmware.bin"));
    QCOMPARE(record.value("blocks_written").toInt(), 3);
    QCOMPARE(record.value("sha256").toString(),
             QString(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));

    // The run's log file: the accessory found, as support needs it, and the image by its name.
    const QStringList logFiles
        = QDir(HistoryPaths::logFolder()).entryList({"firmware-updater-*.log"}, QDir::Files);
    QCOMPARE(logFiles.size(), 1);
    QFile logFile(HistoryPaths::logFolder() + logFiles.first());
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(logFile.readAll());
    QVERIFY2(written.contains(QRegularExpression(
                 "accessory found: path \\S+, serial SN-WIRED, identity TX-WIRED, kind V20")),
             qPrintable(written));
    QVERIFY2(written.contains("firmware.bin"), qPrintable(written));
    QVERIFY2(!written.contains(dir.path()), qPrintable(written));
}

void TestUpdateWiring::update_endedBySystem_closesAndRecordsInterrupted()
{
#ifndef Q_OS_UNIX
    QSKIP("the window is ended by SIGTERM on Linux only");
#endif
    SimHid::reset();
    // Long enough that the signal is handled while blocks are still being written.
    SimHid::DeviceOptions options;
    options.ackDelayMs = 2;
    SimHid::attach(options);
    QTemporaryDir dir;
    const QString imagePath = dir.filePath(QStringLiteral("long.bin"));
    QFile imageFile(imagePath);
    QVERIFY(imageFile.open(QIODevice::WriteOnly));
    imageFile.write(QByteArray(400 * 1024, '\x5A'));
    imageFile.close();

    terminateOnProgress = true;
    const int result = runProbe(dir, imagePath);
    terminateOnProgress = false;

    // The window closed on the signal itself, not on the probe's time-out.
    QCOMPARE(result, 0);
    QVERIFY2(!probeLines.contains(QStringLiteral("timeout")), qPrintable(probeLines.join('\n')));
    const QVector<HistoryRecord> history = HistoryFile(HistoryPaths::historyFile()).read();
    QCOMPARE(history.size(), 1);
    const QJsonObject record = history.first().toJson();
    QCOMPARE(record.value("outcome").toString(), QString("interrupted"));
    QVERIFY(!record.value("ended").isNull());
    QVERIFY(record.value("blocks_written").toInt() < 400);
}

QTEST_APPLESS_MAIN(TestUpdateWiring)
#include "tst_update_wiring.moc"
