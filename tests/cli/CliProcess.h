#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class QProcess;

// The real firmware-updater-cli, copied with the shipped Config.xml into a folder of its own (so
// its download folder is the test's to inspect) and run against the stand-in hidapi library.
class CliProcess
{
public:
    struct Result
    {
        int exitCode = -1;
        bool crashed = false;
        QByteArray out;
        QByteArray err;
        QByteArray image; // what the first simulated device received
        QByteArray deviceLog; // its summary: headers, header commands, protocol errors
    };

    CliProcess();
    bool isReady() const { return ready; }
    QString appDir() const { return dir.path(); }
    QString downloadFolder() const { return dir.path() + "/Config/Temp"; }
    // The history's and the log files' folder, of this object's own.
    QString stateFolder() const { return dir.path() + "/state/firmware-updater"; }
    // Whether a copy holds the lock of the first simulated accessory ("sim-hid:1"): every copy
    // that opens it does.
    static bool firstAccessoryLocked();
    // What the n-th simulated device (from 1) received in the last run.
    QByteArray received(int device) const;

    // The simulated devices as FWU_SIM_DEVICES describes them, and further FWU_SIM_ settings.
    void setDevices(const QString &devices) { env.insert("FWU_SIM_DEVICES", devices); }
    void setSim(const QString &name, const QString &value) { env.insert(name, value); }
    void unsetEnvironment(const QString &name) { env.remove(name); }
    // Runs the program as another user from now on (needs root): the folders it reads are opened
    // to everyone, and the simulated devices' records go to a folder everyone may write.
    bool runAs(const QString &user);
    // Runs to the end; `started` is called with the process once it runs (to signal it, say).
    // stderr (the progress) goes to `terminal` when it is a path (a pseudo-terminal's slave), else
    // to a pipe.
    Result run(const QStringList &arguments,
               const std::function<void(QProcess &)> &started = nullptr,
               const QString &terminal = QString());
    // Starts `program` copied beside the command line, with the same folders and library but no
    // simulated devices unless `devices` names some: another copy of the window or the command
    // line.
    bool startOther(QProcess &process, const QString &program, const QStringList &arguments,
                    const QString &devices = QString());

private:
    QTemporaryDir dir;
    QProcessEnvironment env;
    QString user;
    bool ready = false;
};
