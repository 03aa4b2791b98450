#include "AccessoryLocks.h"

#include <QDebug>

QString AccessoryLocks::lockNameFor(const QByteArray &path)
{
    return AccessoryLock::nameFor(path);
}

bool AccessoryLocks::heldByAnother(const QByteArray &path)
{
    return AccessoryLock::isTaken(path);
}

bool AccessoryLocks::claim(const QByteArray &path)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (held.count(path))
        return true;
    auto lock = std::make_unique<AccessoryLock>(path);
    switch (lock->acquire()) {
    case AccessoryLock::Result::HeldByAnother:
        return false;
    case AccessoryLock::Result::Unavailable:
        qWarning().noquote() << "cannot create the lock" << lock->name() << "- opening" << path
                             << "without protection against a second copy";
        break;
    case AccessoryLock::Result::Acquired:
        break;
    }
    held[path] = std::move(lock);
    return true;
}

void AccessoryLocks::release(const QByteArray &path)
{
    std::lock_guard<std::mutex> guard(mutex);
    held.erase(path);
}

bool AccessoryLocks::holds(const QByteArray &path) const
{
    std::lock_guard<std::mutex> guard(mutex);
    return held.count(path) != 0;
}
