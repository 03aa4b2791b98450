#pragma once

#include <QObject>
#include <QString>

// Placeholder engine: the worker loop's shape (passes, interruption) without the device work.
class MainTask : public QObject
{
    Q_OBJECT
public:
    MainTask();
    ~MainTask() override;

signals:
    void StartTask();
    void sig_ChangeUsbConnectStatus(bool status);
    void sig_ChangeProgressValue(int value);
    void sig_OutoutMsgToBackend(int id);
    void sig_ReceiveV20DeviceID(QString str);

public slots:
    void SendDataLooper();
    void SetFilePath(QString path);
    void StartUpdate();

private:
    QString filePath;
    bool updateRequested = false;
};
