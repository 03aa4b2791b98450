#pragma once

#include "HistoryRecord.h"

#include <QString>
#include <QVector>

class QJsonObject;

// The history file, shared by every copy of both programs: lines are appended under a file lock
// (a lock file beside it, released by the system when its holder dies), each written whole,
// flushed and synced before the call returns. Past the size limit the file is renamed to
// "history.1.jsonl" (replacing the one before) and a new one begun; reading takes both.
class HistoryFile
{
public:
    static constexpr qint64 defaultRotateBytes = 10 * 1024 * 1024;

    explicit HistoryFile(const QString &path, qint64 rotateBytes = defaultRotateBytes);

    QString path() const { return filePath; }
    QString previousPath() const;

    // False, with errorString() saying why, when the line could not be made durable.
    bool append(const QJsonObject &line);
    QString errorString() const { return error; }

    // Every update in the two files, oldest first; a start line without its end reads as
    // unfinished; lines that cannot be read (a torn last line) are skipped.
    QVector<HistoryRecord> read() const;

private:
    bool appendLocked(const QByteArray &bytes);
    void rotateIfFull();

    QString filePath;
    qint64 rotateBytes;
    QString error;
};
