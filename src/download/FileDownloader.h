#pragma once

#include <QObject>
#include <QString>
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

    explicit FileDownloader(QObject *parent = nullptr);

    // Returns when the download has ended; succeeded() then tells the outcome. Refused (nothing
    // started, no report) while another download is waiting.
    void downloadFile(const QUrl &url);

    bool succeeded() const { return isSuccess; }
    // The final HTTP status of the last download, 0 when none came (a network fault, a file URL).
    int httpStatus() const { return lastStatus; }
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

signals:
    void downLoadProgress(int percent, bool isFinish);

private slots:
    void onDownloadFinished();
    void onReadyRead();
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private:
    void abortTooLarge(QNetworkReply *reply);
    bool replySucceeded(QNetworkReply *reply) const;
    bool storeBody(QNetworkReply *reply);

    QString downloadFolder;
    QString fileName;
    bool isSuccess = false;
    int lastStatus = 0;
    QNetworkAccessManager *manager;

    QNetworkReply *current = nullptr;
    bool waiting = false;
    bool tooLarge = false;
    int transferTimeoutMs = defaultTransferTimeoutMs;
    qint64 maxBodySize = defaultMaxBodySize;
};
