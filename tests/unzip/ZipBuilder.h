#pragma once

#include <QByteArray>
#include <QList>

// Assembles zip archives byte by byte, so that a test can make every field lie on purpose.
class ZipBuilder
{
public:
    struct Entry
    {
        QByteArray name;
        QByteArray data; // what the entry unpacks to
        quint16 method = 8; // 0 stored, 8 deflated, anything else as given
        quint16 flags = 0;
        quint16 madeBy = 0x0314; // Unix, so the mode below counts
        quint16 versionNeeded = 20;
        quint32 unixMode = 0100644;
        QByteArray extra;
        // Overrides of what the headers declare; negative: the true value.
        qint64 declaredSize = -1;
        qint64 declaredCrc = -1;
        QByteArray rawData; // when set, stored as the entry's data instead of packing `data`
        // What the local header says instead of the central directory's values; negative or
        // null: the same.
        qint32 localMethod = -1;
        QByteArray localName;
    };

    static Entry file(const QByteArray &name, const QByteArray &data);
    static Entry folder(const QByteArray &name);
    static Entry symlink(const QByteArray &name, const QByteArray &target);

    ZipBuilder &add(const Entry &entry)
    {
        entries.append(entry);
        return *this;
    }
    QByteArray build() const;

    static QByteArray deflateRaw(const QByteArray &data);

private:
    QList<Entry> entries;
};
