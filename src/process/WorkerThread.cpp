#include "WorkerThread.h"

#include <QDeadlineTimer>
#include <QThread>

QThread workerThread;

void stopWorkerThread()
{
    workerThread.requestInterruption();
    workerThread.quit();
    workerThread.wait(QDeadlineTimer(QDeadlineTimer::Forever));
}
