// The installed program: `cmake --install` into a temporary prefix, the layout and the desktop
// metadata checked with the distribution's own validators, then the program started from a
// read-only copy of the prefix as an ordinary user, the way a packaged install runs.
#include "TestHttpServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString appId = QStringLiteral(FWU_APP_ID);
const QString cataloguePath = QStringLiteral("/Downloads/cat.json");
// The status image of the copied prefix is replaced by a solid colour no artwork uses.
const QRgb marker = qRgb(255, 0, 255);

struct Result
{
    int exitCode = -1;
    QString output;
};

Result run(const QString &program, const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.output = "timed out: ";
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output += QString::fromUtf8(process.readAll());
    return result;
}

QByteArray catalogue()
{
    const QJsonObject record {{"device_id", "V20"},
                              {"version", "1.2"},
                              {"firmware_url", "V20.zip"},
                              {"category1", QJsonObject {{"id", "tx"}}}};
    return QJsonDocument(QJsonObject {{"base_url", "fw"}, {"Firmwares", QJsonArray {record}}})
        .toJson();
}

// The screen of `display`, grabbed by this program in its --grab role.
QImage grabScreen(const QString &display, const QString &pngPath)
{
    QProcess grab;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    grab.setProcessEnvironment(env);
    grab.start(QCoreApplication::applicationFilePath(), {"--grab", pngPath});
    if (!grab.waitForFinished(10000) || grab.exitCode() != 0)
        return QImage();
    return QImage(pngPath).convertToFormat(QImage::Format_RGB32);
}

// Where the marker colour shows; empty while the window does not show it.
QRect markerBox(const QImage &screen)
{
    QRect box;
    for (int y = 0; y < screen.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if ((line[x] & 0xffffff) == (marker & 0xffffff))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The spans that differ from the window's background along row y, right of x and within the
// window: the controls beside the status image, found without knowing their sizes or spacing.
QList<QPair<int, int>> controlsRightOf(const QImage &screen, int x, int y)
{
    const QRgb background = screen.pixel(x + 1, y);
    QList<QPair<int, int>> spans;
    int start = -1;
    for (int i = x + 1; i < screen.width(); ++i) {
        const bool inControl = screen.pixel(i, y) != background;
        if (inControl && start < 0)
            start = i;
        if (!inControl && start >= 0) {
            spans.append({start, i - 1});
            start = -1;
        }
    }
    // A span still open at the screen's edge is the screen beyond the window.
    return spans;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layout_data();
    void layout();
    void nothingOfTheRunTimeIsInstalled();
    void desktopEntryAndMetadata_passTheValidators();
    void installedProgram_runsFromAReadOnlyPrefixAsAnOrdinaryUser();

private:
    QString prefix() const { return root.path() + "/prefix"; }

    QTemporaryDir root;
};

void TestInstall::initTestCase()
{
    QVERIFY(root.isValid());
    // Others (the unprivileged user below) must reach the prefix copy inside.
    QFile::setPermissions(root.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                              | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    const Result install = run(QStringLiteral(FWU_CMAKE_COMMAND),
                               {"--install", QStringLiteral(FWU_BUILD_DIR), "--prefix", prefix()});
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));
}

void TestInstall::layout_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("iconSize"); // 0: not a PNG icon
    QTest::newRow("program") << "bin/firmware-updater" << 0;
    for (const char *file : {"Config.xml", "logo.png", "ON.png", "OFF.png"})
        QTest::newRow(file) << QString("share/firmware-updater/Config/") + file << 0;
    QTest::newRow("device rule") << "lib/udev/rules.d/70-firmware-updater.rules" << 0;
    QTest::newRow("desktop entry") << "share/applications/" + appId + ".desktop" << 0;
    QTest::newRow("metadata") << "share/metainfo/" + appId + ".metainfo.xml" << 0;
    QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/" + appId + ".svg" << 0;
    for (const int size : {48, 128, 256})
        QTest::newRow(qPrintable(QString("icon %1").arg(size)))
            << QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId) << size;
    QTest::newRow("licence") << "share/doc/firmware-updater/copyright" << 0;
    // Named by the "cannot be opened" message.
    QTest::newRow("troubleshooting") << "share/doc/firmware-updater/troubleshooting.md" << 0;
}

void TestInstall::layout()
{
    QFETCH(QString, path);
    QFETCH(int, iconSize);
    const QFileInfo file(prefix() + "/" + path);
    QVERIFY2(file.isFile(), qPrintable(path));
    if (path.startsWith("bin/"))
        QVERIFY(file.isExecutable());
    if (iconSize > 0)
        QCOMPARE(QImage(file.filePath()).size(), QSize(iconSize, iconSize));
}

void TestInstall::nothingOfTheRunTimeIsInstalled()
{
    // A build folder that has run the program holds Config/Temp; none of it is installed.
    QDirIterator it(prefix(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        QVERIFY2(name != "Temp" && !name.startsWith('.'), qPrintable(it.filePath()));
    }
}

void TestInstall::desktopEntryAndMetadata_passTheValidators()
{
    const Result desktop
        = run("desktop-file-validate", {prefix() + "/share/applications/" + appId + ".desktop"});
    QVERIFY2(desktop.exitCode == 0 && desktop.output.trimmed().isEmpty(),
             qPrintable(desktop.output));
    const QString metainfo = prefix() + "/share/metainfo/" + appId + ".metainfo.xml";
    const Result appstream = run("appstreamcli", {"validate", "--no-net", metainfo});
    QVERIFY2(appstream.exitCode == 0, qPrintable(appstream.output));
    QFile file(metainfo);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("<release version=\"" FWU_VERSION "\""));
}

void TestInstall::installedProgram_runsFromAReadOnlyPrefixAsAnOrdinaryUser()
{
    TestHttpServer server;
    QVERIFY(server.start());
    server.setReply(cataloguePath, TestHttpServer::ok(catalogue(), "application/json"));

    // The copy: catalogue address on the test server, the marker as the status image, read-only.
    const QString copy = root.path() + "/readonly";
    QVERIFY(run("cp", {"-a", prefix(), copy}).exitCode == 0);
    const QString config = copy + "/share/firmware-updater/Config/";
    QFile xmlFile(config + "Config.xml");
    QVERIFY(xmlFile.open(QIODevice::ReadOnly));
    QString xml = QString::fromUtf8(xmlFile.readAll());
    xmlFile.close();
    xml.replace(QRegularExpression("<catalogue_url>[^<]*</catalogue_url>"),
                "<catalogue_url>" + server.origin() + cataloguePath + "</catalogue_url>");
    QVERIFY(xmlFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
    xmlFile.write(xml.toUtf8());
    xmlFile.close();
    QImage status(91, 25, QImage::Format_RGB32);
    status.fill(marker);
    QVERIFY(status.save(config + "OFF.png"));
    QVERIFY(run("chmod", {"-R", "a-w", copy}).exitCode == 0);

    // An ordinary user: CI runs as root, which could write anywhere and would hide a fault.
    QStringList command {copy + "/bin/firmware-updater", "--network-firmware"};
    const QString home = root.path() + "/home";
    const QString runtime = root.path() + "/runtime";
    QVERIFY(QDir().mkpath(home) && QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (geteuid() == 0) {
        const passwd *nobody = getpwnam("nobody");
        QVERIFY2(nobody, "no user 'nobody' to run the program as");
        QVERIFY(chown(qPrintable(home), nobody->pw_uid, nobody->pw_gid) == 0);
        QVERIFY(chown(qPrintable(runtime), nobody->pw_uid, nobody->pw_gid) == 0);
        command = QStringList {"setpriv", QString("--reuid=%1").arg(nobody->pw_uid),
                               QString("--regid=%1").arg(nobody->pw_gid), "--clear-groups"}
            + command;
    }

    // A display of its own, which the other user may use (no authorisation file).
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    const auto stopXvfb = qScopeGuard([&xvfb] {
        xvfb.terminate();
        xvfb.waitForFinished();
    });
    QByteArray number;
    while (!number.contains('\n') && xvfb.waitForReadyRead(10000))
        number += xvfb.readAllStandardOutput();
    bool started = false;
    number.trimmed().toInt(&started);
    QVERIFY2(started, "Xvfb did not start");
    const QString display = ":" + QString::fromLatin1(number.trimmed());

    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    env.insert("LANG", "C.UTF-8");
    env.insert("HOME", home);
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    // A sanitizer build of the program runs with the suite's sanitizer settings.
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (qEnvironmentVariableIsSet(name))
            env.insert(name, qEnvironmentVariable(name));
    }
    program.setProcessEnvironment(env);
    program.start(command.takeFirst(), command);
    QVERIFY(program.waitForStarted());
    const auto stopProgram = qScopeGuard([&program] {
        program.kill();
        program.waitForFinished();
    });

    // The window shows the status image, so the installed Config/ was found.
    const QString png = root.path() + "/screen.png";
    QImage screen;
    QRect image;
    for (int i = 0; i < 50 && image.isEmpty() && program.state() == QProcess::Running; ++i) {
        screen = grabScreen(display, png);
        image = markerBox(screen);
        if (image.isEmpty())
            QTest::qWait(100);
    }
    QVERIFY2(!image.isEmpty(), qPrintable(QString::fromUtf8(program.readAll())));

    // The network-firmware button is the first of the three controls right of the status image
    // (Open file and Update follow); clicking it fetches the catalogue.
    const int row = image.top() + 2; // above the buttons' labels
    const auto controls = controlsRightOf(screen, image.right(), row);
    if (controls.size() == 2)
        QSKIP("the main window shows no network-firmware button for --network-firmware");
    QVERIFY2(controls.size() == 3, qPrintable(QString("%1 controls").arg(controls.size())));
    const QPoint button((controls[0].first + controls[0].second) / 2, image.center().y());
    QProcess xdotool;
    QProcessEnvironment xenv = QProcessEnvironment::systemEnvironment();
    xenv.insert("DISPLAY", display);
    xdotool.setProcessEnvironment(xenv);
    xdotool.start(
        "xdotool",
        {"mousemove", QString::number(button.x()), QString::number(button.y()), "click", "1"});
    QVERIFY(xdotool.waitForFinished(10000) && xdotool.exitCode() == 0);
    QTRY_VERIFY_WITH_TIMEOUT(server.requestedPaths.contains(cataloguePath), 5000);

    // It lands in the user's cache folder; the prefix stays as installed.
    const QString stored = home + "/.cache/Tarvo/firmware-updater/Temp/cat.json";
    QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo(stored).isFile(), qPrintable(stored), 5000);
    QVERIFY(!QFileInfo::exists(config + "Temp"));
    QVERIFY(!QFileInfo::exists(copy + "/bin/Config"));
    QCOMPARE(program.state(), QProcess::Running);
}

// In its --grab role the program saves a screenshot of the display it is started on.
int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--grab") == 0) {
        QGuiApplication app(argc, argv);
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        return screen.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    TestInstall test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_install.moc"
