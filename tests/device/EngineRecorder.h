#pragma once

#include "MainTask.h"

#include <QObject>
#include <QStringList>
#include <QtTest>

// Records what an engine reports, in order, as short strings: "usb:1", "msg:4", "progress:33",
// "id:*"; the running state of updates separately, as "state:1" and "state:0". It lives on the
// test's thread, so reports of an engine on a worker thread arrive queued.
class EngineRecorder : public QObject
{
    Q_OBJECT
public:
    explicit EngineRecorder(MainTask *task)
    {
        connect(task, &MainTask::sig_ChangeUsbConnectStatus, this,
                [this](bool on) { record(QStringLiteral("usb:%1").arg(on ? 1 : 0)); });
        connect(task, &MainTask::sig_OutoutMsgToBackend, this,
                [this](int id) { record(QStringLiteral("msg:%1").arg(id)); });
        connect(task, &MainTask::sig_ChangeProgressValue, this,
                [this](int value) { record(QStringLiteral("progress:%1").arg(value)); });
        connect(task, &MainTask::sig_ReceiveV20DeviceID, this,
                [this](const QString &id) { record(QStringLiteral("id:") + id); });
        connect(task, &MainTask::sig_UpdateFailure, this, [this](const UpdateFailure &failure) {
            failures << failureEvent(failure.kind, failure.block, failure.blocks);
        });
        connect(task, &MainTask::sig_UpdateState, this, [this](bool running) {
            states << QStringLiteral("state:%1").arg(int(running));
            emit recorded();
        });
    }

    // Events of one kind, in order: filtered("progress") gives {"progress:0", ...}.
    QStringList filtered(const QString &kind) const
    {
        return events.filter(QRegularExpression(QLatin1Char('^') + kind + QLatin1Char(':')));
    }

    // Processes events until `event` has been recorded; false after the time-out, which only
    // guards against a hang.
    bool waitFor(const QString &event, int timeoutMs = 30000)
    {
        return waitUntil([&] { return events.contains(event); }, timeoutMs);
    }

    // Processes events until `done()` holds, looking again at each report as it comes rather
    // than at fixed intervals; false after the time-out.
    template<typename Done> bool waitUntil(Done done, int timeoutMs = 30000)
    {
        if (done())
            return true;
        QEventLoop loop;
        connect(this, &EngineRecorder::recorded, &loop, [&] {
            if (done())
                loop.quit();
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return done();
    }

    void clear()
    {
        events.clear();
        states.clear();
        failures.clear();
    }

    // A failure reason as the recorder keeps it: "<kind> <block>/<blocks>".
    static QString failureEvent(UpdateFailure::Kind kind, int block, int blocks)
    {
        return QStringLiteral("%1 %2/%3").arg(int(kind)).arg(block).arg(blocks);
    }

    QStringList events;
    QStringList states;
    QStringList failures; // sent just before their failure message, so complete by then

signals:
    void recorded();

private:
    void record(const QString &event)
    {
        events << event;
        emit recorded();
    }
};
