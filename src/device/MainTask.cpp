#include "MainTask.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

MainTask::MainTask() : QObject(nullptr)
{
    connect(this, &MainTask::StartTask, this, &MainTask::SendDataLooper);
}

MainTask::~MainTask() = default;

void MainTask::SendDataLooper()
{
    QThread::msleep(1000);
    for (;;) {
        QEventLoop pass;
        QTimer::singleShot(1, &pass, &QEventLoop::quit);
        pass.exec();
        if (QThread::currentThread()->isInterruptionRequested())
            break;
    }
}

void MainTask::SetFilePath(QString path) { filePath = path; }

void MainTask::StartUpdate() { updateRequested = true; }
