#include "HistoryFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// The data reach the disk before the caller goes on: a power cut right after still leaves the
// start line of an update that had begun.
bool syncToDisk(QFile &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))) != 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

bool endsWithNewline(QFile &file)
{
    if (file.size() == 0)
        return true;
    if (!file.seek(file.size() - 1))
        return false;
    char last = 0;
    return file.getChar(&last) && last == '\n';
}

void readInto(const QString &path, QVector<HistoryRecord> &records, QHash<QString, int> &byId)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        QJsonParseError status {};
        const QJsonObject object = QJsonDocument::fromJson(line, &status).object();
        if (status.error != QJsonParseError::NoError)
            continue; // torn by a crash mid-write, or not ours
        const QString id = object.value("id").toString();
        HistoryRecord record;
        if (record.takeStart(object)) {
            if (!byId.contains(id)) {
                byId.insert(id, records.size());
                records << record;
            }
        } else if (byId.contains(id)) {
            records[byId.value(id)].takeEnd(object);
        }
    }
}

} // namespace

HistoryFile::HistoryFile(const QString &path, qint64 rotateBytes)
    : filePath(path)
    , rotateBytes(rotateBytes)
{
}

QString HistoryFile::previousPath() const
{
    QString previous = filePath;
    if (previous.endsWith(QLatin1String(".jsonl")))
        previous.chop(6);
    return previous + QStringLiteral(".1.jsonl");
}

bool HistoryFile::append(const QJsonObject &line)
{
    error.clear();
    if (filePath.isEmpty()) {
        error = QStringLiteral("no folder for the history");
        return false;
    }
    if (!QDir().mkpath(QFileInfo(filePath).absolutePath())) {
        error = QStringLiteral("cannot create %1").arg(QFileInfo(filePath).absolutePath());
        return false;
    }
    QLockFile lock(filePath + QStringLiteral(".lock"));
    // Held for a few milliseconds at most; a holder that died is noticed by its process id.
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(10000)) {
        error = QStringLiteral("cannot lock %1").arg(filePath);
        return false;
    }
    rotateIfFull();
    return appendLocked(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}

void HistoryFile::rotateIfFull()
{
    if (QFileInfo(filePath).size() < rotateBytes)
        return;
    QFile::remove(previousPath());
    QFile::rename(filePath, previousPath());
}

bool HistoryFile::appendLocked(const QByteArray &bytes)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadWrite)) {
        error = QStringLiteral("cannot write %1: %2").arg(filePath, file.errorString());
        return false;
    }
    // A line torn by a crash is closed off, so that this one starts fresh and reads whole.
    const QByteArray data = endsWithNewline(file) ? bytes : '\n' + bytes;
    if (!file.seek(file.size()) || file.write(data) != data.size() || !syncToDisk(file)) {
        error = QStringLiteral("cannot write %1: %2").arg(filePath, file.errorString());
        return false;
    }
    return true;
}

QVector<HistoryRecord> HistoryFile::read() const
{
    QVector<HistoryRecord> records;
    QHash<QString, int> byId;
    readInto(previousPath(), records, byId);
    readInto(filePath, records, byId);
    return records;
}
