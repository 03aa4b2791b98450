// Start-up and shutdown of the whole program, watched from outside the process.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/types.h>
#endif

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
    void secondCopy_data();
    void secondCopy();

private:
    struct Run
    {
        int exitCode = 0;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString output;
    };
    Run runProbe(const QString &qmlFile, const QStringList &arguments = {},
                 const QStringList &environment = {});
    void startProbe(QProcess &probe, const QString &program, const QString &qmlFile,
                    const QStringList &arguments, const QStringList &environment);
    static Run finish(QProcess &probe);

    // Runtime and cache folders of this test process alone: ctest runs other probes at the same
    // time, and each would otherwise find the other's single-instance lock.
    QTemporaryDir userDirs;
};

// Probes that do not test the engine's start pause run without it, so the suite stays quick.
const QStringList noStartPause {"--start-delay", "0"};

void TestStartup::startProbe(QProcess &probe, const QString &program, const QString &qmlFile,
                             const QStringList &arguments, const QStringList &environment)
{
    probe.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // The program's own choice of renderer, unless a row makes one.
    env.remove("QT_QUICK_BACKEND");
    env.remove("QMLSCENE_DEVICE");
    env.insert("QT_LOGGING_RULES", "qml.debug=true");
    QDir(userDirs.path()).mkpath("runtime");
    QFile::setPermissions(userDirs.path() + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", userDirs.path() + "/runtime");
    env.insert("XDG_CACHE_HOME", userDirs.path() + "/cache");
    for (const QString &setting : environment)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    probe.setProcessEnvironment(env);
    probe.start(program, QStringList {QStringLiteral(FWU_PROBE_DIR) + "/" + qmlFile} + arguments);
}

TestStartup::Run TestStartup::finish(QProcess &probe)
{
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

TestStartup::Run TestStartup::runProbe(const QString &qmlFile, const QStringList &arguments,
                                       const QStringList &environment)
{
    QProcess probe;
    startProbe(probe, QCoreApplication::applicationDirPath() + "/startup_probe", qmlFile, arguments,
               environment);
    return finish(probe);
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
    QTest::addColumn<QStringList>("environment");
    const QStringList noDisplay {"QT_QPA_PLATFORM=xcb", "DISPLAY=:987654"};
    QTest::newRow("--version") << QStringList {"--version"} << 0 << QString(FWU_VERSION)
                               << QStringList();
    QTest::newRow("--help") << QStringList {"--help"} << 0 << "--network-firmware" << QStringList();
    // Asked over ssh or in a script: the windowing system is unreachable, the answer still comes.
    QTest::newRow("--version without a display")
        << QStringList {"--version"} << 0 << QString(FWU_VERSION) << noDisplay;
    QTest::newRow("--help without a display")
        << QStringList {"--help"} << 0 << "--network-firmware" << noDisplay;
    QTest::newRow("unknown option")
        << QStringList {"--frobnicate"} << 1 << "frobnicate" << QStringList();
    QTest::newRow("--network-firmware") << (QStringList {"--network-firmware"} + noStartPause) << 0
                                        << "NETWORK true" << QStringList();
    QTest::newRow("without --network-firmware")
        << noStartPause << 0 << "NETWORK false" << QStringList();
    QTest::newRow("software renderer unless one is chosen")
        << noStartPause << 0 << "RENDERER \"software\"" << QStringList();
    QTest::newRow("renderer left to QT_QUICK_BACKEND when it names one")
        << noStartPause << 0 << "RENDERER \"\"" << QStringList {"QT_QUICK_BACKEND=opengl"};
    QTest::newRow("renderer left to QMLSCENE_DEVICE when it names one")
        << noStartPause << 0 << "RENDERER \"\"" << QStringList {"QMLSCENE_DEVICE=software"};
}

void TestStartup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    QFETCH(QStringList, environment);
    const Run run = runProbe("order.qml", arguments, environment);
    QVERIFY2(run.status == QProcess::NormalExit, qPrintable(run.output));
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.output.contains(printed), qPrintable(run.output));
}

void TestStartup::secondCopy_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("secondEnvironment");
    QTest::addColumn<QString>("message");
    const QString english = "Tarvo Firmware Updater: The firmware updater is already running.";
    // Relative to the second copy's folder, which is not the first one's.
    QTest::newRow("first copy running: it opens the second one's file")
        << "running"
        << "fw.bin" << QStringList() << QString();
    QTest::newRow("first copy running, no file: it comes forward")
        << "running" << QString() << QStringList() << QString();
    QTest::newRow("first copy crashed, its lock left behind")
        << "crashed" << QString() << QStringList() << english;
    QTest::newRow("first copy not answering") << "stopped"
                                              << "fw.bin" << QStringList() << english;
    // In the language the window would have started in, not the first one configured.
    QTest::newRow("first copy not answering, German system")
        << "stopped" << QString() << QStringList {"LC_ALL=de_DE.UTF-8", "LANGUAGE=de"}
        << "Tarvo Firmware-Aktualisierung: Die Firmware-Aktualisierung läuft bereits.";
}

void TestStartup::secondCopy()
{
    QFETCH(QString, first);
    QFETCH(QString, file);
    QFETCH(QStringList, secondEnvironment);
    QFETCH(QString, message);
    const bool firstCrashes = first == "crashed";
    // A program folder of its own, with a configuration whose first language is English (not the
    // built-in text) and a download folder no other test empties.
    QTemporaryDir appDir;
    const QString program = appDir.path() + "/startup_probe";
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/startup_probe", program));
    QVERIFY(QDir(appDir.path()).mkpath("Config"));
    QFile shipped(QStringLiteral(FWU_SOURCE_DIR) + "/Config/Config.xml");
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QString xml = QString::fromUtf8(shipped.readAll());
    const int chinese = xml.indexOf("<language>", xml.indexOf("<config>"));
    xml.remove(chinese, xml.indexOf("</language>") + int(strlen("</language>")) - chinese);
    QFile config(appDir.path() + "/Config/Config.xml");
    QVERIFY(config.open(QIODevice::WriteOnly) && config.write(xml.toUtf8()) > 0);
    config.close();

    QProcess firstCopy;
    startProbe(firstCopy, program, "stay_open.qml", noStartPause, {"FWU_PROBE_DEVICE=V20"});
    const auto stopFirst = qScopeGuard([&firstCopy] {
        firstCopy.kill();
        firstCopy.waitForFinished();
    });
    QString firstOutput;
    while (!firstOutput.contains("READY") && firstCopy.waitForReadyRead(30000))
        firstOutput += QString::fromUtf8(firstCopy.readAll());
    QVERIFY2(firstOutput.contains("READY"), qPrintable(firstOutput));
    const QString marker = appDir.path() + "/Config/Temp/downloaded.json";
    QVERIFY(QDir().mkpath(appDir.path() + "/Config/Temp"));
    QVERIFY(QFile(marker).open(QIODevice::WriteOnly));
    if (firstCrashes) {
        firstCopy.kill();
        QVERIFY(firstCopy.waitForFinished());
    }
    if (first == "stopped") {
#ifdef Q_OS_WIN
        QSKIP("a process cannot be stopped from outside");
#else
        QCOMPARE(::kill(pid_t(firstCopy.processId()), SIGSTOP), 0);
#endif
    }

    QProcess secondCopy;
    secondCopy.setWorkingDirectory(appDir.path());
    startProbe(secondCopy, program, "order.qml",
               file.isEmpty() ? noStartPause : noStartPause + QStringList {file},
               QStringList {"FWU_PROBE_DEVICE=V20"} + secondEnvironment);
    const Run second = finish(secondCopy);
    QCOMPARE(second.status, QProcess::NormalExit);
    if (message.isEmpty()) {
        // Handed over: the second copy leaves without a word, the first opens the file.
        QVERIFY2(second.exitCode == 0 && !second.output.contains("ALREADY_RUNNING")
                     && !second.output.contains("SEEN"),
                 qPrintable(second.output));
        if (!file.isEmpty()) {
            const QString opened
                = "OPENED " + QUrl::fromLocalFile(appDir.path() + "/" + file).toString();
            QTRY_VERIFY2((firstOutput += QString::fromUtf8(firstCopy.readAll())).contains(opened),
                         qPrintable(firstOutput));
        }
        QCOMPARE(firstCopy.state(), QProcess::Running);
        return;
    }
    if (firstCrashes) {
        QVERIFY2(second.exitCode == 0 && second.output.contains("SEEN"), qPrintable(second.output));
        QVERIFY2(!QFile::exists(marker), "the second copy did not start afresh");
        return;
    }
    QVERIFY2(second.exitCode != 0, qPrintable(second.output));
    QVERIFY2(second.output.contains("ALREADY_RUNNING " + message), qPrintable(second.output));
    QVERIFY2(!second.output.contains("SEEN"), qPrintable(second.output));
    QVERIFY2(QFile::exists(marker), "the second copy emptied the first one's download folder");
    QCOMPARE(firstCopy.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
