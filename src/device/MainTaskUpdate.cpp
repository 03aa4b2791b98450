// The update sequence of the engine: one step per pass, so that the presence poll and the reply
// reader keep running between the steps.
#include "MainTask.h"

#include "DeviceFrame.h"
#include "DeviceLog.h"
#include "Percent.h"

#include <cstring>

#include <hidapi.h>

namespace {
constexpr uint32_t settleTime = 10; // passes after the all-zero report
constexpr uint32_t ackTimeout = 5000; // passes a command or block may wait for its reply
constexpr std::size_t reportsPerBlock = FirmwareImage::blockSize / DeviceFrame::bodySize;

enum Step : uint32_t {
    checkRequest,
    openImage,
    sendZeroReport,
    settle,
    sendStart,
    awaitStart,
    sendPrepare,
    awaitPrepare,
    sendBlock,
    awaitBlock,
    finish,
};
} // namespace

bool MainTask::UpdateStep()
{
    // Nothing is ever written without a device: losing it anywhere between the first check and the
    // last acknowledgement ends the update as a failed write.
    if (step > checkRequest && step < finish && !device) {
        qCWarning(lcDevice) << "the device was lost during the update";
        return fail(lossAt());
    }
    switch (step) {
    case checkRequest:
        return stepCheckRequest();
    case openImage:
        return stepOpenImage();
    case sendZeroReport:
        return stepSendZeroReport();
    case settle:
        if (++settlePasses >= settleTime)
            step = sendStart;
        return true;
    case sendStart:
        return stepSendCommand(DeviceFrame::cmdStart, ackStart, awaitStart);
    case awaitStart:
        return stepAwait(ackStart, sendPrepare);
    case sendPrepare:
        return stepSendCommand(DeviceFrame::cmdPrepare, ackPrepare, awaitPrepare);
    case awaitPrepare:
        if (ackPrepare) {
            blockIndex = 0;
            image.restart();
        }
        return stepAwait(ackPrepare, sendBlock);
    case sendBlock:
        return stepSendBlock();
    case awaitBlock:
        return stepAwaitBlock();
    default:
        return stepFinish();
    }
}

bool MainTask::stepCheckRequest()
{
    emit sig_ChangeProgressValue(0);
    // Only a device whose connection has been reported has had its chance to answer the identity
    // request, so only then is its kind known; it stays fixed for the whole update.
    if (!device || !reportedConnected) {
        emit sig_OutoutMsgToBackend(MessageId::ConnectDeviceFirst);
        return false;
    }
    if (filePath.isEmpty()) {
        emit sig_OutoutMsgToBackend(MessageId::OpenFileFirst);
        return false;
    }
    updateV20 = isV20Device;
    step = openImage;
    return true;
}

bool MainTask::stepOpenImage()
{
    if (!image.snapshotting()) {
        if (!image.open(filePath)) {
            qCWarning(lcDevice) << "cannot open the image" << filePath;
            emit sig_OutoutMsgToBackend(MessageId::OpenFileFailed);
            return false;
        }
        image.measure();
        // An empty image would go out as one block of fill and be reported as a success; an image
        // with more blocks than the header's index addresses would overwrite the device's first.
        if (!FirmwareImage::fits(image.imageSize(), updateV20))
            return refuse(MessageId::FileSizeInvalid);
        image.beginSnapshot();
    }
    if (!imageSnapshotTaken())
        return image.snapshotting();
    updateRunning = true;
    emit sig_UpdateState(true);
    step = sendZeroReport;
    return true;
}

bool MainTask::refuse(int message)
{
    qCWarning(lcDevice) << "refusing an image of" << image.imageSize() << "bytes for a"
                        << (updateV20 ? "V20" : "legacy") << "device";
    image.close();
    emit sig_OutoutMsgToBackend(message);
    return false;
}

bool MainTask::stepSendZeroReport()
{
    std::memset(outReport, 0, sizeof outReport);
    if (!writeOutReport(QStringLiteral("sending the all-zero report")))
        return fail(writeFailure(UpdateFailure::CommandWriteFailed));
    settlePasses = 0;
    step = settle;
    return true;
}

bool MainTask::stepSendCommand(uint8_t command, bool &ack, uint32_t next)
{
    discardArrivedReplies();
    ack = false;
    BuildFrame(command, nullptr, 0, outReport);
    if (!writeOutReport(QStringLiteral("sending command 0x%1").arg(command, 2, 16, QChar('0'))))
        return fail(writeFailure(UpdateFailure::CommandWriteFailed));
    ackWaitPasses = 0;
    step = next;
    return true;
}

bool MainTask::stepAwait(bool ack, uint32_t next)
{
    if (ack)
        step = next;
    // The pass that sees the reply still counts toward the wait.
    return waitForAck("a preparation command");
}

bool MainTask::waitForAck(const char *what)
{
    if (++ackWaitPasses <= ackTimeout)
        return true;
    qCWarning(lcDevice, "no reply to %s within %u passes", what, unsigned(ackTimeout));
    // The block counted from 1 that went out last is the one whose reply did not come.
    return fail(step == awaitStart         ? failureAt(UpdateFailure::NoStartAck, 0)
                    : step == awaitPrepare ? failureAt(UpdateFailure::NoPrepareAck, 0)
                                           : failureAt(UpdateFailure::NoBlockAck, blockIndex));
}

bool MainTask::stepSendBlock()
{
    const FirmwareImage::Block block = image.nextBlock();
    if (!block.complete) {
        // Sending what the file no longer holds would report a damaged image as a success.
        qCWarning(lcDevice) << "the image" << filePath << "could not be read in full at block"
                            << blockIndex;
        image.close();
        emit sig_UpdateFailure(failureAt(UpdateFailure::ImageUnreadable, blockIndex + 1));
        emit sig_OutoutMsgToBackend(MessageId::ReadFileFailed);
        endUpdate();
        return false;
    }
    discardArrivedReplies();
    ackBlock = false;
    uint8_t payload[8];
    if (updateV20) {
        DeviceFrame::putBigEndian(blockIndex, payload);
        DeviceFrame::putBigEndian(block.checksum, payload + 4);
        BuildFrame(DeviceFrame::cmdV20Block, payload, 8, outReport);
    } else {
        payload[0] = uint8_t(blockIndex);
        DeviceFrame::putBigEndian(block.checksum, payload + 1);
        BuildFrame(DeviceFrame::legacyBlockCommand(blockIndex, uint32_t(image.blockCount())),
                   payload, 5, outReport);
    }
    const QString what = QStringLiteral("sending block %1").arg(blockIndex);
    if (!writeOutReport(what))
        return fail(writeFailure(UpdateFailure::BlockWriteFailed));
    // The 16 data reports follow the header back to back; only then is the device's reply awaited.
    for (std::size_t r = 0; r < reportsPerBlock; ++r) {
        outReport[0] = 0x00;
        std::memcpy(outReport + 1, block.bytes.data() + r * DeviceFrame::bodySize,
                    DeviceFrame::bodySize);
        if (!writeOutReport(what))
            return fail(writeFailure(UpdateFailure::BlockWriteFailed));
    }
    ++blockIndex;
    ackWaitPasses = 0;
    step = awaitBlock;
    return true;
}

bool MainTask::stepAwaitBlock()
{
    if (!ackBlock)
        return waitForAck("a block");
    emit sig_ChangeProgressValue(percentOf(qint64(blockIndex), qint64(image.blockCount())));
    step = blockIndex < image.blockCount() ? sendBlock : finish;
    return true;
}

bool MainTask::stepFinish()
{
    image.close();
    updateRequested = false;
    emit sig_OutoutMsgToBackend(MessageId::UpdateOk);
    endUpdate();
    return true;
}

bool MainTask::fail(const UpdateFailure &failure)
{
    image.close();
    if (updateRunning)
        emit sig_UpdateFailure(failure);
    emit sig_OutoutMsgToBackend(MessageId::UpdateFailed);
    endUpdate();
    return false;
}

// Blocks are counted from 1 for people: while a block is being sent `blockIndex` is its index from
// 0, once it has gone out it is its number from 1.
UpdateFailure MainTask::failureAt(UpdateFailure::Kind kind, uint32_t block) const
{
    UpdateFailure failure;
    failure.kind = kind;
    failure.block = int(block);
    failure.blocks = int(image.blockCount());
    return failure;
}

UpdateFailure MainTask::lossAt() const
{
    if (step <= awaitPrepare)
        return failureAt(UpdateFailure::UnpluggedBeforeBlocks, 0);
    return failureAt(UpdateFailure::UnpluggedDuringBlock,
                     step == sendBlock ? blockIndex + 1 : blockIndex);
}

// A write fails both when the accessory refuses it and when it has just been pulled out; only a
// fresh enumeration tells the two apart, before the presence poll has noticed.
UpdateFailure MainTask::writeFailure(UpdateFailure::Kind kind) const
{
    hid_device_info *list = hid_enumerate(DeviceFrame::vendorId, DeviceFrame::productId);
    const bool present = device && pathEnumerated(list, openPath);
    hid_free_enumeration(list);
    if (!present)
        return lossAt();
    return kind == UpdateFailure::BlockWriteFailed ? failureAt(kind, blockIndex + 1)
                                                   : failureAt(kind, 0);
}

void MainTask::endUpdate()
{
    if (!updateRunning)
        return;
    updateRunning = false;
    emit sig_UpdateState(false);
}

// Whether the next pass's step acts at once, so that this pass need not wait out its slot. The
// steps that count passes (settling, awaiting a reply) wait, unless their reply is already here.
bool MainTask::nextStepReady() const
{
    if (!updateRequested)
        return false;
    switch (step) {
    case settle:
        return false;
    case awaitStart:
        return ackStart;
    case awaitPrepare:
        return ackPrepare;
    case awaitBlock:
        return ackBlock;
    default:
        return true;
    }
}
