#pragma once

#include "SimHid.h"

#include <QCryptographicHash>

#include <array>
#include <chrono>
#include <deque>
#include <map>
#include <string>

// One simulated accessory: it checks what it receives as the real device would (frame header and
// checksum, every byte of the commands and block headers, block index order, block checksum),
// reassembles the image and queues its replies.
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
        std::size_t length = 64; // what a read of it returns
    };

    SimDevice(int id, const SimHid::DeviceOptions &options);

    // Takes one 65-byte output report (report ID first); a reply to it is ready at `replyAt`.
    void receive(const uint8_t *report, std::size_t length, Clock::time_point replyAt);
    // The device wants to go away (a scripted detach after a block).
    bool wantsDetach() const { return detachNow; }

    int id;
    std::string path;
    SimHid::DeviceOptions options;
    bool attached = true;
    int openHandles = 0;
    int identityRequests = 0;
    Clock::time_point linkFreeAt {}; // end of the last report on its full-speed link

    std::deque<Pending> replies;
    QList<QByteArray> writes;
    QList<SimHid::BlockHeader> headers;
    QByteArray image;
    QStringList errors;
    QCryptographicHash digest {QCryptographicHash::Sha1};
    int blocksReceived = 0;

    std::map<std::pair<SimHid::Stage, uint32_t>, bool> withheld; // stage, block -> pending
    std::map<std::pair<SimHid::Stage, uint32_t>, SimHid::Corruption> corrupted;
    long long detachAfter = -1;
    long long writesUntilDetach = -1;

private:
    void receiveFrame(const uint8_t *body, Clock::time_point replyAt);
    void checkZeroTail(const uint8_t *body);
    void beginBlock(const uint8_t *body, uint32_t index, uint32_t checksum, std::size_t tail);
    void completeBlock(Clock::time_point replyAt);
    void reply(SimHid::Stage stage, uint32_t block, uint8_t code, Clock::time_point replyAt);
    void queue(const Body &body, Clock::time_point ready);
    void error(const QString &text);

    bool prepared = false;
    uint32_t expectedBlock = 0;
    int dataReportsLeft = 0;
    QByteArray blockData;
    SimHid::BlockHeader current;
    Body previous {}; // the body of the last report received
    bool detachNow = false;
};

// A valid frame body with the given code and payload.
SimDevice::Body simFrame(uint8_t code, const QByteArray &payload = {});
