#include "DeviceFrame.h"

#include <cstring>

namespace DeviceFrame {

void build(uint8_t command, const uint8_t *payload, uint8_t length, uint8_t *report)
{
    if (length > maxPayload)
        length = maxPayload;
    report[0] = 0x00;
    uint8_t *body = report + 1;
    body[0] = 0xAA;
    body[1] = 0x55;
    body[2] = command;
    if (length > 0 && payload)
        std::memcpy(body + payloadOffset, payload, length);
    putBigEndian(bodySum(body), body + checksumOffset);
}

uint32_t bodySum(const uint8_t *body)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i < checksumOffset; ++i)
        sum += body[i];
    return sum;
}

Reply classify(const uint8_t *body)
{
    if (body[0] != 0xAA || body[1] != 0x55)
        return Reply::Invalid;
    if (bodySum(body) != getBigEndian(body + checksumOffset))
        return Reply::Invalid;
    return body[2] == replyDeviceId ? Reply::DeviceId : Reply::Acknowledgement;
}

QString decodeIdentity(const uint8_t *body)
{
    const char *text = reinterpret_cast<const char *>(body + payloadOffset);
    const void *nul = std::memchr(text, 0, identitySize);
    const int length = nul ? int(static_cast<const char *>(nul) - text) : int(identitySize);
    return QString::fromUtf8(text, length);
}

void putBigEndian(uint32_t value, uint8_t *out)
{
    out[0] = uint8_t(value >> 24);
    out[1] = uint8_t(value >> 16);
    out[2] = uint8_t(value >> 8);
    out[3] = uint8_t(value);
}

uint32_t getBigEndian(const uint8_t *in)
{
    return (uint32_t(in[0]) << 24) | (uint32_t(in[1]) << 16) | (uint32_t(in[2]) << 8)
        | uint32_t(in[3]);
}

uint8_t legacyBlockCommand(uint32_t blockIndex, uint32_t blockCount)
{
    if (blockCount <= 255)
        return cmdLegacyBlock;
    return uint8_t(cmdLegacyBlock | ((blockIndex >> 4) & 0xF0));
}

} // namespace DeviceFrame
