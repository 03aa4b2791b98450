#pragma once

#include "FirmwareImage.h"
#include "MessageId.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

typedef struct hid_device_ hid_device;

// The device update engine. It lives on its own worker thread and counts time in passes of its
// loop: each pass polls for the device, runs one step of an update when one is requested, and then
// lets the engine's 1 ms timer read replies and the controller's queued calls arrive. Nothing here
// runs concurrently with anything else here, so no state needs a lock.
class MainTask : public QObject
{
    Q_OBJECT
public:
    MainTask();
    ~MainTask() override;

    // One pass's work without its wait: the presence poll, then one update step while an update
    // is requested. The worker loop calls it; tests drive passes with it directly.
    void RunPassWork();
    // Presence poll; does its work on every 20th call.
    void PollDevice();
    void RequestDeviceId();
    void BuildFrame(uint8_t command, const uint8_t *payload, uint8_t length, uint8_t *buffer);
    // Runs the current update step once; false when the update has ended with a failure.
    bool UpdateStep();
    // Reads and dispatches at most one input report: what each tick of the engine's timer does.
    void ReadReply();

    bool isUpdateRequested() const { return updateRequested; }
    bool deviceIsOpen() const { return device != nullptr; }
    bool deviceIsV20() const { return isV20Device; }
    // The loop sleeps this long before its first pass; tests shorten it.
    void setStartDelay(int milliseconds) { startDelayMs = milliseconds; }
    // Passes the loop has run; readable from any thread, for measurements.
    quint64 passCount() const { return passes.load(std::memory_order_relaxed); }

    // Largest image a legacy block header can address: 12 bits of block index.
    static constexpr uint32_t legacyMaxBlocks = 4096;

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

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void pollOpenDevice();
    void pollClosedDevice();
    bool openPathEnumerated() const;
    bool writeOutReport(const QString &what);

    bool stepCheckRequest();
    bool stepSendZeroReport();
    bool stepOpenImage();
    bool stepSendCommand(uint8_t command, bool &ack, uint32_t next);
    bool stepAwait(bool ack, uint32_t next);
    bool waitForAck(const char *what);
    bool stepSendBlock();
    bool stepAwaitBlock();
    bool stepFinish();
    bool fail();
    bool refuse(int message);

    QString filePath;
    bool updateRequested = false;
    int timerId = 0;
    hid_device *device = nullptr;
    uint8_t outReport[65] = {};
    uint8_t inReport[65] = {};
    bool isV20Device = false;
    uint8_t deviceIdBytes[32] = {};
    QString deviceId;
    bool ackStart = false;
    bool ackPrepare = false;
    bool ackBlock = false;
    uint32_t step = 0;

    // Link and sequence state kept per engine, so that engines in one process stay independent.
    std::string openPath;
    uint32_t pollCounter = 0;
    bool reportedConnected = false;
    FirmwareImage image;
    uint32_t blockIndex = 0;
    uint32_t ackWaitPasses = 0;
    uint32_t settlePasses = 0;
    int startDelayMs = 1000;
    std::atomic<quint64> passes {0};
};
