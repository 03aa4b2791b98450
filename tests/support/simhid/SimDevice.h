#pragma once

#include "SimHid.h"

#include <array>
#include <chrono>
#include <deque>
#include <map>
#include <string>

// One simulated accessory: it checks what it receives as the real device would (frame header and
// checksum, block index order, block checksum), reassembles the image and queues its replies.
// Not thread-safe by itself; the library serialises every call.
class SimDevice
{
public:
    using Clock = std::chrono::steady_clock;
    using Body = std::array<uint8_t, 64>;

    struct Pending
    {
        Body body;
        Clock::time_point ready;
    };

    SimDevice(int id, const SimHid::DeviceOptions &options);

    // Takes one 65-byte output report (report ID first).
    void receive(const uint8_t *report, std::size_t length, std::chrono::milliseconds ackDelay);
    // The device wants to go away (a scripted detach after a block).
    bool wantsDetach() const { return detachNow; }

    int id;
    std::string path;
    SimHid::DeviceOptions options;
    bool attached = true;
    int openHandles = 0;
    int identityRequests = 0;

    std::deque<Pending> replies;
    QList<QByteArray> writes;
    QList<SimHid::BlockHeader> headers;
    QByteArray image;
    QStringList errors;

    std::map<std::pair<SimHid::Stage, uint32_t>, bool> withheld; // stage, block -> pending
    std::map<std::pair<SimHid::Stage, uint32_t>, SimHid::Corruption> corrupted;
    long long detachAfter = -1;

private:
    void receiveFrame(const uint8_t *body, std::chrono::milliseconds ackDelay);
    void beginBlock(uint8_t command, uint32_t index, uint32_t checksum);
    void completeBlock(std::chrono::milliseconds ackDelay);
    void reply(SimHid::Stage stage, uint32_t block, uint8_t code,
               std::chrono::milliseconds ackDelay);
    void queue(const Body &body, std::chrono::milliseconds delay);

    bool prepared = false;
    uint32_t expectedBlock = 0;
    int dataReportsLeft = 0;
    QByteArray blockData;
    bool detachNow = false;
};

// A valid frame body with the given code and payload.
SimDevice::Body simFrame(uint8_t code, const QByteArray &payload = {});
