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
    int ackDelayMs = 0; // wall-clock delay of every acknowledgement
    unsigned short vendorId = 0x0483;
    unsigned short productId = 0x572B;
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

// Link timing of a full-speed USB device: every write takes 1 ms, every acknowledgement comes 1 ms
// after the report it answers, and a read that finds nothing waits its whole time-out.
void setFullSpeedTiming(bool on);

// Faults. A stage's reply is withheld or corrupted once; for blocks, only that block's.
void withholdReply(int device, Stage stage, uint32_t block = 0);
void corruptReply(int device, Stage stage, Corruption corruption, uint32_t block = 0);
// Queues an input report of 64 bytes as it stands (a stray report).
void injectReport(int device, const QByteArray &body);
// The k-th write from now (k >= 1, any device) returns -1.
void failWrite(int k);
// The device goes away once it has received the data of the given block, before acknowledging it.
void detachAfterBlock(int device, uint32_t block);

// Records.
int initCount();
int writeAttempts(); // all hid_write calls, failed ones included
QList<QByteArray> writes(int device); // the 65-byte reports the device accepted, in order
QList<BlockHeader> blockHeaders(int device);
QByteArray receivedImage(int device); // the blocks reassembled at the positions their headers name
QStringList protocolErrors(int device); // what the device found wrong in what it received
int openHandles(int device);
int identityRequests(int device);

} // namespace SimHid
