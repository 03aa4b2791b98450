#include "SingleInstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QSysInfo>

#include <mutex>

namespace {

// The lock files this process holds, so that one naming this process is known for its own.
std::mutex heldHereMutex;
QSet<QString> &heldHere()
{
    static QSet<QString> paths;
    return paths;
}

// Qt names the host in a lock by its DNS name on Unix and by its NetBIOS name on Windows
// (upper case, at most 15 characters).
bool namesThisMachine(const QString &host)
{
    return host.isEmpty() || host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0
        || host.compare(qEnvironmentVariable("COMPUTERNAME"), Qt::CaseInsensitive) == 0;
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const QString &lockFilePath)
    : filePath(lockFilePath)
    , lock(lockFilePath)
{
    // Only a dead holder makes a lock stale: a copy that has run for hours still holds it.
    lock.setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock()
{
    // Released under the registry's guard, so that no other thread takes the file for a leftover
    // before it is gone.
    std::lock_guard<std::mutex> guard(heldHereMutex);
    if (lock.isLocked()) {
        lock.unlock();
        heldHere().remove(filePath);
    }
}

SingleInstanceLock::Result SingleInstanceLock::acquire()
{
    QDir().mkpath(QFileInfo(filePath).path());
    std::lock_guard<std::mutex> guard(heldHereMutex);
    if (lock.tryLock(0) || takeOverFromEarlierHolderOfThisId()) {
        heldHere().insert(filePath);
        return Result::Acquired;
    }
    return lock.error() == QLockFile::LockFailedError ? Result::HeldByAnother : Result::Unavailable;
}

// Qt counts a lock as held while a process of the holder's name runs under the holder's id. A lock
// naming this very process that this process does not hold was left by an earlier copy whose id
// has been handed on to this one (Windows reuses ids after a restart), and is stale.
bool SingleInstanceLock::takeOverFromEarlierHolderOfThisId()
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock.error() != QLockFile::LockFailedError || !lock.getLockInfo(&pid, &host, &application)
        || pid != QCoreApplication::applicationPid() || !namesThisMachine(host)
        || heldHere().contains(filePath))
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

QString SingleInstanceLock::pathFor(const QString &name)
{
    return folder() + '/' + name + QStringLiteral(".lock");
}

QString SingleInstanceLock::folder()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Asked only when set: without XDG_RUNTIME_DIR Qt warns and invents a folder under /tmp.
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/firmware-updater");
}
