#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// The 64-byte report body exchanged with the device: 0xAA 0x55, a code, payload from byte 3, and
// the 32-bit sum of bytes 0..59 in bytes 60..63, most significant byte first. Output reports carry
// the report ID 0x00 in front, so they are one byte longer than the body.
namespace DeviceFrame {

constexpr unsigned short vendorId = 0x0483;
constexpr unsigned short productId = 0x572B;

constexpr std::size_t bodySize = 64;
constexpr std::size_t reportSize = bodySize + 1;
constexpr std::size_t checksumOffset = 60;
constexpr std::size_t payloadOffset = 3;
constexpr std::size_t maxPayload = checksumOffset - payloadOffset;
constexpr std::size_t identitySize = 32;

enum Code : uint8_t {
    cmdStart = 0x00,
    cmdPrepare = 0x02,
    cmdLegacyBlock = 0x04,
    cmdV20Block = 0x08,
    cmdDeviceIdRequest = 0xA0,
    replyDeviceId = 0xA1,
};

enum class Reply { Invalid, DeviceId, Acknowledgement };

// Fills the report ID, header, command, payload and checksum of a 65-byte output report. Body bytes
// past the payload keep what the previous write left there; the checksum covers them as they stand.
void build(uint8_t command, const uint8_t *payload, uint8_t length, uint8_t *report);

// Sum of body bytes 0..59, the value a frame carries in bytes 60..63.
uint32_t bodySum(const uint8_t *body);

// Classifies an input report body: header and checksum decide validity, then the code.
Reply classify(const uint8_t *body);

// The identity text of a device-ID reply: bytes 3..34 as UTF-8, up to the first NUL.
QString decodeIdentity(const uint8_t *body);

void putBigEndian(uint32_t value, uint8_t *out);
uint32_t getBigEndian(const uint8_t *in);

// Command of a legacy block header: 0x04, with block index bits 8..11 in the high nibble once the
// image has more than 255 blocks.
uint8_t legacyBlockCommand(uint32_t blockIndex, uint32_t blockCount);

} // namespace DeviceFrame
