#include "ZipBuilder.h"

#include <zlib.h>

namespace {

void put16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xff));
    b.append(char(v >> 8));
}

void put32(QByteArray &b, quint32 v)
{
    put16(b, quint16(v & 0xffff));
    put16(b, quint16(v >> 16));
}

} // namespace

ZipBuilder::Entry ZipBuilder::file(const QByteArray &name, const QByteArray &data)
{
    Entry e;
    e.name = name;
    e.data = data;
    return e;
}

ZipBuilder::Entry ZipBuilder::folder(const QByteArray &name)
{
    Entry e;
    e.name = name;
    e.method = 0;
    e.unixMode = 040755;
    return e;
}

ZipBuilder::Entry ZipBuilder::symlink(const QByteArray &name, const QByteArray &target)
{
    Entry e = file(name, target);
    e.method = 0;
    e.unixMode = 0120777;
    return e;
}

QByteArray ZipBuilder::deflateRaw(const QByteArray &data)
{
    z_stream z {};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray ZipBuilder::build() const
{
    QByteArray archive;
    QByteArray directory;
    for (const Entry &e : entries) {
        const QByteArray packed = !e.rawData.isNull() ? e.rawData
            : e.method == 8                           ? deflateRaw(e.data)
                                                      : e.data;
        const quint32 crc = e.declaredCrc >= 0
            ? quint32(e.declaredCrc)
            : quint32(
                crc32(0, reinterpret_cast<const Bytef *>(e.data.constData()), uInt(e.data.size())));
        const quint32 size = e.declaredSize >= 0 ? quint32(e.declaredSize) : quint32(e.data.size());
        const quint32 offset = quint32(archive.size());

        put32(archive, 0x04034b50);
        put16(archive, 20);
        put16(archive, e.flags);
        put16(archive, e.localMethod >= 0 ? quint16(e.localMethod) : e.method);
        put32(archive, 0); // time and date
        put32(archive, crc);
        put32(archive, quint32(packed.size()));
        put32(archive, size);
        const QByteArray localName = e.localName.isNull() ? e.name : e.localName;
        put16(archive, quint16(localName.size()));
        put16(archive, quint16(e.extra.size()));
        archive += localName + e.extra + packed;

        put32(directory, 0x02014b50);
        put16(directory, e.madeBy);
        put16(directory, e.versionNeeded);
        put16(directory, e.flags);
        put16(directory, e.method);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, quint32(packed.size()));
        put32(directory, size);
        put16(directory, quint16(e.name.size()));
        put16(directory, quint16(e.extra.size()));
        put16(directory, 0); // comment
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, e.unixMode << 16);
        put32(directory, offset);
        directory += e.name + e.extra;
    }
    const quint32 directoryOffset = quint32(archive.size());
    archive += directory;
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, quint16(entries.size()));
    put16(archive, quint16(entries.size()));
    put32(archive, quint32(directory.size()));
    put32(archive, directoryOffset);
    put16(archive, 0);
    return archive;
}
