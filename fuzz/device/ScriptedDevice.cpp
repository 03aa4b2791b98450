#include "ScriptedDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// FUZZ_TRACE=1 tells what the device and its link did with each report, to read a failing input.
const bool tracing = std::getenv("FUZZ_TRACE") != nullptr;
#define TRACE(...)                                                                                 \
    do {                                                                                           \
        if (tracing)                                                                               \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
    } while (0)

// A reply that comes a second time after the next report went out passes for the acknowledgement
// of that report: acknowledgements carry no block number, and the engine does not compare their
// code with the command. Such late duplicates are scripted only with FUZZ_DEVICE_ALL_FAULTS=1;
// fuzz/findings/device/ holds an input where one makes a refused image pass for updated.
const bool allFaults = std::getenv("FUZZ_DEVICE_ALL_FAULTS") != nullptr;

constexpr int blockSize = 1024;
constexpr int dataReportsPerBlock = 16;

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

QByteArray frameBody(uint8_t code, const QByteArray &payload)
{
    QByteArray body(64, '\0');
    auto *b = reinterpret_cast<uint8_t *>(body.data());
    b[0] = 0xAA;
    b[1] = 0x55;
    b[2] = code;
    std::memcpy(b + 3, payload.constData(), size_t(std::min(payload.size(), 57)));
    const uint32_t total = sum(b, 60);
    for (int i = 0; i < 4; ++i)
        b[60 + i] = uint8_t(total >> (24 - 8 * i));
    return body;
}

} // namespace

ScriptedDevice &ScriptedDevice::instance()
{
    static ScriptedDevice device;
    return device;
}

void ScriptedDevice::reset(const Script &newScript, bool identity, uint64_t attachAtPass)
{
    *this = ScriptedDevice();
    script = newScript;
    answersIdentity = identity;
    attachAt = attachAtPass;
}

void ScriptedDevice::setPass(uint64_t pass)
{
    now = pass;
    if (!isAttached && attachAt != 0 && now >= attachAt)
        attach();
}

void ScriptedDevice::attach()
{
    // A device that comes back starts afresh: what it had half received is gone.
    isAttached = true;
    attachAt = 0;
    prepared = false;
    dataReportsLeft = 0;
    replies.clear();
}

void ScriptedDevice::detach(uint64_t passes)
{
    isAttached = false;
    replies.clear();
    attachAt = passes ? now + passes : 0;
}

bool ScriptedDevice::write(const uint8_t *report, std::size_t length)
{
    if (!isAttached)
        return false;
    if (length != 65 || report[0] != 0x00)
        return true; // taken by the link, not understood by the device
    const uint8_t *body = report + 1;
    if (dataReportsLeft > 0) {
        dataReport(body);
        return true;
    }
    // Only frames are scripted: a data report is one of sixteen that follow a header.
    const uint8_t fault = script.nextByte();
    TRACE("pass %llu: host writes frame 0x%02x, link fault %d\n", (unsigned long long)now, body[2],
          fault % 16);
    switch (fault % 16) {
    case 11:
        return false; // the write fails, the device sees nothing
    case 13:
        detach(uint64_t(fault >> 4) * 40);
        return false;
    default:
        break;
    }
    frame(body);
    if (fault % 16 == 12) {
        // A watchdog reset right after: the device forgets that it was prepared.
        prepared = false;
        dataReportsLeft = 0;
    }
    return true;
}

void ScriptedDevice::frame(const uint8_t *body)
{
    if (sum(body, 64) == 0)
        return; // the all-zero report that opens an update
    if (body[0] != 0xAA || body[1] != 0x55 || sum(body, 60) != bigEndian(body + 60))
        return;
    const uint8_t command = body[2];
    if (command == 0xA0) {
        if (answersIdentity)
            reply(0xA1, QByteArray("FUZZ-V20-DEVICE").leftJustified(32, '\0'));
    } else if (command == 0x00) {
        reply(0x01, QByteArray(1, '\0'));
    } else if (command == 0x02) {
        prepared = true;
        expectedBlock = 0;
        flash.clear();
        blocksTaken = 0;
        reply(0x03, QByteArray(1, '\0'));
    } else if (answersIdentity ? command == 0x08 : (command & 0x0F) == 0x04) {
        // V20 and legacy devices each understand only their own block header.
        blockIndex
            = answersIdentity ? bigEndian(body + 3) : body[3] | (uint32_t(command & 0xF0) << 4);
        blockChecksum = bigEndian(body + (answersIdentity ? 7 : 4));
        blockValid = prepared;
        dataReportsLeft = dataReportsPerBlock;
        blockData.clear();
    }
}

void ScriptedDevice::dataReport(const uint8_t *body)
{
    blockData.append(reinterpret_cast<const char *>(body), 64);
    if (--dataReportsLeft > 0)
        return;
    const auto *bytes = reinterpret_cast<const uint8_t *>(blockData.constData());
    // A block out of order or with a wrong sum is not written and not acknowledged.
    if (!blockValid || blockIndex != expectedBlock || sum(bytes, blockSize) != blockChecksum) {
        TRACE("pass %llu: device rejects block %u\n", (unsigned long long)now, blockIndex);
        return;
    }
    TRACE("pass %llu: device takes block %u\n", (unsigned long long)now, blockIndex);
    flash.append(blockData);
    ++expectedBlock;
    ++blocksTaken;
    reply(0x09, QByteArray(1, '\0'));
}

void ScriptedDevice::reply(uint8_t code, const QByteArray &payload)
{
    const uint8_t fault = script.nextByte();
    const uint64_t delay = uint64_t(fault >> 4) * 2;
    TRACE("pass %llu: device replies 0x%02x, link fault %d, delay %llu\n", (unsigned long long)now,
          code, fault % 16, (unsigned long long)delay);
    QByteArray body = frameBody(code, payload);
    switch (fault % 16) {
    case 6:
        return; // lost
    case 7:
        body[63] = char(body[63] + 1); // checksum off by one
        break;
    case 8:
        body[0] = char(0x55); // header bytes swapped
        body[1] = char(0xAA);
        break;
    case 9:
        if (!allFaults)
            break;
        // Answered twice, the second time any number of passes later.
        queue(body, delay, 64);
        queue(body, delay + 1 + script.nextByte() % 16, 64);
        return;
    case 10:
        queue(body, delay, 1 + (fault >> 4)); // a short read first, the rest is gone
        return;
    case 11:
        body = frameBody(0xA1, QByteArray("NOT-AN-ACK").leftJustified(32, '\0'));
        break;
    default:
        break;
    }
    queue(body, delay, 64);
}

void ScriptedDevice::queue(QByteArray body, uint64_t delay, int length)
{
    // The link keeps its order: a reply is never ready before the one queued ahead of it.
    const uint64_t ready = std::max(now + delay, replies.empty() ? 0 : replies.back().ready);
    replies.push_back({body, ready, length});
}

int ScriptedDevice::read(uint8_t *out, std::size_t length)
{
    if (!isAttached)
        return -1;
    if (replies.empty() || replies.front().ready > now)
        return 0;
    const Reply r = replies.front();
    replies.pop_front();
    TRACE("pass %llu: host reads %d bytes of reply 0x%02x\n", (unsigned long long)now, r.length,
          uint8_t(r.body[2]));
    const int n = std::min(r.length, int(length));
    std::memcpy(out, r.body.constData(), size_t(n));
    return n;
}
