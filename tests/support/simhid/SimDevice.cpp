#include "SimDevice.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t sum(const uint8_t *bytes, std::size_t count)
{
    uint32_t total = 0;
    for (std::size_t i = 0; i < count; ++i)
        total += bytes[i];
    return total;
}

uint32_t bigEndian(const uint8_t *in)
{
    return (uint32_t(in[0]) << 24) | (uint32_t(in[1]) << 16) | (uint32_t(in[2]) << 8)
        | uint32_t(in[3]);
}

void setChecksum(SimDevice::Body &body, uint32_t value)
{
    body[60] = uint8_t(value >> 24);
    body[61] = uint8_t(value >> 16);
    body[62] = uint8_t(value >> 8);
    body[63] = uint8_t(value);
}

} // namespace

SimDevice::Body simFrame(uint8_t code, const QByteArray &payload)
{
    SimDevice::Body body {};
    body[0] = 0xAA;
    body[1] = 0x55;
    body[2] = code;
    std::memcpy(body.data() + 3, payload.constData(), std::min<std::size_t>(payload.size(), 57));
    setChecksum(body, sum(body.data(), 60));
    return body;
}

SimDevice::SimDevice(int id, const SimHid::DeviceOptions &options)
    : id(id)
    , path(options.path.isEmpty() ? "sim-hid:" + std::to_string(id) : options.path.toStdString())
    , options(options)
{
}

void SimDevice::receive(const uint8_t *report, std::size_t length, Clock::time_point replyAt)
{
    if (options.keepsHistory)
        writes.append(QByteArray(reinterpret_cast<const char *>(report), int(length)));
    if (writesUntilDetach > 0 && --writesUntilDetach == 0)
        detachNow = true;
    if (length != 65 || report[0] != 0x00) {
        error(QStringLiteral("report of %1 bytes with ID %2").arg(length).arg(report[0]));
        return;
    }
    const uint8_t *body = report + 1;
    // Data reports carry raw image bytes, which may look like anything, even a frame.
    if (dataReportsLeft > 0) {
        blockData.append(reinterpret_cast<const char *>(body), 64);
        if (--dataReportsLeft == 0)
            completeBlock(replyAt);
    } else if (sum(body, 64) != 0) {
        receiveFrame(body, replyAt); // anything but the all-zero report that opens an update
    }
    std::copy_n(body, previous.size(), previous.begin());
}

void SimDevice::error(const QString &text)
{
    // Bounded, so that a long faulty run cannot grow without limit.
    if (errors.size() < 100)
        errors << text;
}

void SimDevice::receiveFrame(const uint8_t *body, Clock::time_point replyAt)
{
    if (body[0] != 0xAA || body[1] != 0x55) {
        error(QStringLiteral("report without frame header outside a block"));
        return;
    }
    if (sum(body, 60) != bigEndian(body + 60)) {
        error(QStringLiteral("frame 0x%1 with a wrong checksum").arg(body[2], 2, 16));
        return;
    }
    const uint8_t command = body[2];
    if (command == 0xA0) {
        ++identityRequests;
        if (options.answersIdentity)
            queue(simFrame(0xA1, options.identity.leftJustified(32, '\0', true)), replyAt);
    } else if (command == 0x00) {
        checkZeroTail(body);
        reply(SimHid::Stage::Start, 0, 0x01, replyAt);
    } else if (command == 0x02) {
        checkZeroTail(body);
        prepared = true;
        expectedBlock = 0;
        image.clear();
        digest.reset();
        blocksReceived = 0;
        reply(SimHid::Stage::Prepare, 0, 0x03, replyAt);
    } else if (command == 0x08) {
        beginBlock(body, bigEndian(body + 3), bigEndian(body + 7), 11);
    } else if ((command & 0x0F) == 0x04) {
        beginBlock(body, body[3] | (uint32_t(command & 0xF0) << 4), bigEndian(body + 4), 8);
    } else {
        error(QStringLiteral("unknown command 0x%1").arg(command, 2, 16));
    }
}

// The start and prepare commands follow the all-zero report, so nothing but zeros may stand
// between their code and their checksum.
void SimDevice::checkZeroTail(const uint8_t *body)
{
    if (std::any_of(body + 3, body + 60, [](uint8_t b) { return b != 0; }))
        error(QStringLiteral("command 0x%1 with bytes after its code").arg(body[2], 2, 16));
}

void SimDevice::beginBlock(const uint8_t *body, uint32_t index, uint32_t checksum, std::size_t tail)
{
    if (!prepared)
        error(QStringLiteral("block %1 before the prepare command").arg(index));
    if (index != expectedBlock)
        error(QStringLiteral("block %1 where %2 was due").arg(index).arg(expectedBlock));
    // A header sets only its code and payload; the rest of the report is what the report before
    // it left there, covered by the frame's checksum.
    if (!std::equal(body + tail, body + 60, previous.begin() + tail))
        error(QStringLiteral("header of block %1 with tail bytes not left by the report before")
                  .arg(index));
    current = SimHid::BlockHeader();
    current.command = body[2];
    current.index = index;
    current.checksum = checksum;
    if (options.keepsHistory)
        headers.append(current);
    dataReportsLeft = 16;
    blockData.clear();
}

void SimDevice::completeBlock(Clock::time_point replyAt)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(blockData.constData());
    current.checksumMatches = sum(bytes, 1024) == current.checksum;
    if (options.keepsHistory)
        headers.last().checksumMatches = current.checksumMatches;
    if (!current.checksumMatches)
        error(QStringLiteral("block %1 with a wrong checksum").arg(current.index));
    if (options.keepsHistory) {
        const int offset = int(current.index) * 1024;
        if (image.size() < offset + 1024)
            image.resize(offset + 1024);
        image.replace(offset, 1024, blockData);
    }
    digest.addData(blockData);
    ++blocksReceived;
    expectedBlock = current.index + 1;
    if (detachAfter == current.index) {
        detachNow = true;
        return;
    }
    reply(SimHid::Stage::Block, current.index, 0x09, replyAt);
}

void SimDevice::reply(SimHid::Stage stage, uint32_t block, uint8_t code, Clock::time_point replyAt)
{
    const auto key = std::make_pair(stage, block);
    if (withheld.erase(key))
        return;
    Body body = simFrame(code, QByteArray(1, '\0'));
    const auto corruption = corrupted.find(key);
    if (corruption != corrupted.end()) {
        if (corruption->second == SimHid::Corruption::BadHeader)
            std::swap(body[0], body[1]);
        else
            ++body[63];
        corrupted.erase(corruption);
    }
    queue(body, replyAt);
    if (options.repliesTwice)
        queue(body, replyAt);
}

void SimDevice::queue(const Body &body, Clock::time_point ready)
{
    replies.push_back({body, ready, body.size()});
}
