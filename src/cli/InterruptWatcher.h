#pragma once

#include <QObject>

class QSocketNotifier;

// Turns Ctrl+C (SIGINT) into a signal on the main thread, so that the command decides what an
// interrupt means: before the first block it stops at once, while blocks are written it asks twice.
class InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

signals:
    void interrupted();

private:
    void drain();

    QSocketNotifier *notifier = nullptr;
};
