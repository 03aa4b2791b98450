#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QTcpServer>

class QSslSocket;

// A web server on 127.0.0.1 with an ephemeral port, answering GETs with canned replies, each of
// which may misbehave on purpose. It also acts as an HTTP proxy (absolute request targets, and
// CONNECT tunnels in the TLS mode), so that URLs without this port still reach it.
class TestHttpServer : public QTcpServer
{
    Q_OBJECT
public:
    enum class Security { Plain, Tls, TlsAfterConnect };

    // One canned reply: the head (status line and headers) and the body in pieces sent
    // pieceDelayMs apart; then the connection is closed unless it is left to stall.
    struct Reply
    {
        QByteArray head;
        QList<QByteArray> pieces;
        int pieceDelayMs = 0;
        bool close = true;
    };

    static Reply ok(const QByteArray &body, const QByteArray &type = "application/octet-stream");
    static Reply status(int code, const QByteArray &body = "<html>error</html>");
    static Reply redirect(int code, const QByteArray &location);
    static Reply inPieces(const QList<QByteArray> &pieces, int delayMs);
    // Announces a length, sends nothing more and keeps the connection open.
    static Reply stall(int announcedLength);
    // Sends only the first sentBytes of the body, then closes: with Content-Length, or chunked.
    // Qt takes a chunked body cut short as complete when the server announced the close.
    static Reply cutShort(const QByteArray &body, int sentBytes);
    static Reply cutShortChunked(const QByteArray &body, int sentBytes, bool announceClose = false);
    // The body gzip-encoded (Content-Encoding: gzip), of which only the first sentBytes of the
    // encoded form are sent (all when negative); announced with its encoded length, or chunked.
    static Reply gzipped(const QByteArray &body, int sentBytes = -1, bool chunked = false);
    // The body one byte every delayMs, its length announced.
    static Reply drip(const QByteArray &body, int delayMs);
    // No Content-Length: the body ends where the connection closes.
    static Reply untilClose(const QByteArray &body);

    explicit TestHttpServer(Security security = Security::Plain, QObject *parent = nullptr);
    ~TestHttpServer() override;

    bool start();
    // "http://127.0.0.1:<port>" or "https://localhost:<port>", or with the host set here.
    QString origin() const;
    // Qt never proxies loopback names: a test that routes through the proxy names the server
    // "downloads.test" (which the certificate also carries), never resolved since the proxy is.
    void setOriginHost(const QString &host) { originHost = host; }

    void setReply(const QString &path, const Reply &reply) { replies.insert(path, reply); }

    // The path of every GET received, in order, and the request targets as sent (absolute when
    // the request came through the proxy).
    QStringList requestedPaths;
    QStringList requestTargets;

    // The certificate the TLS modes present, for a test to trust.
    static QByteArray certificatePem();

signals:
    // A GET has arrived, before its reply goes out: a test can act while a download waits.
    void requested(const QString &path);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onReadyRead(QSslSocket *socket);
    void answer(QSslSocket *socket, const QByteArray &target);
    void sendPieces(QSslSocket *socket, Reply reply);

    Security security;
    QString originHost;
    QHash<QString, Reply> replies;
    QHash<QSslSocket *, QByteArray> buffers;
};
