#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// One entry of a zip archive's central directory, as far as unpacking needs it.
struct ZipEntry
{
    QString name; // decoded, with the trailing "/" of a folder entry
    bool isDir = false;
    quint16 method = 0;
    quint32 crc = 0;
    qint64 compressedSize = 0;
    qint64 size = 0;
    qint64 dataOffset = 0;
};

// Reads the central directory of a whole archive held in memory and accepts it only when it has
// at most maxEntries entries (counted before any is read) and every entry is a regular file or
// folder with a safe relative name, stored or deflated, not encrypted, not zip64, with a declared
// size within maxSize (also their sum), and with no two entries that would land on the same path.
// On refusal returns false and says why.
bool readZipDirectory(const QByteArray &archive, qint64 maxSize, int maxEntries,
                      QVector<ZipEntry> *entries, QString *why);

// Decompresses one file entry through a bounded buffer and checks that it yields exactly the
// declared size and CRC-32. The declared sizes cannot be trusted until this has passed. When data
// is given it receives the unpacked bytes (complete only when the check passed).
bool checkZipEntryData(const QByteArray &archive, const ZipEntry &entry, QString *why,
                       QByteArray *data = nullptr);

// A relative path made of non-empty segments other than "." and "..", without a leading "/",
// "\", ":" (drive or stream), NUL or other control characters.
bool isSafeRelativePath(const QString &path);

quint32 zipCrc32(const char *data, qint64 size);
