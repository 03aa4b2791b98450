#include "SimDevice.h"

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
    , path("sim-hid:" + std::to_string(id))
    , options(options)
{
}

void SimDevice::receive(const uint8_t *report, std::size_t length,
                        std::chrono::milliseconds ackDelay)
{
    writes.append(QByteArray(reinterpret_cast<const char *>(report), int(length)));
    if (length != 65 || report[0] != 0x00) {
        errors << QStringLiteral("report of %1 bytes with ID %2").arg(length).arg(report[0]);
        return;
    }
    const uint8_t *body = report + 1;
    // Data reports carry raw image bytes, which may look like anything, even a frame.
    if (dataReportsLeft > 0) {
        blockData.append(reinterpret_cast<const char *>(body), 64);
        if (--dataReportsLeft == 0)
            completeBlock(ackDelay);
        return;
    }
    if (sum(body, 64) == 0)
        return; // the all-zero report that opens an update
    receiveFrame(body, ackDelay);
}

void SimDevice::receiveFrame(const uint8_t *body, std::chrono::milliseconds ackDelay)
{
    if (body[0] != 0xAA || body[1] != 0x55) {
        errors << QStringLiteral("report without frame header outside a block");
        return;
    }
    if (sum(body, 60) != bigEndian(body + 60)) {
        errors << QStringLiteral("frame 0x%1 with a wrong checksum").arg(body[2], 2, 16);
        return;
    }
    const uint8_t command = body[2];
    if (command == 0xA0) {
        ++identityRequests;
        if (options.answersIdentity)
            queue(simFrame(0xA1, options.identity.leftJustified(32, '\0', true)), ackDelay);
    } else if (command == 0x00) {
        reply(SimHid::Stage::Start, 0, 0x01, ackDelay);
    } else if (command == 0x02) {
        prepared = true;
        expectedBlock = 0;
        image.clear();
        reply(SimHid::Stage::Prepare, 0, 0x03, ackDelay);
    } else if (command == 0x08) {
        beginBlock(command, bigEndian(body + 3), bigEndian(body + 7));
    } else if ((command & 0x0F) == 0x04) {
        beginBlock(command, body[3] | (uint32_t(command & 0xF0) << 4), bigEndian(body + 4));
    } else {
        errors << QStringLiteral("unknown command 0x%1").arg(command, 2, 16);
    }
}

void SimDevice::beginBlock(uint8_t command, uint32_t index, uint32_t checksum)
{
    if (!prepared)
        errors << QStringLiteral("block %1 before the prepare command").arg(index);
    if (index != expectedBlock)
        errors << QStringLiteral("block %1 where %2 was due").arg(index).arg(expectedBlock);
    SimHid::BlockHeader header;
    header.command = command;
    header.index = index;
    header.checksum = checksum;
    headers.append(header);
    dataReportsLeft = 16;
    blockData.clear();
}

void SimDevice::completeBlock(std::chrono::milliseconds ackDelay)
{
    SimHid::BlockHeader &header = headers.last();
    const auto *bytes = reinterpret_cast<const uint8_t *>(blockData.constData());
    header.checksumMatches = sum(bytes, 1024) == header.checksum;
    if (!header.checksumMatches)
        errors << QStringLiteral("block %1 with a wrong checksum").arg(header.index);
    const int offset = int(header.index) * 1024;
    if (image.size() < offset + 1024)
        image.resize(offset + 1024);
    image.replace(offset, 1024, blockData);
    expectedBlock = header.index + 1;
    if (detachAfter == header.index) {
        detachNow = true;
        return;
    }
    reply(SimHid::Stage::Block, header.index, 0x09, ackDelay);
}

void SimDevice::reply(SimHid::Stage stage, uint32_t block, uint8_t code,
                      std::chrono::milliseconds ackDelay)
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
    queue(body, ackDelay);
}

void SimDevice::queue(const Body &body, std::chrono::milliseconds delay)
{
    replies.push_back({body, Clock::now() + delay});
}
