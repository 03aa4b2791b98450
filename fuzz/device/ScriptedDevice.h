#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

// The accessory behind the fuzz target's own hidapi functions: an honest device (it takes only
// well-formed frames, keeps a block only when its checksum and index are right, and acknowledges
// only what it took) on a faulty link whose faults and timings a script decides. Time is counted
// in passes of the engine, which the target advances.
class ScriptedDevice
{
public:
    // What the link does with one thing the device sends or receives; asked once per frame
    // written and once per reply, so the script (the fuzz input) decides each.
    struct Script
    {
        std::function<uint8_t()> nextByte; // 0 once the input is used up: the fault-free case
    };

    static ScriptedDevice &instance();

    void reset(const Script &script, bool answersIdentity, uint64_t attachAtPass);
    void setPass(uint64_t pass);
    uint64_t pass() const { return now; }

    bool attached() const { return isAttached; }
    // One hid_write of a 65-byte report; false when the link refuses it.
    bool write(const uint8_t *report, std::size_t length);
    // One hid_read: the bytes delivered (0 none ready, -1 gone).
    int read(uint8_t *out, std::size_t length);
    // The image the device holds from its last prepare command, block by block.
    const QByteArray &memory() const { return flash; }
    int acceptedBlocks() const { return blocksTaken; }

private:
    struct Reply
    {
        QByteArray body; // 64 bytes
        uint64_t ready;
        int length; // what the read delivers
    };

    void frame(const uint8_t *body);
    void dataReport(const uint8_t *body);
    void reply(uint8_t code, const QByteArray &payload);
    void queue(QByteArray body, uint64_t delay, int length);
    void detach(uint64_t passes);
    void attach();

    Script script;
    uint64_t now = 0;
    bool isAttached = false;
    uint64_t attachAt = 0;
    bool answersIdentity = false;
    bool prepared = false;
    uint32_t expectedBlock = 0;
    int dataReportsLeft = 0;
    uint32_t blockIndex = 0;
    uint32_t blockChecksum = 0;
    bool blockValid = false;
    QByteArray blockData;
    QByteArray flash;
    int blocksTaken = 0;
    std::deque<Reply> replies;
};
