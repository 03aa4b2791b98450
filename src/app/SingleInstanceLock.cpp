#include "SingleInstanceLock.h"

#include <QCoreApplication>
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

QString SingleInstanceLock::defaultPath()
{
    const QString name = QCoreApplication::applicationName() + QStringLiteral(".lock");
    QString folder;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Asked only when set: without XDG_RUNTIME_DIR Qt warns and invents a folder under /tmp.
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
#endif
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return folder + '/' + name;
}
