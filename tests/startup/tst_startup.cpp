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

private:
    struct Run
    {
        int exitCode = 0;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString output;
    };
    Run runProbe(const QString &qmlFile);
};

TestStartup::Run TestStartup::runProbe(const QString &qmlFile)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_QUICK_BACKEND", "software");
    env.insert("QT_LOGGING_RULES", "qml.debug=true");
    probe.setProcessEnvironment(env);
    probe.start(QCoreApplication::applicationDirPath() + "/startup_probe",
                {QStringLiteral(FWU_PROBE_DIR) + "/" + qmlFile});
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
    const Run run = runProbe("order.qml");
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
    QTest::newRow("Exit button while the loop runs, twice")
        << "exit_button.qml" << QStringList {"FIRST_CLOSE_DONE", "SECOND_CLOSE_DONE"};
    QTest::newRow("Exit during the engine's first second")
        << "close_early.qml" << QStringList {"FIRST_CLOSE_DONE"};
    QTest::newRow("window closed by the title bar") << "window_close.qml" << QStringList();
    QTest::newRow("application quits without stopping the engine")
        << "quit_only.qml" << QStringList();
}

void TestStartup::shutdown_stopsTheEngine()
{
    QFETCH(QString, qmlFile);
    QFETCH(QStringList, marks);
    const Run run = runProbe(qmlFile);
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

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
