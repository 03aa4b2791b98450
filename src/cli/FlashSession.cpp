#include "FlashSession.h"

#include "AccessoryLocks.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "FirmwareImage.h"
#include "MainTask.h"
#include "MessageId.h"
#include "PrintableText.h"
#include "ProgressPrinter.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

Q_LOGGING_CATEGORY(lcCli, "fwu.cli")

namespace {
// A second Ctrl+C within this time stops an update that is writing blocks.
constexpr qint64 confirmWindowMs = 3000;
// Two presence polls after the engine's start pause: the poll that opens, the one that reports.
constexpr int firstReportMarginMs = 300;
} // namespace

FlashSession::FlashSession(const CliOutput &out, int startDelayMs, AccessoryLocks *locks,
                           const QByteArray &target, QObject *parent)
    : QObject(parent)
    , out(out)
    , startDelayMs(startDelayMs)
    , worker(new QThread(this))
    , engine(new MainTask)
{
    engine->setStartDelay(startDelayMs);
    engine->setTargetPath(target.toStdString());
    engine->setDeviceClaim(
        [locks](const std::string &path) { return locks->claim(QByteArray::fromStdString(path)); },
        [locks](const std::string &path) { locks->release(QByteArray::fromStdString(path)); });
    engine->moveToThread(worker);
    connect(engine, &MainTask::sig_ChangeUsbConnectStatus, this, &FlashSession::onConnection);
    connect(engine, &MainTask::sig_ReceiveV20DeviceID, this, &FlashSession::onIdentity);
    connect(engine, &MainTask::sig_OutoutMsgToBackend, this, &FlashSession::onMessage);
    connect(engine, &MainTask::sig_ChangeProgressValue, this, &FlashSession::onProgress);
    connect(engine, &MainTask::sig_UpdateState, this, &FlashSession::onUpdateState);
    connect(engine, &MainTask::sig_ImageDigest, this, &FlashSession::onImageDigest);
    connect(engine, &MainTask::sig_UpdateFailure, this,
            [this](const UpdateFailure &reason) { failure = reason; });
}

FlashSession::~FlashSession()
{
    stopEngine();
}

void FlashSession::start()
{
    if (worker->isRunning())
        return;
    worker->start();
    emit engine->StartTask();
}

int FlashSession::waitForDevice(double seconds)
{
    start();
    if (connected)
        return ExitCode::Ok;
    phase = Phase::Waiting;
    qCDebug(lcCli) << "waiting up to" << seconds << "s for the accessory";
    out.status(out.text(LanguageConfig::textWaitingForDevice).arg(seconds));
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] { finishWith(ExitCode::NoDevice); });
    deadline.start(int(startDelayMs + seconds * 1000.0) + firstReportMarginMs);
    const int code = runLoop();
    // A device that cannot be opened has already been named; otherwise say that none came.
    if (code == ExitCode::NoDevice && !permissionReported)
        out.errorMessage(MessageId::ConnectDeviceFirst);
    return code;
}

int FlashSession::flash(const QString &imagePath, quint64 imageSize)
{
    // Beside the status lines on stderr, so that stdout carries only the outcome.
    progress = std::make_unique<ProgressPrinter>(stderr, ProgressPrinter::isTerminal(stderr),
                                                 out.text(LanguageConfig::textTimeLeft));
    blocks = FirmwareImage::blocksFor(imageSize);
    phase = Phase::Starting;
    progressStarted = false;
    QMetaObject::invokeMethod(engine, "SetFilePath", Qt::QueuedConnection,
                              Q_ARG(QString, imagePath));
    QMetaObject::invokeMethod(engine, "SetExpectedSha256", Qt::QueuedConnection,
                              Q_ARG(QString, expectedSha256));
    QMetaObject::invokeMethod(engine, "StartUpdate", Qt::QueuedConnection);
    return runLoop();
}

void FlashSession::interrupt(bool confirmed)
{
    if (phase == Phase::Done || stopping)
        return;
    if (phase != Phase::Writing) {
        finishWith(ExitCode::Interrupted);
        return;
    }
    if (confirmed
        || (sinceFirstInterrupt.isValid() && sinceFirstInterrupt.elapsed() <= confirmWindowMs)) {
        progress->finish();
        out.error(out.text(LanguageConfig::textInterruptStopping));
        stopping = true;
        connect(worker, &QThread::finished, this, [this] { finishWith(ExitCode::Interrupted); });
        worker->requestInterruption();
        worker->quit();
        return;
    }
    progress->finish();
    out.error(out.text(LanguageConfig::textInterruptHint));
    sinceFirstInterrupt.start();
}

bool FlashSession::reportsIdentity() const
{
    // The engine's own view of the link, asked on its thread between two of its passes.
    bool v20 = false;
    if (worker->isRunning())
        QMetaObject::invokeMethod(
            engine, [this] { return engine->deviceIsV20(); }, Qt::BlockingQueuedConnection, &v20);
    return v20;
}

void FlashSession::onConnection(bool isConnected)
{
    qCDebug(lcCli) << "engine: connected" << isConnected;
    connected = isConnected;
    if (connected && phase == Phase::Waiting)
        finishWith(ExitCode::Ok);
}

void FlashSession::onIdentity(const QString &identity)
{
    qCDebug(lcCli) << "engine: identity" << identity;
    if (identity != deviceIdentity && identity != QLatin1String("*"))
        say(out.text(LanguageConfig::textDeviceIdentity).arg(printableText(identity)));
    deviceIdentity = identity;
}

void FlashSession::onMessage(int id)
{
    qCDebug(lcCli) << "engine: message" << id;
    switch (id) {
    case MessageId::DeviceConnected:
    case MessageId::DeviceDisconnected:
        say(out.message(id));
        return;
    case MessageId::DevicePermissionDenied:
        permissionReported = true;
        out.errorMessage(id);
        return;
    default:
        break;
    }
    if (phase != Phase::Starting && phase != Phase::Writing)
        return;
    if (progress)
        progress->finish();
    switch (id) {
    case MessageId::UpdateOk:
        out.infoMessage(id);
        finishWith(ExitCode::Ok);
        return;
    case MessageId::UpdateFailed:
        out.errorMessage(id);
        sayWhy();
        finishWith(ExitCode::UpdateFailed);
        return;
    case MessageId::ConnectDeviceFirst:
        out.errorMessage(id);
        finishWith(ExitCode::NoDevice);
        return;
    case MessageId::FirmwareMismatch:
        out.errorMessage(id);
        finishWith(ExitCode::Mismatch);
        return;
    default: // the image could not be opened, read or used
        out.errorMessage(id);
        sayWhy();
        // Once blocks have gone out the device holds part of an image: the update failed.
        finishWith(phase == Phase::Writing ? ExitCode::UpdateFailed : ExitCode::BadUsage);
        return;
    }
}

// The first report (0) comes when the update starts; every later one is one acknowledged block.
void FlashSession::onProgress(int value)
{
    qCDebug(lcCli) << "engine: progress" << value;
    if (phase != Phase::Starting && phase != Phase::Writing)
        return;
    if (!progressStarted) {
        progressStarted = true;
        return;
    }
    onUpdateState(true);
    ++acknowledged;
    if (out.showsProgress())
        progress->blockDone(value);
}

void FlashSession::onUpdateState(bool running)
{
    if (!running || phase != Phase::Starting)
        return;
    qCDebug(lcCli) << "engine: writing";
    phase = Phase::Writing;
    if (out.showsProgress())
        progress->begin(blocks);
}

// The digest of what is written, taken before the first write: shown with --verbose, and the one
// --sha256 is compared with.
void FlashSession::onImageDigest(const QString &digest, qint64 size, bool matches)
{
    sha256 = digest;
    qCDebug(lcCli).noquote() << "image:" << size << "bytes, SHA-256" << digest;
    if (matches || phase != Phase::Starting)
        return;
    if (progress)
        progress->finish();
    out.error(out.text(LanguageConfig::textImageDigestMismatch).arg(digest, expectedSha256));
    finishWith(ExitCode::NotVerified);
}

// One line in the run's language after the failure message: which step, which block, and
// whether the accessory stopped answering or went away.
void FlashSession::sayWhy()
{
    const QString why = out.failureText(failure);
    if (!why.isEmpty())
        out.error(why);
}

void FlashSession::finishWith(int code)
{
    exitCode = code;
    phase = Phase::Done;
    if (loop)
        loop->quit();
}

int FlashSession::runLoop()
{
    if (phase == Phase::Done)
        return exitCode;
    QEventLoop events;
    loop = &events;
    events.exec();
    loop = nullptr;
    return exitCode;
}

void FlashSession::stopEngine()
{
    if (worker->isRunning()) {
        worker->requestInterruption();
        worker->quit();
        worker->wait();
    }
    delete engine;
    engine = nullptr;
}

void FlashSession::say(const QString &line)
{
    if (progress)
        progress->finish();
    out.status(line);
}
