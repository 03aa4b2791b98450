#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the ways a run is ended from outside into signals on the main thread, so that the program
// decides what they mean. Ctrl+C (SIGINT) is `interrupted`: before the first block the command
// line stops at once, while blocks are written it asks twice. The system ending the run (SIGTERM;
// SIGHUP when the terminal or ssh session goes, unless the run was started ignoring it, as nohup
// does; on Windows the console's close, logoff and shutdown events) is `terminated`: a confirmed
// stop, with the engine's pass finished and the locks and temporary folders removed. SIGPIPE is
// ignored: a terminal that went away makes writes fail, never the run end half-way.
class InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    // Ctrl+C is watched only where `watchCtrlC` (the command line); the window keeps its default.
    explicit InterruptWatcher(bool watchCtrlC, QObject *parent = nullptr);
    ~InterruptWatcher() override;

signals:
    void interrupted();
    void terminated();

private:
    void drain();

    QSocketNotifier *notifier = nullptr;
    bool watchCtrlC;
};
