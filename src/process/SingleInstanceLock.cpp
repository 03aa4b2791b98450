#include "SingleInstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

SingleInstanceLock::SingleInstanceLock(const QString &lockFilePath)
    : filePath(lockFilePath)
    , lock(lockFilePath)
{
    // Only a dead holder makes a lock stale: a copy that has run for hours still holds it.
    lock.setStaleLockTime(0);
}

SingleInstanceLock::Result SingleInstanceLock::acquire()
{
    QDir().mkpath(QFileInfo(filePath).path());
    if (lock.tryLock(0))
        return Result::Acquired;
    return lock.error() == QLockFile::LockFailedError ? Result::HeldByAnother : Result::Unavailable;
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
