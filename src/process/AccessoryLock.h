#pragma once

#include <QByteArray>
#include <QString>

// The machine-wide lock of one accessory, held while this object lives. Every copy of the program
// meets every other here, whatever its user, session or environment, and a copy that ends in any
// way (a crash, kill -9) gives it back: the system owns the lock, not a file. On Linux it is a
// unix socket bound to an abstract name, on Windows a named mutex in the Global\ namespace; both
// are freed by the system with the process's last handle.
class AccessoryLock
{
public:
    enum class Result { Acquired, HeldByAnother, Unavailable };

    explicit AccessoryLock(const QByteArray &accessoryPath);
    ~AccessoryLock();
    AccessoryLock(const AccessoryLock &) = delete;
    AccessoryLock &operator=(const AccessoryLock &) = delete;

    Result acquire();
    bool isHeld() const;
    // "firmware-updater-accessory-<16 hex digits of the SHA-1 of the path>", followed by
    // "-<scope>" when FWU_LOCK_SCOPE is set: only the test suite sets it, so that test programs
    // running side by side with simulated accessories of the same paths do not meet.
    QString name() const { return lockName; }
    static QString nameFor(const QByteArray &accessoryPath);
    // Whether any copy (this one included) holds the lock now; takes nothing.
    static bool isTaken(const QByteArray &accessoryPath);

private:
    QString lockName;
#ifdef Q_OS_WIN
    void *handle = nullptr;
#else
    int fd = -1;
#endif
};
