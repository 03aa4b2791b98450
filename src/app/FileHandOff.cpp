#include "FileHandOff.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Ends the one line a second copy sends; the reply is one byte.
const char endOfFile = '\n';
const char taken = '1';
// A path is short; a peer sending more is not a copy of this program.
const qint64 longestLine = 64 * 1024;

} // namespace

FileHandOff::FileHandOff(QObject *parent)
    : QObject(parent)
    , server(new QLocalServer(this))
{
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            readFrom(socket);
        }
    });
}

QString FileHandOff::channelFor(const QString &lockPath)
{
#ifdef Q_OS_WIN
    // Pipe names are machine-wide: one per lock path, and the lock path is the user's own.
    return QStringLiteral("firmware-updater-")
        + QString::fromLatin1(
               QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha1).toHex());
#else
    // A socket in the user's own runtime folder, where the lock is.
    return lockPath + QStringLiteral(".socket");
#endif
}

bool FileHandOff::listen(const QString &channel)
{
    QLocalServer::removeServer(channel);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    return server->listen(channel);
}

void FileHandOff::readFrom(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > longestLine)
            socket->abort();
        return;
    }
    const QUrl file = QUrl::fromEncoded(socket->readLine().chopped(1));
    socket->write(&taken, 1);
    socket->flush();
    socket->disconnectFromServer();
    emit received(file);
}

bool FileHandOff::handTo(const QString &channel, const QUrl &file, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(channel);
    if (!socket.waitForConnected(timeoutMs))
        return false;
#ifdef Q_OS_WIN
    // Windows lets only the foreground process give the foreground away: the first copy may take
    // it as it comes forward.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    // Encoded, so that no name can hold the line's end.
    socket.write(file.toEncoded() + endOfFile);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    if (!socket.bytesAvailable() && !socket.waitForReadyRead(timeoutMs))
        return false;
    char reply = 0;
    return socket.read(&reply, 1) == 1 && reply == taken;
}
