#include "AccessoryLocks.h"

#include <QCryptographicHash>
#include <QDebug>

QString AccessoryLocks::lockPathFor(const QByteArray &path)
{
    const QByteArray digest = QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex();
    return SingleInstanceLock::pathFor(QStringLiteral("firmware-updater-accessory-")
                                       + QString::fromLatin1(digest.left(16)));
}

bool AccessoryLocks::heldByAnother(const QByteArray &path)
{
    SingleInstanceLock probe(lockPathFor(path));
    return probe.acquire() == SingleInstanceLock::Result::HeldByAnother;
}

bool AccessoryLocks::claim(const QByteArray &path)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (held.count(path))
        return true;
    auto lock = std::make_unique<SingleInstanceLock>(lockPathFor(path));
    switch (lock->acquire()) {
    case SingleInstanceLock::Result::HeldByAnother:
        return false;
    case SingleInstanceLock::Result::Unavailable:
        qWarning().noquote() << "cannot create the lock" << lock->path() << "- opening" << path
                             << "without protection against a second copy";
        break;
    case SingleInstanceLock::Result::Acquired:
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
