#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <cstdint>

// Control side of the simulated HID device. The library behind this header implements the hidapi
// functions the engine calls, over a scriptable model of the accessory, so that test executables
// and the demo link it in place of the real hidapi. Every function is thread-safe: the engine calls
// hidapi on its worker thread while a test scripts the device from its own.
namespace SimHid {

enum class Stage { Start, Prepare, Block };
enum class Corruption { BadHeader, ChecksumOffByOne };

struct DeviceOptions
{
    bool answersIdentity = true; // a V20 device; false: a legacy one that ignores 0xA0
    QByteArray identity = "SIM-V20"; // up to 32 bytes, NUL-filled
    int ackDelayMs = 0; // wall-clock delay of every reply (without the full-speed timing)
    bool refusesOpen = false; // hid_open_path fails, as for a node without access
    bool repliesTwice = false; // every acknowledgement is sent twice
    // Keep every report, header and the reassembled image. Off, the device keeps only counts and
    // a digest of the image, so that long benchmark runs stay flat in memory.
    bool keepsHistory = true;
    unsigned short vendorId = 0x0483;
    unsigned short productId = 0x572B;
    QByteArray path {}; // enumeration path; empty for "sim-hid:<id>"
    QByteArray serial {}; // USB serial number as hidapi reports it; empty for none
};

// A block header the device received.
struct BlockHeader
{
    uint8_t command = 0;
    uint32_t index = 0; // as decoded from the header
    uint32_t checksum = 0;
    bool checksumMatches = false; // against the 1024 bytes its data reports carried
};

// Forgets every device, fault, record and timing setting.
void reset();

// Attaches a device; returns its id. Its enumeration path is unique for the process.
int attach(const DeviceOptions &options = {});
void detach(int device);
QByteArray pathOf(int device);
// Enumerate devices newest first instead of in attach order.
void setEnumerationReversed(bool reversed);

// Link timing of a full-speed USB device on an absolute 1 ms frame schedule, one link per device: a
// report ends 1 ms after the later of its write and the end of the previous report, and a write
// returns once its report is on the link (it waits while the previous one is), so a late wake-up
// does not delay the schedule. A reply is ready 1 ms after the end of the report it answers.
// Without it, writes take no time and replies come after the device's ackDelayMs. Reads always wait
// until a reply is ready or their time-out has passed.
void setFullSpeedTiming(bool on);

// Faults. A stage's reply is withheld or corrupted once; for blocks, only that block's.
void withholdReply(int device, Stage stage, uint32_t block = 0);
void corruptReply(int device, Stage stage, Corruption corruption, uint32_t block = 0);
// Queues an input report as it stands (a stray report); a body shorter than 64 bytes is read
// back with that length, as a short read.
void injectReport(int device, const QByteArray &body);
// The k-th write from now (k >= 1, any device) returns -1, and the `count - 1` writes after it.
void failWrite(int k, int count = 1);
// The device goes away once it has received the data of the given block, before acknowledging it.
void detachAfterBlock(int device, uint32_t block);
// The device goes away once it has accepted `count` more reports.
void detachAfterWrites(int device, int count);
// Whether hid_open_path refuses the device from now on.
void setOpenRefused(int device, bool refused);

// Records.
int initCount();
int writeAttempts(); // all hid_write calls, failed ones included
QList<QByteArray> writes(int device); // the 65-byte reports the device accepted, in order
QList<BlockHeader> blockHeaders(int device);
QByteArray receivedImage(int device); // the blocks reassembled at the positions their headers name
// SHA-1 of the block data received since the last prepare command, in arrival order; kept
// whether or not the device keeps its history.
QByteArray receivedDigest(int device);
int blocksReceived(int device); // blocks completed since the last prepare command
QStringList protocolErrors(int device); // what the device found wrong in what it received
int openHandles(int device);
int identityRequests(int device);

} // namespace SimHid
