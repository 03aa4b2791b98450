// The update sequence of the engine: one step per pass, so that the presence poll and the reply
// reader keep running between the steps.
#include "MainTask.h"

#include "DeviceFrame.h"
#include "DeviceLog.h"

#include <cstring>

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
        return fail();
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
    if (!device) {
        emit sig_OutoutMsgToBackend(MessageId::ConnectDeviceFirst);
        return false;
    }
    if (filePath.isEmpty()) {
        emit sig_OutoutMsgToBackend(MessageId::OpenFileFirst);
        return false;
    }
    step = openImage;
    return true;
}

bool MainTask::stepOpenImage()
{
    if (!image.open(filePath)) {
        qCWarning(lcDevice) << "cannot open the image" << filePath;
        emit sig_OutoutMsgToBackend(MessageId::OpenFileFailed);
        return false;
    }
    image.measure();
    // An empty image would go out as one block of fill and be reported as a success; a legacy
    // header addresses only 4096 blocks, so a larger image would overwrite the device's first ones.
    if (image.imageSize() == 0)
        return refuse(MessageId::FileSizeInvalid);
    if (!isV20Device && image.blockCount() > legacyMaxBlocks)
        return refuse(MessageId::FileSizeInvalid);
    step = sendZeroReport;
    return true;
}

bool MainTask::refuse(int message)
{
    qCWarning(lcDevice) << "refusing an image of" << image.imageSize() << "bytes for a"
                        << (isV20Device ? "V20" : "legacy") << "device";
    image.close();
    emit sig_OutoutMsgToBackend(message);
    return false;
}

bool MainTask::stepSendZeroReport()
{
    std::memset(outReport, 0, sizeof outReport);
    if (!writeOutReport(QStringLiteral("sending the all-zero report")))
        return fail();
    settlePasses = 0;
    step = settle;
    return true;
}

bool MainTask::stepSendCommand(uint8_t command, bool &ack, uint32_t next)
{
    BuildFrame(command, nullptr, 0, outReport);
    if (!writeOutReport(QStringLiteral("sending command 0x%1").arg(command, 2, 16, QChar('0'))))
        return fail();
    ack = false;
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
    return fail();
}

bool MainTask::stepSendBlock()
{
    const FirmwareImage::Block block = image.nextBlock();
    uint8_t payload[8];
    if (isV20Device) {
        DeviceFrame::putBigEndian(blockIndex, payload);
        DeviceFrame::putBigEndian(block.checksum, payload + 4);
        BuildFrame(DeviceFrame::cmdV20Block, payload, 8, outReport);
    } else {
        payload[0] = uint8_t(blockIndex);
        DeviceFrame::putBigEndian(block.checksum, payload + 1);
        BuildFrame(DeviceFrame::legacyBlockCommand(blockIndex, image.blockCount()), payload, 5,
                   outReport);
    }
    const QString what = QStringLiteral("sending block %1").arg(blockIndex);
    if (!writeOutReport(what))
        return fail();
    // The 16 data reports follow the header back to back; only then is the device's reply awaited.
    for (std::size_t r = 0; r < reportsPerBlock; ++r) {
        outReport[0] = 0x00;
        std::memcpy(outReport + 1, block.bytes.data() + r * DeviceFrame::bodySize,
                    DeviceFrame::bodySize);
        if (!writeOutReport(what))
            return fail();
    }
    ++blockIndex;
    ackWaitPasses = 0;
    ackBlock = false;
    step = awaitBlock;
    return true;
}

bool MainTask::stepAwaitBlock()
{
    if (!ackBlock)
        return waitForAck("a block");
    emit sig_ChangeProgressValue(int(double(blockIndex) / double(image.blockCount()) * 100.0));
    step = blockIndex < image.blockCount() ? sendBlock : finish;
    return true;
}

bool MainTask::stepFinish()
{
    image.close();
    updateRequested = false;
    emit sig_OutoutMsgToBackend(MessageId::UpdateOk);
    return true;
}

bool MainTask::fail()
{
    image.close();
    emit sig_OutoutMsgToBackend(MessageId::UpdateFailed);
    return false;
}
