#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QLocalServer;

// The running window listens beside its one-copy lock; a second copy hands it the file it was
// started with (or nothing: the window only comes forward) and exits.
class FileHandOff : public QObject
{
    Q_OBJECT
public:
    explicit FileHandOff(QObject *parent = nullptr);

    // The channel beside the lock file at lockPath, of this user alone.
    static QString channelFor(const QString &lockPath);
    // Only the lock's holder listens, so a channel left by a copy that crashed is taken over.
    bool listen(const QString &channel);
    // Whether the copy listening on the channel took the file (empty: none) within timeoutMs.
    static bool handTo(const QString &channel, const QUrl &file, int timeoutMs = 3000);

signals:
    // From a second copy; file is empty when it was started without one.
    void received(const QUrl &file);

private:
    void readFrom(class QLocalSocket *socket);

    QLocalServer *server;
};
