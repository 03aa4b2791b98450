#pragma once

#include "SingleInstanceLock.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

// One lock per accessory, so that copies of the program (the window, runs of the command line)
// can each serve accessories of their own while two never open the same one. A lock is named from
// a digest of the accessory's enumeration path, the one key every copy sees the same while it
// stays plugged in. Engines on several threads claim through one object: it is thread-safe.
class AccessoryLocks
{
public:
    // <lock folder>/firmware-updater-accessory-<16 hex digits of the path's SHA-1>.lock
    static QString lockPathFor(const QByteArray &path);
    // Whether another copy holds the accessory now; nothing is kept.
    static bool heldByAnother(const QByteArray &path);

    // Takes the accessory's lock for this process: false when another copy holds it. Where no
    // lock can be made the accessory is claimed without one, with a warning.
    bool claim(const QByteArray &path);
    void release(const QByteArray &path);
    bool holds(const QByteArray &path) const;

private:
    mutable std::mutex mutex;
    std::map<QByteArray, std::unique_ptr<SingleInstanceLock>> held;
};
