#include "MultiFlash.h"

#include "CliOutput.h"
#include "CliRecord.h"
#include "ExitCode.h"
#include "FailureText.h"
#include "FirmwareImage.h"
#include "MainTask.h"
#include "MessageId.h"
#include "PrintableText.h"
#include "ProgressPrinter.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

Q_DECLARE_LOGGING_CATEGORY(lcCli)

namespace {
constexpr int barWidth = 20;
constexpr qint64 redrawIntervalMs = 100;
constexpr qint64 confirmWindowMs = 3000;
// An accessory that is not connected this long after its engine's start pause has gone.
constexpr int connectTimeoutMs = 3000;

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
} // namespace

struct MultiFlash::Unit
{
    QObject context; // on the main thread: the engine's signals and timers end with the unit
    Target target;
    QThread thread;
    MainTask *engine = nullptr;
    QElapsedTimer clock; // from the first write
    double seconds = 0; // from the first write to the end; 0 when nothing was written
    UpdateFailure failure;
    QString identity;
    int percent = 0;
    int lastTenth = 0;
    bool progressStarted = false;
    bool writing = false; // the update has begun writing
    bool requested = false;
    bool done = false;
    bool ok = false;
    bool notVerified = false; // the image's digest is not the --sha256 given
    QString sha256; // of the copy the engine writes from
    bool stopped = false; // ended by Ctrl+C (or a stop signal), written or not
    QString result;
    bool recorded = false; // handed to the engine: the history has its start line
    HistoryRecord history;
    int acknowledged = 0;
};

MultiFlash::MultiFlash(const CliOutput &out, AccessoryLocks &locks, int startDelayMs, bool json)
    : out(out)
    , locks(locks)
    , startDelayMs(startDelayMs)
    , json(json)
    , terminal(ProgressPrinter::isTerminal(stderr))
{
}

MultiFlash::~MultiFlash()
{
    for (auto &unit : units) {
        unit->thread.requestInterruption();
        unit->thread.quit();
        unit->thread.wait();
        delete unit->engine;
    }
}

int MultiFlash::run(const QVector<Target> &targets)
{
    for (const Target &target : targets) {
        units.push_back(std::make_unique<Unit>());
        units.back()->target = target;
        units.back()->identity = target.accessory.v20 ? target.accessory.identity : QString();
    }
    for (auto &unit : units)
        startUnit(*unit);
    QEventLoop events;
    loop = &events;
    bool pending = false;
    for (auto &unit : units)
        pending = pending || !unit->done;
    if (pending)
        events.exec();
    loop = nullptr;
    drawProgress(true);
    report();
    if (interrupted)
        return ExitCode::Interrupted;
    for (auto &unit : units) {
        if (unit->notVerified)
            return ExitCode::NotVerified;
    }
    for (auto &unit : units) {
        if (!unit->ok && !unit->target.skipped)
            return ExitCode::UpdateFailed;
    }
    return ExitCode::Ok;
}

void MultiFlash::startUnit(Unit &unit)
{
    if (unit.target.image.isEmpty()) {
        finishUnit(unit, false, unit.target.refusal);
        return;
    }
    unit.engine = new MainTask;
    MainTask *engine = unit.engine;
    engine->setStartDelay(startDelayMs);
    engine->setTargetPath(unit.target.accessory.path.toStdString());
    // The lock was taken when the accessory was chosen; the engine gives it back when it closes.
    AccessoryLocks *held = &locks;
    engine->setDeviceClaim(
        [held](const std::string &path) { return held->claim(QByteArray::fromStdString(path)); },
        nullptr);
    engine->moveToThread(&unit.thread);
    Unit *u = &unit;
    QObject *context = &unit.context;
    connect(engine, &MainTask::sig_ChangeUsbConnectStatus, context, [this, u](bool connected) {
        if (!connected || u->requested || u->done)
            return;
        u->requested = true;
        if (record) {
            Accessory accessory = u->target.accessory;
            accessory.identity = u->identity.isEmpty() ? accessory.identity : u->identity;
            u->history
                = record->begin(accessory, u->target.image, u->target.size, u->target.origin);
            u->recorded = true;
        }
        QMetaObject::invokeMethod(u->engine, "SetFilePath", Qt::QueuedConnection,
                                  Q_ARG(QString, u->target.image));
        QMetaObject::invokeMethod(u->engine, "SetExpectedSha256", Qt::QueuedConnection,
                                  Q_ARG(QString, expectedSha256));
        QMetaObject::invokeMethod(u->engine, "StartUpdate", Qt::QueuedConnection);
    });
    connect(engine, &MainTask::sig_ReceiveV20DeviceID, context, [u](const QString &identity) {
        if (identity != QLatin1String("*"))
            u->identity = identity;
    });
    connect(engine, &MainTask::sig_UpdateState, context, [this, u](bool running) {
        if (!running || u->writing)
            return;
        u->writing = true;
        anyWritten = true;
        u->clock.start();
    });
    connect(engine, &MainTask::sig_UpdateFailure, context,
            [u](const UpdateFailure &failure) { u->failure = failure; });
    connect(engine, &MainTask::sig_OutoutMsgToBackend, context,
            [this, u](int id) { onMessage(*u, id); });
    connect(engine, &MainTask::sig_ImageDigest, context,
            [this, u](const QString &sha256, qint64, bool matches) {
                u->sha256 = sha256;
                if (matches)
                    return;
                u->notVerified = true;
                finishUnit(
                    *u, false,
                    out.text(LanguageConfig::textImageDigestMismatch).arg(sha256, expectedSha256));
            });
    connect(engine, &MainTask::sig_ChangeProgressValue, context,
            [this, u](int value) { onProgress(*u, value); });
    QTimer::singleShot(startDelayMs + connectTimeoutMs, context, [this, u] {
        if (!u->requested && !u->done)
            finishUnit(*u, false, out.message(MessageId::ConnectDeviceFirst));
    });
    qCDebug(lcCli) << "starting the engine of" << unit.target.accessory.name();
    unit.thread.start();
    emit engine->StartTask();
}

void MultiFlash::onMessage(Unit &unit, int id)
{
    if (unit.done || !unit.requested)
        return;
    switch (id) {
    case MessageId::DeviceConnected:
    case MessageId::DeviceDisconnected:
    case MessageId::DevicePermissionDenied:
        return;
    case MessageId::UpdateOk:
        finishUnit(unit, true, out.message(id));
        return;
    default: {
        const QString why = out.failureText(unit.failure);
        finishUnit(unit, false,
                   why.isEmpty() ? out.message(id) : out.message(id) + QStringLiteral(": ") + why);
        return;
    }
    }
}

// The first report (0) comes when the update starts; every later one is one acknowledged block.
void MultiFlash::onProgress(Unit &unit, int value)
{
    if (unit.done)
        return;
    if (!unit.progressStarted) {
        unit.progressStarted = true;
        return;
    }
    ++unit.acknowledged;
    unit.percent = qBound(0, value, 100);
    if (!out.showsProgress())
        return;
    if (terminal && !station) {
        drawProgress(unit.percent == 100);
        return;
    }
    if (unit.percent / 10 > unit.lastTenth) {
        unit.lastTenth = unit.percent / 10;
        writeErr(
            QStringLiteral("%1  %2 %\n").arg(unit.target.accessory.name()).arg(unit.percent, 3));
    }
}

void MultiFlash::finishUnit(Unit &unit, bool ok, const QString &why)
{
    if (unit.done)
        return;
    unit.done = true;
    unit.ok = ok;
    unit.result = why;
    if (unit.recorded && record) {
        const int code = ok ? ExitCode::Ok
            : interrupted   ? ExitCode::Interrupted
                            : ExitCode::UpdateFailed;
        if (!unit.sha256.isEmpty())
            unit.history.sha256 = unit.sha256; // of the copy written
        record->end(unit.history, code, unit.failure, unit.acknowledged);
    }
    // Each accessory's own time: the others may run on long after it.
    unit.seconds = unit.writing ? unit.clock.elapsed() / 1000.0 : 0.0;
    if (unit.engine) {
        // Its engine ends after its pass; the accessory's lock goes with it.
        unit.thread.requestInterruption();
        unit.thread.quit();
    }
    if (station) {
        stationLine(unit);
        return;
    }
    for (auto &other : units) {
        if (!other->done)
            return;
    }
    if (loop)
        loop->quit();
}

// The result in the chosen language; --json keeps the fixed words.
QString MultiFlash::resultWord(const Unit &unit) const
{
    using L = LanguageConfig;
    return out.text(unit.ok                   ? L::cliResultUpdated
                        : unit.target.skipped ? L::cliResultSkipped
                        : unit.stopped        ? L::textHistoryInterrupted
                                              : L::textHistoryFailed);
}

void MultiFlash::stopUnit(Unit &unit)
{
    if (unit.done)
        return;
    unit.stopped = true;
    finishUnit(unit, false, out.text(LanguageConfig::textHistoryInterrupted));
}

// One line per accessory, all redrawn in place: up to the first, then each line anew.
void MultiFlash::drawProgress(bool force)
{
    if (!terminal || !out.showsProgress())
        return;
    if (!force && sinceDraw.isValid() && sinceDraw.elapsed() < redrawIntervalMs)
        return;
    sinceDraw.start();
    QString text;
    if (drawnLines > 0)
        text += QStringLiteral("\x1b[%1A").arg(drawnLines);
    for (auto &unit : units) {
        const int filled = unit->percent * barWidth / 100;
        QString line = QStringLiteral("\r%1 [%2%3] %4 %")
                           .arg(unit->target.accessory.name(), QString(filled, QChar('#')),
                                QString(barWidth - filled, QChar('-')))
                           .arg(unit->percent, 3);
        const qint64 ms = unit->clock.elapsed();
        if (!unit->done && unit->percent > 0 && unit->percent < 100 && ms > 0) {
            const qint64 left = qint64(ms * (100 - unit->percent) / unit->percent / 1000.0 + 0.5);
            line += QStringLiteral("  ")
                + out.text(LanguageConfig::textTimeLeft)
                      .arg(
                          QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10, QChar('0')));
        }
        text += line + QStringLiteral("\x1b[K\n");
    }
    drawnLines = int(units.size());
    writeErr(text);
}

void MultiFlash::report()
{
    QJsonArray array;
    QString lines;
    for (auto &unit : units) {
        const double seconds = unit->seconds;
        const QString identity = unit->identity.isEmpty() ? QStringLiteral("*") : unit->identity;
        const QString result = unit->ok ? QStringLiteral("updated")
            : unit->target.skipped      ? QStringLiteral("skipped")
            : unit->stopped             ? QStringLiteral("interrupted")
                                        : QStringLiteral("failed");
        array.append(QJsonObject {{"name", unit->target.accessory.name()},
                                  {"path", QString::fromLocal8Bit(unit->target.accessory.path)},
                                  {"serial", unit->target.accessory.serial},
                                  {"identity", identity},
                                  {"result", result},
                                  {"message", unit->result},
                                  {"sha256", unit->sha256},
                                  {"reason", FailureText::kindName(unit->failure.kind)},
                                  {"block", unit->failure.block},
                                  {"seconds", qRound(seconds * 10) / 10.0}});
        lines += QStringLiteral("%1  %2  %3: %4  %5 s\n")
                     .arg(unit->target.accessory.name(), printableText(identity), resultWord(*unit),
                          unit->result)
                     .arg(seconds, 0, 'f', 1);
    }
    out.result(json ? QString::fromUtf8(QJsonDocument(array).toJson()) : lines);
}

int MultiFlash::runStation(const QString &image, quint64 size)
{
    station = true;
    QTimer scan;
    connect(&scan, &QTimer::timeout, this, [this, image, size] { stationScan(image, size); });
    scan.start(200);
    stationScan(image, size);
    QEventLoop events;
    loop = &events;
    events.exec();
    loop = nullptr;
    return ExitCode::Interrupted;
}

// New accessories get an engine each; those gone since their update may be updated again, and
// finished units are let go so that a station running for days stays flat.
void MultiFlash::stationScan(const QString &image, quint64 size)
{
    if (interrupted)
        return;
    const QVector<Accessory> found = scanAccessories(locks, false);
    std::set<QByteArray> present;
    for (const Accessory &a : found)
        present.insert(a.path);
    for (auto it = served.begin(); it != served.end();)
        it = present.count(*it) ? std::next(it) : served.erase(it);
    for (auto it = units.begin(); it != units.end();) {
        Unit &unit = **it;
        if (unit.done && unit.thread.wait(0)) {
            delete unit.engine;
            unit.engine = nullptr;
            it = units.erase(it);
        } else {
            ++it;
        }
    }
    for (const Accessory &a : found) {
        if (a.state != Accessory::State::Free || served.count(a.path) || !locks.claim(a.path))
            continue;
        served.insert(a.path);
        units.push_back(std::make_unique<Unit>());
        units.back()->target = Target {a, image, size, QString(), false, HistoryRecord()};
        startUnit(*units.back());
    }
}

void MultiFlash::stationLine(Unit &unit)
{
    (unit.ok ? updatedCount : failedCount)++;
    // The accessory's lock goes with its engine; a re-plugged one is claimed anew.
    locks.release(unit.target.accessory.path);
    const QString identity = unit.identity.isEmpty() ? QStringLiteral("*") : unit.identity;
    const QString counts
        = out.text(LanguageConfig::cliStationCounts).arg(updatedCount).arg(failedCount);
    out.result(QStringLiteral("%1  %2  %3: %4  %5 s  %6\n")
                   .arg(unit.target.accessory.name(), printableText(identity), resultWord(unit),
                        unit.result)
                   .arg(unit.seconds, 0, 'f', 1)
                   .arg(counts));
}

void MultiFlash::interrupt(bool confirmed)
{
    // Nothing is being written: stop at once, and no engine starts writing afterwards.
    const bool writing = std::any_of(units.begin(), units.end(),
                                     [](const auto &unit) { return unit->writing && !unit->done; });
    if (!writing) {
        interrupted = true;
        for (auto &unit : units) {
            if (!station)
                stopUnit(*unit);
        }
        if (loop)
            loop->quit();
        return;
    }
    if (confirmed
        || (sinceFirstInterrupt.isValid() && sinceFirstInterrupt.elapsed() <= confirmWindowMs)) {
        out.error(out.text(LanguageConfig::textInterruptStopping));
        interrupted = true;
        for (auto &unit : units)
            stopUnit(*unit);
        if (station && loop)
            loop->quit();
        return;
    }
    out.error(out.text(LanguageConfig::textInterruptHint));
    sinceFirstInterrupt.start();
}
