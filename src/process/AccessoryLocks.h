#pragma once

#include "AccessoryLock.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

// One lock per accessory, so that copies of the program (the window, runs of the command line)
// can each serve accessories of their own while two never open the same one, whoever started
// them. A lock is named from a digest of the accessory's enumeration path, the one key every copy
// sees the same while it stays plugged in (see AccessoryLock). Engines on several threads claim
// through one object: it is thread-safe.
class AccessoryLocks
{
public:
    // The name of the accessory's machine-wide lock, for messages.
    static QString lockNameFor(const QByteArray &path);
    // Whether another copy holds the accessory now; nothing is kept. An accessory this process
    // holds counts too: ask holds() first.
    static bool heldByAnother(const QByteArray &path);

    // Takes the accessory's lock for this process: false when another copy holds it. Where no
    // lock can be made the accessory is claimed without one, with a warning.
    bool claim(const QByteArray &path);
    void release(const QByteArray &path);
    bool holds(const QByteArray &path) const;

private:
    mutable std::mutex mutex;
    std::map<QByteArray, std::unique_ptr<AccessoryLock>> held;
};
