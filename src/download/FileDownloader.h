#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches one URL into the temp folder under the URL's file name, waiting in a local event loop so
// the interface stays live, and reports progress. Every download that starts ends with exactly one
// report whose isFinish is true: (100, true) when the file was stored, (0, true) otherwise.
class FileDownloader : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultTransferTimeoutMs = 30000;
    static constexpr qint64 defaultMaxBodySize = 64 * 1024 * 1024;
    static constexpr qint64 defaultSpeedFloor = 1024; // bytes a second
    static constexpr int defaultSpeedWindowMs = 30000;

    explicit FileDownloader(QObject *parent = nullptr);

    // Returns when the download has ended; succeeded() then tells the outcome. Refused (nothing
    // started, no report) while another download is waiting.
    void downloadFile(const QUrl &url);

    // Aborts the waiting download: it ends with its (0, true) report and stores nothing.
    void cancel();

    // For the next download only: the body, as saved, must be `size` bytes (-1: any length) with
    // this SHA-256 (hex; empty: any). A body that differs is not stored, and more bytes than
    // `size` end the transfer early.
    void expect(qint64 size, const QString &sha256);
    // The last download arrived but is not what was expected; receivedSha256() is what came.
    bool mismatched() const { return mismatch; }
    QString receivedSha256() const { return receivedDigest; }
    // The last download arrived but could not be saved; writeError() says why.
    bool writeFailed() const { return !writeErrorText.isEmpty(); }
    QString writeError() const { return writeErrorText; }

    bool succeeded() const { return isSuccess; }
    // The final HTTP status of the last download, 0 when none came (a network fault, a file URL).
    int httpStatus() const { return lastStatus; }
    bool wasCancelled() const { return cancelled; }
    QString downloadedFileName() const { return fileName; }
    bool isBusy() const { return current != nullptr || waiting; }

    // Where downloads are stored (with the trailing slash); the program's download folder by
    // default.
    void setDownloadFolder(const QString &folder) { downloadFolder = folder; }
    QString folder() const;

    // A transfer that sees no data for this long fails; tests shorten it.
    void setTransferTimeout(int msec) { transferTimeoutMs = msec; }
    // A body larger than this is aborted; it also bounds what an archive can unpack to.
    void setMaxBodySize(qint64 bytes) { maxBodySize = bytes; }
    // A transfer that gets fewer than bytesPerSecond on average over a window of windowMs fails as
    // stalled, as curl's --speed-limit and --speed-time: a server dripping a byte now and then
    // never trips the transfer timeout. Tests shorten the window.
    void setSpeedFloor(qint64 bytesPerSecond, int windowMs);

signals:
    void downLoadProgress(int percent, bool isFinish);

private slots:
    void onDownloadFinished();
    void onReadyRead();
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void checkSpeed();

private:
    void abortTooLarge(QNetworkReply *reply);
    bool replySucceeded(QNetworkReply *reply) const;
    bool storeBody(QNetworkReply *reply);
    bool decodeBody(QNetworkReply *reply, QByteArray &body) const;
    bool matchesExpected(const QByteArray &body);
    bool writeBody(const QString &path, const QByteArray &body);

    QString downloadFolder;
    QString fileName;
    bool isSuccess = false;
    int lastStatus = 0;
    QNetworkAccessManager *manager;

    QNetworkReply *current = nullptr;
    bool waiting = false;
    bool tooLarge = false;
    bool stalled = false;
    bool cancelled = false;
    bool mismatch = false;
    qint64 expectedSize = -1;
    QString expectedDigest;
    QString receivedDigest;
    QString writeErrorText;
    QTimer speedTimer;
    qint64 windowStartBytes = 0;
    qint64 speedFloor = defaultSpeedFloor;
    int speedWindowMs = defaultSpeedWindowMs;
    int transferTimeoutMs = defaultTransferTimeoutMs;
    qint64 maxBodySize = defaultMaxBodySize;
};
