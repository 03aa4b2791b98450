#include "FileDownloader.h"

#include "ContentDecoder.h"
#include "FileUtils.h"
#include "Percent.h"
#include "UrlUtils.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcDownload, "fwu.download")

FileDownloader::FileDownloader(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
{
    connect(&speedTimer, &QTimer::timeout, this, &FileDownloader::checkSpeed);
}

void FileDownloader::setSpeedFloor(qint64 bytesPerSecond, int windowMs)
{
    speedFloor = bytesPerSecond;
    speedWindowMs = windowMs;
}

void FileDownloader::cancel()
{
    if (!current)
        return;
    qCInfo(lcDownload) << "download of" << current->url().toDisplayString() << "cancelled";
    cancelled = true;
    current->abort(); // finishes the reply at once, with its report
}

QString FileDownloader::folder() const
{
    return downloadFolder.isEmpty() ? tempFolderPath() : downloadFolder;
}

void FileDownloader::expect(qint64 size, const QString &sha256)
{
    expectedSize = size;
    expectedDigest = sha256.toLower();
}

void FileDownloader::downloadFile(const QUrl &url)
{
    if (isBusy()) {
        qCWarning(lcDownload) << "refused" << url.toDisplayString()
                              << "while another download is waiting";
        return;
    }
    isSuccess = false;
    lastStatus = 0;
    cancelled = false;
    mismatch = false;
    receivedDigest.clear();
    writeErrorText.clear();
    fileName = url.fileName(QUrl::FullyDecoded);
    // A FIFO or a device behind a file URL would be read for ever.
    if (url.isLocalFile() && QFileInfo::exists(url.toLocalFile())
        && !QFileInfo(url.toLocalFile()).isFile()) {
        qCWarning(lcDownload) << "refused" << url.toDisplayString() << ": not a regular file";
        expect(-1, QString());
        emit downLoadProgress(0, true);
        return;
    }
    // The name becomes a path inside the temp folder: "..", "" or a decoded separator must not.
    if (!isSafeFileName(fileName)) {
        qCWarning(lcDownload) << "refused" << url.toDisplayString() << ": unusable file name"
                              << fileName;
        emit downLoadProgress(0, true);
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    // Without it a server that sends headers and then stalls keeps the modal popup up for ever.
    request.setTransferTimeout(transferTimeoutMs);
    // Asked for here, so that Qt leaves the decoding, and so the check that the encoded body is
    // whole, to this downloader.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");

    tooLarge = false;
    stalled = false;
    windowStartBytes = 0;
    waiting = true;
    current = manager->get(request);
    speedTimer.start(speedWindowMs);
    QNetworkReply *reply = current;
    connect(reply, &QNetworkReply::finished, this, &FileDownloader::onDownloadFinished);
    connect(reply, &QNetworkReply::readyRead, this, &FileDownloader::onReadyRead);
    connect(reply, &QNetworkReply::downloadProgress, this, &FileDownloader::onDownloadProgress);

    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (current == reply) // finished may already have been handled (a refused redirect, say)
        loop.exec();
    // The application quitting ends every event loop, this one too: the download goes with it.
    if (current == reply)
        cancel();
    speedTimer.stop();
    waiting = false;
    expect(-1, QString());
}

void FileDownloader::checkSpeed()
{
    if (!current)
        return;
    // The body stays in the reply until it finishes, so what it holds is what has arrived.
    const qint64 received = current->bytesAvailable();
    if (received - windowStartBytes < speedFloor * speedWindowMs / 1000) {
        qCWarning(lcDownload) << "aborting" << current->url().toDisplayString() << ": under"
                              << speedFloor << "bytes a second for" << speedWindowMs << "ms";
        stalled = true;
        current->abort();
        return;
    }
    windowStartBytes = received;
}

void FileDownloader::onReadyRead()
{
    // The body is taken whole when the reply finishes; here only its size is watched, since
    // progress reports come at most every 100 ms and much more can arrive in between.
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply && reply == current && reply->bytesAvailable() > maxBodySize)
        abortTooLarge(reply);
    // Only a body sent as it is saved can be measured before it is decoded.
    if (reply && reply == current && !mismatch && expectedSize >= 0
        && reply->rawHeader("Content-Encoding").isEmpty()
        && reply->bytesAvailable() > expectedSize) {
        qCWarning(lcDownload) << "aborting" << reply->url().toDisplayString() << ": more than the"
                              << expectedSize << "bytes expected";
        mismatch = true;
        reply->abort();
    }
}

void FileDownloader::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != current)
        return;
    if (bytesReceived > maxBodySize || bytesTotal > maxBodySize) {
        abortTooLarge(reply);
        return;
    }
    if (bytesTotal <= 0)
        return;
    // 100 % is reported by the finish, once the file is really on disk (or not).
    if (bytesReceived < bytesTotal)
        emit downLoadProgress(percentOf(bytesReceived, bytesTotal), false);
}

void FileDownloader::abortTooLarge(QNetworkReply *reply)
{
    if (tooLarge) // already aborting; the reply still delivers what it had queued
        return;
    qCWarning(lcDownload) << "aborting" << reply->url().toDisplayString() << ": body over"
                          << maxBodySize << "bytes";
    tooLarge = true;
    reply->abort();
}

void FileDownloader::onDownloadFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != current)
        return;
    current = nullptr;
    lastStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    speedTimer.stop();
    isSuccess = replySucceeded(reply) && storeBody(reply);
    reply->deleteLater();
    emit downLoadProgress(isSuccess ? 100 : 0, true);
}

bool FileDownloader::replySucceeded(QNetworkReply *reply) const
{
    const QString where = reply->url().toDisplayString();
    if (tooLarge || stalled || cancelled || mismatch)
        return false;
    if (reply->error() != QNetworkReply::NoError) {
        qCWarning(lcDownload) << "download of" << where << "failed:" << reply->errorString();
        return false;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        // A redirect that was not followed, or any other non-2xx page, is not the file.
        const int code = status.toInt();
        if (code < 200 || code > 299) {
            qCWarning(lcDownload) << "download of" << where << "ended with status" << code;
            return false;
        }
    } else if (reply->url().scheme().startsWith(QLatin1String("http"))) {
        qCWarning(lcDownload) << "download of" << where << "has no status";
        return false;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    // The body is still encoded here, as the length counts it.
    if (length.isValid() && reply->bytesAvailable() < length.toLongLong()) {
        qCWarning(lcDownload) << "download of" << where << "cut short:" << reply->bytesAvailable()
                              << "of" << length.toLongLong() << "bytes";
        return false;
    }
    return true;
}

bool FileDownloader::storeBody(QNetworkReply *reply)
{
    const QString path = folder() + fileName;
    QByteArray body = reply->readAll();
    if (!decodeBody(reply, body))
        return false;
    if (!matchesExpected(body)) {
        // Not even an older file of that name may stand in for the one refused.
        QFile::remove(path);
        return false;
    }
    return writeBody(path, body);
}

bool FileDownloader::matchesExpected(const QByteArray &body)
{
    receivedDigest
        = QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex());
    mismatch = (expectedSize >= 0 && body.size() != expectedSize)
        || (!expectedDigest.isEmpty() && receivedDigest != expectedDigest);
    if (mismatch)
        qCWarning(lcDownload) << fileName << ":" << body.size() << "bytes, SHA-256"
                              << receivedDigest << "; expected" << expectedSize << expectedDigest;
    return !mismatch;
}

bool FileDownloader::writeBody(const QString &path, const QByteArray &body)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir)) {
        writeErrorText = QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(dir));
        qCWarning(lcDownload).noquote() << writeErrorText;
        return false;
    }
    // QSaveFile writes beside the target and renames on commit: never a partial file at the path.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit()) {
        writeErrorText
            = file.errorString().isEmpty() ? QStringLiteral("write failed") : file.errorString();
        qCWarning(lcDownload) << "cannot write" << path << ":" << writeErrorText;
        return false;
    }
    return true;
}

bool FileDownloader::decodeBody(QNetworkReply *reply, QByteArray &body) const
{
    using R = ContentDecoder::Result;
    const R result
        = ContentDecoder::decode(reply->rawHeader("Content-Encoding"), body, maxBodySize);
    if (result == R::Decoded)
        return true;
    const char *why = result == R::CutShort ? "cut short"
        : result == R::TooLarge             ? "too large once decoded"
        : result == R::Unsupported          ? "in an encoding not asked for"
                                            : "not decodable";
    qCWarning(lcDownload) << "download of" << reply->url().toDisplayString() << "is" << why;
    return false;
}
