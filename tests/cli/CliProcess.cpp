#include "CliProcess.h"

#include "AccessoryLocks.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

CliProcess::CliProcess()
    : env(QProcessEnvironment::systemEnvironment())
{
    const QString program = dir.path() + "/firmware-updater-cli";
    ready = QDir(dir.path()).mkpath("Config") && QFile::copy(FWU_CLI_PROGRAM, program)
        && QFile::copy(FWU_SOURCE_CONFIG, dir.path() + "/Config/Config.xml");
    env.insert("LD_LIBRARY_PATH", FWU_SIMHID_LIBDIR);
    env.insert("FWU_SIM_DUMP", dir.path() + "/received.bin");
    env.remove("QT_LOGGING_RULES");
    // ctest runs the entries in parallel: each object's programs meet only each other's lock.
    ready = ready && QDir(dir.path()).mkdir("runtime")
        && QFile::setPermissions(dir.path() + "/runtime",
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                     | QFileDevice::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", dir.path() + "/runtime");
    env.insert("XDG_CACHE_HOME", dir.path() + "/cache");
    env.insert("XDG_STATE_HOME", dir.path() + "/state");
}

bool CliProcess::firstAccessoryLocked()
{
    return AccessoryLocks::heldByAnother("sim-hid:1");
}

bool CliProcess::runAs(const QString &name)
{
    const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
        | QFileDevice::ExeOther;
    const QString records = dir.path() + "/records";
    if (!QFile::setPermissions(dir.path(), everyone) || !QDir(dir.path()).mkdir("records")
        || !QFile::setPermissions(records,
                                  everyone | QFileDevice::WriteGroup | QFileDevice::WriteOther))
        return false;
    env.insert("FWU_SIM_DUMP", records + "/received.bin");
    user = name;
    return true;
}

QByteArray CliProcess::received(int device) const
{
    const QString dump = env.value("FWU_SIM_DUMP");
    QFile image(device == 1 ? dump : dump + "." + QString::number(device));
    return image.open(QIODevice::ReadOnly) ? image.readAll() : QByteArray();
}

bool CliProcess::startOther(QProcess &process, const QString &program, const QStringList &arguments,
                            const QString &devices)
{
    const QString copy = dir.path() + "/" + QFileInfo(program).fileName();
    if (!QFile::exists(copy) && !QFile::copy(program, copy))
        return false;
    QProcessEnvironment other = env;
    other.remove("FWU_SIM_DEVICES");
    other.remove("FWU_SIM_DUMP");
    if (!devices.isEmpty())
        other.insert("FWU_SIM_DEVICES", devices);
    other.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(other);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(copy, arguments);
    return process.waitForStarted();
}

CliProcess::Result CliProcess::run(const QStringList &arguments,
                                   const std::function<void(QProcess &)> &started,
                                   const QString &terminal)
{
    const QString dump = env.value("FWU_SIM_DUMP");
    QFile::remove(dump);
    QFile::remove(dump + ".log");
    for (int n = 2; n <= 9; ++n)
        QFile::remove(dump + "." + QString::number(n));
    QProcess process;
    process.setProcessEnvironment(env);
    // The engine's one-second start pause is the window's; the tests have no use for it.
    const QStringList programArguments = QStringList {"--start-delay", "0"} + arguments;
    if (user.isEmpty()) {
        process.setProgram(dir.path() + "/firmware-updater-cli");
        process.setArguments(programArguments);
    } else {
        process.setProgram("setpriv");
        process.setArguments(QStringList {"--reuid=" + user, "--regid=nogroup", "--clear-groups",
                                          "--", dir.path() + "/firmware-updater-cli"}
                             + programArguments);
    }
    process.setStandardInputFile(QProcess::nullDevice());
    if (!terminal.isEmpty())
        process.setStandardErrorFile(terminal);
    process.start();
    Result result;
    if (!process.waitForStarted())
        return result;
    if (started)
        started(process);
    if (process.state() != QProcess::NotRunning) {
        // An event loop, not waitForFinished: the test's web server answers from this thread.
        QEventLoop loop;
        QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    QFile image(dump);
    if (image.open(QIODevice::ReadOnly))
        result.image = image.readAll();
    QFile log(dump + ".log");
    if (log.open(QIODevice::ReadOnly))
        result.deviceLog = log.readAll();
    return result;
}
