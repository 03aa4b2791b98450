#include "TestHttpServer.h"

#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

#include <zlib.h>

namespace {

QByteArray readSupportFile(const char *name)
{
    QFile file(QStringLiteral(FWU_HTTPSERVER_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray statusLine(int code)
{
    return "HTTP/1.1 " + QByteArray::number(code) + " Canned\r\n";
}

QByteArray gzip(const QByteArray &data)
{
    z_stream z {};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray lengthHeader(qint64 length)
{
    return "Content-Length: " + QByteArray::number(length) + "\r\n";
}

} // namespace

TestHttpServer::Reply TestHttpServer::ok(const QByteArray &body, const QByteArray &type)
{
    Reply r;
    r.head = statusLine(200) + "Content-Type: " + type + "\r\n" + lengthHeader(body.size());
    r.pieces = {body};
    return r;
}

TestHttpServer::Reply TestHttpServer::status(int code, const QByteArray &body)
{
    Reply r;
    r.head = statusLine(code) + "Content-Type: text/html\r\n" + lengthHeader(body.size());
    r.pieces = {body};
    return r;
}

TestHttpServer::Reply TestHttpServer::redirect(int code, const QByteArray &location)
{
    const QByteArray body = "<html>moved</html>";
    Reply r;
    r.head = statusLine(code) + "Location: " + location + "\r\n" + lengthHeader(body.size());
    r.pieces = {body};
    return r;
}

TestHttpServer::Reply TestHttpServer::inPieces(const QList<QByteArray> &pieces, int delayMs)
{
    qint64 total = 0;
    for (const QByteArray &p : pieces)
        total += p.size();
    Reply r;
    r.head = statusLine(200) + lengthHeader(total);
    r.pieces = pieces;
    r.pieceDelayMs = delayMs;
    return r;
}

TestHttpServer::Reply TestHttpServer::stall(int announcedLength)
{
    Reply r;
    r.head = statusLine(200) + lengthHeader(announcedLength);
    r.close = false;
    return r;
}

TestHttpServer::Reply TestHttpServer::cutShort(const QByteArray &body, int sentBytes)
{
    Reply r;
    r.head = statusLine(200) + lengthHeader(body.size());
    r.pieces = {body.left(sentBytes)};
    return r;
}

TestHttpServer::Reply TestHttpServer::cutShortChunked(const QByteArray &body, int sentBytes,
                                                      bool announceClose)
{
    Reply r;
    r.head = statusLine(200) + "Transfer-Encoding: chunked\r\n"
        + (announceClose ? "Connection: close\r\n" : "Connection: keep-alive\r\n");
    r.pieces = {QByteArray::number(sentBytes, 16) + "\r\n" + body.left(sentBytes) + "\r\n"};
    return r;
}

TestHttpServer::Reply TestHttpServer::gzipped(const QByteArray &body, int sentBytes, bool chunked)
{
    const QByteArray encoded = gzip(body);
    const QByteArray sent = sentBytes < 0 ? encoded : encoded.left(sentBytes);
    Reply r;
    r.head = statusLine(200) + "Content-Encoding: gzip\r\n";
    if (!chunked) {
        r.head += lengthHeader(encoded.size());
        r.pieces = {sent};
    } else {
        r.head += "Transfer-Encoding: chunked\r\nConnection: close\r\n";
        r.pieces = {QByteArray::number(sent.size(), 16) + "\r\n" + sent + "\r\n"
                    + (sentBytes < 0 ? "0\r\n\r\n" : "")};
    }
    return r;
}

TestHttpServer::Reply TestHttpServer::drip(const QByteArray &body, int delayMs)
{
    Reply r;
    r.head = statusLine(200) + lengthHeader(body.size());
    for (char c : body)
        r.pieces.append(QByteArray(1, c));
    r.pieceDelayMs = delayMs;
    return r;
}

TestHttpServer::Reply TestHttpServer::untilClose(const QByteArray &body)
{
    Reply r;
    r.head = statusLine(200) + "Connection: close\r\n";
    r.pieces = {body};
    return r;
}

QByteArray TestHttpServer::certificatePem()
{
    return readSupportFile("test.crt");
}

TestHttpServer::TestHttpServer(Security security, QObject *parent)
    : QTcpServer(parent)
    , security(security)
{
}

TestHttpServer::~TestHttpServer()
{
    close();
}

bool TestHttpServer::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

QString TestHttpServer::origin() const
{
    const bool plain = security == Security::Plain;
    const QString host = !originHost.isEmpty() ? originHost
        : plain                                ? QStringLiteral("127.0.0.1")
                                               : QStringLiteral("localhost");
    return (plain ? "http://" : "https://") + host + ":" + QString::number(serverPort());
}

void TestHttpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    if (security != Security::Plain) {
        socket->setLocalCertificate(QSslCertificate(readSupportFile("test.crt")));
        socket->setPrivateKey(QSslKey(readSupportFile("test.key"), QSsl::Rsa));
    }
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QSslSocket::disconnected, this, [this, socket] {
        buffers.remove(socket);
        socket->deleteLater();
    });
    if (security == Security::Tls)
        socket->startServerEncryption();
}

void TestHttpServer::onReadyRead(QSslSocket *socket)
{
    QByteArray &buffer = buffers[socket];
    buffer += socket->readAll();
    int end;
    while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
        const QByteArray request = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
        if (words.size() < 2)
            return socket->disconnectFromHost();
        if (words[0] == "CONNECT") {
            // A proxy tunnel: the TLS session to the "real" host starts right after.
            socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
            if (security == Security::TlsAfterConnect)
                socket->startServerEncryption();
            continue;
        }
        answer(socket, words[1]);
    }
}

void TestHttpServer::answer(QSslSocket *socket, const QByteArray &target)
{
    requestTargets << QString::fromUtf8(target);
    // Through the proxy the target is absolute; the path is what selects the reply.
    const QString path = target.startsWith('/') ? QString::fromUtf8(target)
                                                : QUrl(QString::fromUtf8(target)).path();
    requestedPaths << path;
    emit requested(path);
    sendPieces(socket, replies.value(path, status(404, "<html>not found</html>")));
}

void TestHttpServer::sendPieces(QSslSocket *socket, Reply reply)
{
    if (!reply.head.isEmpty()) {
        const bool announceClose = reply.close && !reply.head.contains("Connection:");
        socket->write(reply.head + (announceClose ? "Connection: close\r\n" : "") + "\r\n");
        reply.head.clear();
    }
    if (!reply.pieces.isEmpty())
        socket->write(reply.pieces.takeFirst());
    if (!reply.pieces.isEmpty()) {
        QPointer<QSslSocket> guard(socket);
        QTimer::singleShot(reply.pieceDelayMs, this, [this, guard, reply] {
            if (guard)
                sendPieces(guard, reply);
        });
        return;
    }
    if (reply.close)
        socket->disconnectFromHost();
}
