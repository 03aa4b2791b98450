#include "AccessoryLock.h"

#include <QCryptographicHash>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

QString AccessoryLock::nameFor(const QByteArray &accessoryPath)
{
    const QByteArray digest
        = QCryptographicHash::hash(accessoryPath, QCryptographicHash::Sha1).toHex().left(16);
    QString name = QStringLiteral("firmware-updater-accessory-") + QString::fromLatin1(digest);
    const QByteArray scope = qgetenv("FWU_LOCK_SCOPE");
    if (!scope.isEmpty())
        name += '-'
            + QString::fromLatin1(
                    QCryptographicHash::hash(scope, QCryptographicHash::Sha1).toHex().left(16));
    return name;
}

AccessoryLock::AccessoryLock(const QByteArray &accessoryPath)
    : lockName(nameFor(accessoryPath))
{
}

#ifdef Q_OS_WIN

namespace {
std::wstring globalName(const QString &name)
{
    return (QStringLiteral("Global\\") + name).toStdWString();
}
} // namespace

AccessoryLock::~AccessoryLock()
{
    if (handle)
        CloseHandle(handle);
}

// The mutex is never waited on: that it exists means a live process holds it. Another user's
// mutex cannot be opened (access denied), which means held just as well.
AccessoryLock::Result AccessoryLock::acquire()
{
    if (handle)
        return Result::Acquired;
    HANDLE made = CreateMutexW(nullptr, FALSE, globalName(lockName).c_str());
    const DWORD error = GetLastError();
    if (!made)
        return error == ERROR_ACCESS_DENIED ? Result::HeldByAnother : Result::Unavailable;
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(made);
        return Result::HeldByAnother;
    }
    handle = made;
    return Result::Acquired;
}

bool AccessoryLock::isHeld() const
{
    return handle != nullptr;
}

bool AccessoryLock::isTaken(const QByteArray &accessoryPath)
{
    HANDLE open = OpenMutexW(SYNCHRONIZE, FALSE, globalName(nameFor(accessoryPath)).c_str());
    if (open) {
        CloseHandle(open);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

#else

namespace {

// The abstract name: a leading NUL, no file anywhere, nothing left behind.
socklen_t addressOf(const QString &name, sockaddr_un &address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const QByteArray bytes = name.toLatin1().left(int(sizeof address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, bytes.constData(), size_t(bytes.size()));
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(bytes.size()));
}

} // namespace

AccessoryLock::~AccessoryLock()
{
    if (fd >= 0)
        ::close(fd);
}

AccessoryLock::Result AccessoryLock::acquire()
{
    if (fd >= 0)
        return Result::Acquired;
    // Close-on-exec: a program this one starts must not keep the accessory locked.
    const int made = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (made < 0)
        return Result::Unavailable;
    sockaddr_un address;
    const socklen_t length = addressOf(lockName, address);
    if (::bind(made, reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        const int error = errno;
        ::close(made);
        return error == EADDRINUSE ? Result::HeldByAnother : Result::Unavailable;
    }
    // Listening lets isTaken() see the holder by connecting, without taking the name itself.
    ::listen(made, 1);
    fd = made;
    return Result::Acquired;
}

bool AccessoryLock::isHeld() const
{
    return fd >= 0;
}

bool AccessoryLock::isTaken(const QByteArray &accessoryPath)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0)
        return false;
    sockaddr_un address;
    const socklen_t length = addressOf(nameFor(accessoryPath), address);
    const int connected = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), length);
    // A full queue of earlier probes still means a holder is listening.
    const bool taken = connected == 0 || errno == EAGAIN || errno == EINPROGRESS;
    ::close(probe);
    return taken;
}

#endif
