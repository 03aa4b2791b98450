#pragma once

#include "FirmwareImage.h"
#include "MessageId.h"
#include "UpdateFailure.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

typedef struct hid_device_ hid_device;
struct hid_device_info;
class AccessoryLocks;

// The device update engine. It lives on its own worker thread and counts time in passes of its
// loop: each pass polls for the device, runs one step of an update when one is requested, and then
// waits out the rest of its slot reading the device's replies and taking the controller's queued
// calls. Nothing here runs concurrently with anything else here, so no state needs a lock.
class MainTask : public QObject
{
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    MainTask();
    // Closes the device if it is open.
    ~MainTask() override;

    // One complete pass, run synchronously on the calling thread: its work (RunPassWork), then its
    // wait, in which replies are read and queued calls to the engine are delivered. The wait lasts
    // the pass slot, or ends as soon as the next update step can act at once (an awaited reply has
    // come, or a step has moved the update on), so waiting steps still count time in whole slots.
    // The worker loop is this pass in a loop; tests and fuzz drivers call it directly.
    void RunOnePass();
    // One pass's work without its wait: the presence poll, then one update step while an update
    // is requested.
    void RunPassWork();
    // Presence poll; does its work on every 20th call.
    void PollDevice();
    void RequestDeviceId();
    void BuildFrame(uint8_t command, const uint8_t *payload, uint8_t length, uint8_t *buffer);
    // Runs the current update step once; false when the update has ended with a failure.
    bool UpdateStep();
    // Reads and dispatches at most one input report that has already arrived; never waits.
    void ReadReply();

    bool isUpdateRequested() const { return updateRequested; }
    bool deviceIsOpen() const { return device != nullptr; }
    bool deviceIsV20() const { return isV20Device; }
    // The loop sleeps this long before its first pass; tests shorten it.
    void setStartDelay(int milliseconds) { startDelayMs = milliseconds; }
    // The shortest a pass that waits lasts: 1 ms. Every wait of the link and the update is a count
    // of passes; a slot of zero lets a test run such counts without their wall-clock time.
    void setPassSlot(std::chrono::microseconds slot) { passSlot = slot; }
    // Only the accessory at this enumeration path is opened; empty (the default) for the first one
    // in enumeration order that can be claimed and opened. Set before the loop starts.
    void setTargetPath(const std::string &path) { targetPath = path; }
    // Asked before an accessory is opened (false: another copy has it, it is passed over) and told
    // when it is closed; both on the engine's thread. Set before the loop starts.
    void setDeviceClaim(std::function<bool(const std::string &)> claim,
                        std::function<void(const std::string &)> release)
    {
        claimDevice = std::move(claim);
        releaseDevice = std::move(release);
    }
    // The window's engine: it reports the accessories present (looked at under these locks) and
    // opens only the one SetTarget names, never one of its own choosing. Set before the loop.
    void setAccessoryLocks(AccessoryLocks *locks) { accessoryLocks = locks; }
    QString openDevicePath() const { return QString::fromStdString(openPath); }
    // Passes run so far; readable from any thread, for tests and measurements.
    quint64 passCount() const { return passes.load(std::memory_order_relaxed); }

signals:
    void StartTask();
    void sig_ChangeUsbConnectStatus(bool status);
    void sig_ChangeProgressValue(int value);
    void sig_OutoutMsgToBackend(int id);
    void sig_ReceiveV20DeviceID(QString str);
    // True when an update has passed its checks (device connected, image opened and accepted),
    // before its first write; false when that update ends, for any reason, after its last message.
    void sig_UpdateState(bool running);
    // The accessory just opened, when `present` (more than one) matching ones are plugged in.
    void sig_DeviceChosen(QString path, int present);
    // Why the update that is ending failed and where; sent once, just before its failure message
    // (8, or 2 when the image could not be read), only for an update that began writing.
    void sig_UpdateFailure(UpdateFailure failure);
    // The SHA-256 (hex) and size of the private copy an update writes from, taken before its first
    // write; matches is false when an expected digest was set and differs (nothing is written).
    void sig_ImageDigest(QString sha256, qint64 size, bool matches);
    // With accessory locks: the accessories present, in enumeration order, each a map of "path",
    // "serial", "identity", "kind" ("V20", "legacy", "?") and "busy" (another copy holds it).
    // Sent when the set of enumerated paths changes, never while an update is requested.
    void sig_AccessoriesPresent(QVariantList accessories);
    // The path of the accessory the engine has just opened; empty once it is closed.
    void sig_AccessoryOpened(QString path);

public slots:
    void SendDataLooper();
    void SetFilePath(QString path);
    // Later updates refuse an image whose SHA-256 is not this (hex); empty: any image.
    void SetExpectedSha256(QString sha256);
    void StartUpdate();
    // The accessory to use from now on; empty for none. An open one that is not it is closed
    // once no update is requested.
    void SetTarget(QString path);

private:
    void pollOpenDevice(const hid_device_info *list);
    void pollClosedDevice(const hid_device_info *list);
    bool pathEnumerated(const hid_device_info *list, const std::string &path) const;
    bool tryOpen(const char *path, int present);
    void closeDevice();
    void reportAccessories(const hid_device_info *list);
    void noteTargetBusy(const std::string &path);
    void reportRefusedOpen();
    bool writeOutReport(const QString &what);
    // Reads one report, waiting until `deadline` at most; 0 nothing, 1 a report, -1 a read error.
    int readReplyUntil(Clock::time_point deadline);
    void dispatchReply(int length);
    void discardArrivedReplies();
    void waitForPassEnd(Clock::time_point deadline);
    bool nextStepReady() const;

    bool stepCheckRequest();
    bool stepSendZeroReport();
    bool stepOpenImage();
    bool stepSendCommand(uint8_t command, bool &ack, uint32_t next);
    bool stepAwait(bool ack, uint32_t next);
    bool waitForAck(const char *what);
    bool stepSendBlock();
    bool stepAwaitBlock();
    bool stepFinish();
    bool fail(const UpdateFailure &failure);
    UpdateFailure failureAt(UpdateFailure::Kind kind, uint32_t block) const;
    UpdateFailure lossAt() const;
    UpdateFailure writeFailure(UpdateFailure::Kind kind) const;
    bool refuse(int message);
    bool imageSnapshotTaken();
    void endUpdate();

    QString filePath;
    QString expectedSha256;
    bool updateRequested = false;
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
    std::string targetPath;
    std::function<bool(const std::string &)> claimDevice;
    std::function<void(const std::string &)> releaseDevice;
    AccessoryLocks *accessoryLocks = nullptr;
    std::set<std::string> enumeratedPaths; // as last reported to the window
    bool accessoriesPending = false; // the set changed while an update was requested
    std::map<std::string, QString> knownIdentities; // by path; null for a legacy accessory
    std::string busyTarget; // the window's accessory, found held by another copy
    std::set<std::string> refusedPaths; // matching devices that could not be opened, reported
    uint32_t pollCounter = 0;
    bool reportedConnected = false;
    FirmwareImage image;
    bool updateV20 = false; // the device's kind, fixed when the update starts
    bool updateRunning = false; // sig_UpdateState(true) sent and not yet ended
    uint32_t blockIndex = 0;
    uint32_t ackWaitPasses = 0;
    uint32_t settlePasses = 0;
    int startDelayMs = 1000;
    std::chrono::microseconds passSlot {1000};
    std::atomic<quint64> passes {0};
};
