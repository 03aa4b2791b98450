#pragma once

#include "UpdateFailure.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class AccessoryLocks;
class CliOutput;
class MainTask;
class ProgressPrinter;
class QEventLoop;
class QThread;

// The update engine on its worker thread, as the window runs it, seen from the command line:
// wait for the accessory, hand it one image, follow the update and turn its end into an exit code.
// Interrupts: before the first block one stops at once; while blocks are written the first only
// warns, and a second within three seconds stops the engine after its current pass.
class FlashSession : public QObject
{
    Q_OBJECT
public:
    // `locks` are claimed for the accessory the engine opens; `target`, when set, is the only
    // accessory it opens.
    FlashSession(const CliOutput &out, int startDelayMs, AccessoryLocks *locks,
                 const QByteArray &target, QObject *parent = nullptr);
    ~FlashSession() override;

    // Starts the engine on its worker thread; it then looks for the accessory by itself.
    void start();
    // Starts the engine if need be and waits until it reports the accessory connected. Returns an
    // exit code: Ok when connected, NoDevice after the wait, Interrupted on Ctrl+C.
    int waitForDevice(double seconds);
    // The identity the connected accessory reported, "*" for none (a legacy device).
    QString identity() const { return deviceIdentity; }
    // Whether the connected accessory answers the identity request (a V20 device), whatever the
    // identity it gives; a legacy device does not.
    bool reportsIdentity() const;
    // Updates the connected accessory with the image; returns the exit code.
    int flash(const QString &imagePath, quint64 imageSize);
    // `--sha256`: the update refuses (exit 7) an image whose SHA-256 is not this.
    void setExpectedSha256(const QString &sha256) { expectedSha256 = sha256; }
    // The SHA-256 of the copy the update wrote from; empty before it was taken.
    QString imageSha256() const { return sha256; }

    // Why the last update failed, where the engine said; blocks the accessory acknowledged.
    UpdateFailure lastFailure() const { return failure; }
    int blocksAcknowledged() const { return acknowledged; }

    // Whether a wait is running that interrupt() can end; outside one the caller handles Ctrl+C.
    bool isWaiting() const { return loop != nullptr; }

public slots:
    // `confirmed`: the system ends the run, as a second Ctrl+C would.
    void interrupt(bool confirmed = false);

private:
    enum class Phase { Idle, Waiting, Starting, Writing, Done };
    void onImageDigest(const QString &digest, qint64 size, bool matches);
    QString expectedSha256;
    QString sha256;

    void onConnection(bool connected);
    void onIdentity(const QString &identity);
    void onMessage(int id);
    void onProgress(int value);
    void onUpdateState(bool running);
    void sayWhy();
    void finishWith(int exitCode);
    int runLoop();
    void stopEngine();
    void say(const QString &line);

    const CliOutput &out;
    int startDelayMs;
    QThread *worker = nullptr;
    MainTask *engine = nullptr;
    QEventLoop *loop = nullptr;
    std::unique_ptr<ProgressPrinter> progress;
    Phase phase = Phase::Idle;
    bool connected = false;
    bool permissionReported = false;
    bool progressStarted = false;
    bool stopping = false;
    quint64 blocks = 0;
    int acknowledged = 0;
    QString deviceIdentity = QStringLiteral("*");
    UpdateFailure failure; // of the update that is ending, said after its failure message
    QElapsedTimer sinceFirstInterrupt;
    int exitCode = 0;
};
