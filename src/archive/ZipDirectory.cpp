#include "ZipDirectory.h"

#include <QSet>
#include <QStringList>
#include <zlib.h>

namespace {

constexpr quint32 endOfDirectorySig = 0x06054b50;
constexpr quint32 centralHeaderSig = 0x02014b50;
constexpr quint32 localHeaderSig = 0x04034b50;
constexpr int endOfDirectorySize = 22;
constexpr int centralHeaderSize = 46;
constexpr int localHeaderSize = 30;
constexpr quint16 flagEncrypted = 0x0001;
constexpr quint16 flagDataDescriptor = 0x0008;
constexpr quint16 flagStrongEncryption = 0x0040;
constexpr quint16 flagUtf8Names = 0x0800;
// What a reader of stored and deflated entries implements (2.0); Qt's reader refuses any later.
constexpr quint16 versionDeflate = 20;
constexpr quint16 methodStored = 0;
constexpr quint16 methodDeflated = 8;
constexpr quint16 zip64ExtraId = 0x0001;
constexpr int madeByUnix = 3;
constexpr quint32 unixTypeMask = 0170000;
constexpr quint32 unixRegular = 0100000;
constexpr quint32 unixDirectory = 0040000;

quint16 u16(const QByteArray &b, qint64 at)
{
    return quint16(uchar(b[int(at)]) | uchar(b[int(at + 1)]) << 8);
}

quint32 u32(const QByteArray &b, qint64 at)
{
    return quint32(u16(b, at)) | quint32(u16(b, at + 2)) << 16;
}

bool fits(const QByteArray &b, qint64 at, qint64 length)
{
    return at >= 0 && length >= 0 && at + length <= b.size();
}

qint64 findEndOfDirectory(const QByteArray &b)
{
    // The record sits at the end, followed only by a comment of at most 65535 bytes.
    const qint64 last = b.size() - endOfDirectorySize;
    for (qint64 at = last; at >= 0 && at >= last - 0xffff; --at) {
        if (u32(b, at) == endOfDirectorySig)
            return at;
    }
    return -1;
}

bool hasZip64Extra(const QByteArray &b, qint64 at, int length)
{
    for (qint64 p = at; p + 4 <= at + length; p += 4 + u16(b, p + 2)) {
        if (u16(b, p) == zip64ExtraId)
            return true;
    }
    return false;
}

// Regular file or folder only: a symlink, device or pipe entry is refused.
bool typeAgrees(quint16 madeBy, quint32 externalAttributes, bool nameIsDir)
{
    if ((madeBy >> 8) != madeByUnix)
        return true;
    const quint32 type = (externalAttributes >> 16) & unixTypeMask;
    if (type == 0)
        return true;
    return nameIsDir ? type == unixDirectory : type == unixRegular;
}

// Readers differ in which of the two headers they believe (Qt's takes the method from the local
// one), so an archive is only read when both say the same.
bool localHeaderAgrees(const QByteArray &b, qint64 at, const ZipEntry &e, const QByteArray &name)
{
    const quint16 flags = u16(b, at + 6);
    const int nameLength = u16(b, at + 26);
    if (u16(b, at + 8) != e.method || (flags & (flagEncrypted | flagStrongEncryption))
        || !fits(b, at + localHeaderSize, nameLength)
        || b.mid(int(at + localHeaderSize), nameLength) != name)
        return false;
    // Sizes and CRC may follow the data instead, in a descriptor; otherwise they must agree too.
    return (flags & flagDataDescriptor)
        || (u32(b, at + 14) == e.crc && u32(b, at + 18) == quint32(e.compressedSize)
            && u32(b, at + 22) == quint32(e.size));
}

QString decodeName(const QByteArray &raw, quint16 flags)
{
    return (flags & flagUtf8Names) ? QString::fromUtf8(raw) : QString::fromLocal8Bit(raw);
}

bool readEntry(const QByteArray &b, qint64 at, qint64 maxSize, ZipEntry *e, qint64 *next,
               QString *why)
{
    if (!fits(b, at, centralHeaderSize) || u32(b, at) != centralHeaderSig)
        return *why = "broken central directory", false;
    const quint16 madeBy = u16(b, at + 4);
    const quint16 versionNeeded = u16(b, at + 6);
    const quint16 flags = u16(b, at + 8);
    e->method = u16(b, at + 10);
    e->crc = u32(b, at + 16);
    e->compressedSize = u32(b, at + 20);
    e->size = u32(b, at + 24);
    const int nameLength = u16(b, at + 28);
    const int extraLength = u16(b, at + 30);
    const int commentLength = u16(b, at + 32);
    const quint32 externalAttributes = u32(b, at + 38);
    const qint64 localOffset = u32(b, at + 42);
    *next = at + centralHeaderSize + nameLength + extraLength + commentLength;
    if (!fits(b, at, *next - at))
        return *why = "broken central directory", false;
    const QByteArray raw = b.mid(int(at + centralHeaderSize), nameLength);
    e->name = decodeName(raw, flags);
    e->isDir = e->name.endsWith('/');
    const QString path = e->isDir ? e->name.chopped(1) : e->name;
    if (raw.contains('\0') || !isSafeRelativePath(path))
        return *why = "unsafe name " + e->name, false;
    if (!typeAgrees(madeBy, externalAttributes, e->isDir))
        return *why = e->name + " is neither a regular file nor a folder", false;
    if (versionNeeded > versionDeflate)
        return *why = e->name + " needs zip version " + QString::number(versionNeeded), false;
    if (flags & (flagEncrypted | flagStrongEncryption))
        return *why = e->name + " is encrypted", false;
    if (hasZip64Extra(b, at + centralHeaderSize + nameLength, extraLength))
        return *why = e->name + " is a zip64 entry", false;
    if (e->method != methodStored && e->method != methodDeflated)
        return *why = e->name + " uses compression method " + QString::number(e->method), false;
    if (e->size > maxSize || e->compressedSize > maxSize)
        return *why = e->name + " is too large", false;
    if (e->method == methodStored && e->compressedSize != e->size)
        return *why = e->name + " has inconsistent sizes", false;
    if (!fits(b, localOffset, localHeaderSize) || u32(b, localOffset) != localHeaderSig)
        return *why = e->name + " has no local header", false;
    if (!localHeaderAgrees(b, localOffset, *e, raw))
        return *why = e->name + ": its local header disagrees with the central directory", false;
    e->dataOffset
        = localOffset + localHeaderSize + u16(b, localOffset + 26) + u16(b, localOffset + 28);
    if (!fits(b, e->dataOffset, e->compressedSize))
        return *why = e->name + " runs past the archive", false;
    return true;
}

// Two entries may not land on one path, nor a file where a folder must be (Windows folds case).
bool pathsAreDistinct(const QVector<ZipEntry> &entries, QString *why)
{
    QSet<QString> files;
    QSet<QString> folders;
    for (const ZipEntry &e : entries) {
        const QStringList parts = e.name.toLower().split('/', Qt::SkipEmptyParts);
        for (int i = 1; i < parts.size(); ++i)
            folders.insert(parts.mid(0, i).join('/'));
        const QString path = parts.join('/');
        if (e.isDir) {
            folders.insert(path);
        } else if (files.contains(path)) {
            return *why = "duplicate entry " + e.name, false;
        } else {
            files.insert(path);
        }
    }
    if (files.intersects(folders))
        return *why = "an entry is both a file and a folder", false;
    return true;
}

} // namespace

bool isSafeRelativePath(const QString &path)
{
    if (path.isEmpty() || path.startsWith('/'))
        return false;
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c == '\\' || c == ':')
            return false;
    }
    const QStringList segments = path.split('/');
    for (const QString &s : segments) {
        if (s.isEmpty() || s == QLatin1String(".") || s == QLatin1String(".."))
            return false;
    }
    return true;
}

quint32 zipCrc32(const char *data, qint64 size)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const uInt chunk = uInt(qMin<qint64>(size, 1 << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data), chunk);
        data += chunk;
        size -= chunk;
    }
    return quint32(crc);
}

bool readZipDirectory(const QByteArray &archive, qint64 maxSize, int maxEntries,
                      QVector<ZipEntry> *entries, QString *why)
{
    entries->clear();
    const qint64 end = findEndOfDirectory(archive);
    if (end < 0)
        return *why = "not a zip archive", false;
    const int count = u16(archive, end + 10);
    const qint64 directorySize = u32(archive, end + 12);
    const qint64 directoryOffset = u32(archive, end + 16);
    if (u16(archive, end + 4) != 0 || u16(archive, end + 6) != 0 || u16(archive, end + 8) != count)
        return *why = "multi-volume archive", false;
    if (count == 0xffff || directoryOffset == 0xffffffff || directorySize == 0xffffffff)
        return *why = "zip64 archive", false;
    if (directoryOffset + directorySize > end)
        return *why = "broken end of central directory", false;
    if (count > maxEntries)
        return *why = QString("%1 entries, more than %2").arg(count).arg(maxEntries), false;
    qint64 total = 0;
    qint64 at = directoryOffset;
    for (int i = 0; i < count; ++i) {
        ZipEntry e;
        if (!readEntry(archive, at, maxSize, &e, &at, why))
            return false;
        if (e.dataOffset + e.compressedSize > directoryOffset)
            return *why = e.name + " overlaps the central directory", false;
        total += e.size;
        if (total > maxSize)
            return *why = "archive unpacks to more than " + QString::number(maxSize), false;
        entries->append(e);
    }
    return pathsAreDistinct(*entries, why);
}

bool checkZipEntryData(const QByteArray &archive, const ZipEntry &e, QString *why,
                       QByteArray *unpacked)
{
    const char *data = archive.constData() + e.dataOffset;
    if (e.method == methodStored) {
        if (zipCrc32(data, e.size) != e.crc)
            return *why = e.name + " fails its CRC check", false;
        if (unpacked)
            *unpacked = archive.mid(int(e.dataOffset), int(e.size));
        return true;
    }
    if (unpacked)
        unpacked->clear();
    z_stream z {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return *why = "no inflater", false;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    z.avail_in = uInt(e.compressedSize);
    // Inflate through a small window and count: a lying size field must not decide an allocation.
    char window[64 * 1024];
    uLong crc = crc32(0L, Z_NULL, 0);
    qint64 produced = 0;
    int rc = Z_OK;
    while (rc == Z_OK && produced <= e.size) {
        z.next_out = reinterpret_cast<Bytef *>(window);
        z.avail_out = sizeof window;
        rc = inflate(&z, Z_NO_FLUSH);
        const uInt got = uInt(sizeof window - z.avail_out);
        produced += got;
        crc = crc32(crc, reinterpret_cast<Bytef *>(window), got);
        if (unpacked && produced <= e.size)
            unpacked->append(window, int(got));
        if (rc == Z_BUF_ERROR && got > 0)
            rc = Z_OK;
    }
    inflateEnd(&z);
    if (produced > e.size || (rc == Z_STREAM_END && produced != e.size))
        return *why = e.name + " does not unpack to its declared size", false;
    if (rc != Z_STREAM_END)
        return *why = e.name + " holds corrupt or truncated data", false;
    if (quint32(crc) != e.crc)
        return *why = e.name + " fails its CRC check", false;
    return true;
}
