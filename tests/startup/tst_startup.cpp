// Start-up and shutdown of the whole program, watched from outside the process.
#include <QDir>
#include <QProcess>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void textsReachTheWindowBeforeTheLanguageList();
    void shutdown_stopsTheEngine_data();
    void shutdown_stopsTheEngine();
    void brokenMainWindow_endsWithMinusOne();
    void slowController_stillReceivesTheFirstReports();
    void commandLine_data();
    void commandLine();

private:
    struct Run
    {
        int exitCode = 0;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString output;
    };
    Run runProbe(const QString &qmlFile, const QStringList &arguments = {},
                 const QStringList &environment = {});
};

// Probes that do not test the engine's start pause run without it, so the suite stays quick.
const QStringList noStartPause {"--start-delay", "0"};

TestStartup::Run TestStartup::runProbe(const QString &qmlFile, const QStringList &arguments,
                                       const QStringList &environment)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_QUICK_BACKEND", "software");
    env.insert("QT_LOGGING_RULES", "qml.debug=true");
    for (const QString &setting : environment)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    probe.setProcessEnvironment(env);
    probe.start(QCoreApplication::applicationDirPath() + "/startup_probe",
                QStringList {QStringLiteral(FWU_PROBE_DIR) + "/" + qmlFile} + arguments);
    Run run;
    if (!probe.waitForFinished(60000)) {
        probe.kill();
        probe.waitForFinished();
    }
    run.exitCode = probe.exitCode();
    run.status = probe.exitStatus();
    run.output = QString::fromUtf8(probe.readAll());
    return run;
}

void TestStartup::textsReachTheWindowBeforeTheLanguageList()
{
    const Run run = runProbe("order.qml", noStartPause);
    QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
    const QString expected = QStringLiteral(
        "SEEN siglangageChange,sigNetFileDialogLanguageChange,sigNetFileDialogWindowsTitle,"
        "sigInitLangageComboBox:中文:1:0,sigSetHelpBtnMeg:");
    QVERIFY2(run.output.contains(expected), qPrintable(run.output));
    QVERIFY2(run.output.contains("APPDIR " + QCoreApplication::applicationDirPath()),
             qPrintable(run.output));
    QVERIFY2(run.output.contains("MODEL true"), qPrintable(run.output));
}

void TestStartup::shutdown_stopsTheEngine_data()
{
    QTest::addColumn<QString>("qmlFile");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("Exit button while the loop runs, twice")
        << "exit_button.qml" << QStringList {"FIRST_CLOSE_DONE", "SECOND_CLOSE_DONE"}
        << noStartPause;
    QTest::newRow("Exit during the engine's first second")
        << "close_early.qml" << QStringList {"FIRST_CLOSE_DONE"} << QStringList();
    QTest::newRow("window closed by the title bar")
        << "window_close.qml" << QStringList() << noStartPause;
    QTest::newRow("application quits without stopping the engine")
        << "quit_only.qml" << QStringList() << noStartPause;
}

void TestStartup::shutdown_stopsTheEngine()
{
    QFETCH(QString, qmlFile);
    QFETCH(QStringList, marks);
    QFETCH(QStringList, arguments);
    const Run run = runProbe(qmlFile, arguments);
    QVERIFY2(run.status == QProcess::NormalExit, qPrintable(run.output));
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    for (const QString &mark : marks)
        QVERIFY2(run.output.contains(mark), qPrintable(run.output));
    QVERIFY2(run.output.contains("WORKER_RUNNING 0"), qPrintable(run.output));
    QVERIFY2(!run.output.contains("Destroyed while thread"), qPrintable(run.output));
}

void TestStartup::brokenMainWindow_endsWithMinusOne()
{
    const Run run = runProbe("broken.qml");
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 255); // -1 as a process exit status
    QVERIFY2(run.output.contains("WORKER_RUNNING 0"), qPrintable(run.output));
}

void TestStartup::slowController_stillReceivesTheFirstReports()
{
    // A V20 device is plugged in before start and the controller takes three seconds to build:
    // the first "connected" report, message 4 and the identity must all arrive.
    const Run run = runProbe("first_reports.qml", noStartPause,
                             {"FWU_PROBE_DEVICE=V20", "FWU_PROBE_SLOW_CONTROLLER_MS=3000"});
    QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains("REPORTS status=1 connected=1 id=PROBE-V20"),
             qPrintable(run.output));
}

void TestStartup::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed");
    QTest::newRow("--version") << QStringList {"--version"} << 0 << QString(FWU_VERSION);
    QTest::newRow("--help") << QStringList {"--help"} << 0 << "--network-firmware";
    QTest::newRow("unknown option") << QStringList {"--frobnicate"} << 1 << "frobnicate";
    QTest::newRow("--network-firmware")
        << (QStringList {"--network-firmware"} + noStartPause) << 0 << "NETWORK true";
    QTest::newRow("without --network-firmware") << noStartPause << 0 << "NETWORK false";
}

void TestStartup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    const Run run = runProbe("order.qml", arguments);
    QVERIFY2(run.status == QProcess::NormalExit, qPrintable(run.output));
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.output.contains(printed), qPrintable(run.output));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
