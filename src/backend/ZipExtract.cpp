#include "ZipExtract.h"

#include "ZipDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QVector>
#include <private/qzipreader_p.h>

Q_LOGGING_CATEGORY(lcUnzip, "fwu.unzip")

namespace {

// Qt's reader trims leading dots and slashes and trailing slashes from the names it lists.
QString asListedByReader(QString name)
{
    while (name.startsWith('.') || name.startsWith('/'))
        name.remove(0, 1);
    while (name.endsWith('/'))
        name.chop(1);
    return name;
}

bool readArchive(const QString &zipPath, QByteArray *bytes, QString *why)
{
    QFile file(zipPath);
    if (!file.open(QIODevice::ReadOnly))
        return *why = file.errorString(), false;
    if (file.size() > maxUnzipSize)
        return *why = "archive too large", false;
    *bytes = file.readAll();
    return true;
}

// The reader must see the very entries that were checked, and hand out exactly the checked data.
bool readThroughQtReader(const QString &zipPath, const QVector<ZipEntry> &entries,
                         QVector<QByteArray> *contents, QString *why)
{
    QZipReader reader(zipPath);
    if (!reader.isReadable() || reader.status() != QZipReader::NoError
        || reader.count() != entries.size())
        return *why = "the archive reader disagrees", false;
    for (int i = 0; i < entries.size(); ++i) {
        const ZipEntry &e = entries[i];
        const QZipReader::FileInfo info = reader.entryInfoAt(i);
        if (info.isSymLink || bool(info.isDir) != e.isDir
            || info.filePath != asListedByReader(e.name))
            return *why = "the archive reader disagrees on " + e.name, false;
        QByteArray data;
        if (!e.isDir) {
            data = reader.fileData(e.name);
            if (data.size() != e.size || zipCrc32(data.constData(), data.size()) != e.crc)
                return *why = "the archive reader gives other data for " + e.name, false;
        }
        contents->append(data);
    }
    return true;
}

bool writeEntries(const QString &targetDir, const QVector<ZipEntry> &entries,
                  const QVector<QByteArray> &contents)
{
    const QDir target(targetDir);
    for (int i = 0; i < entries.size(); ++i) {
        const QString path = target.filePath(entries[i].name);
        if (entries[i].isDir) {
            if (!QDir().mkpath(path))
                return false;
            continue;
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents[i]) != contents[i].size()
            || !file.commit()) {
            qCWarning(lcUnzip) << "cannot write" << path << ":" << file.errorString();
            return false;
        }
    }
    return true;
}

} // namespace

bool unzipFile(const QString &zipPath, const QString &targetDir)
{
    // Checked entry by entry instead of QZipReader::extractAll, which follows symlinks, lets
    // "../" names escape the folder, skips unsupported entries while reporting success and
    // allocates whatever a size field claims.
    QByteArray archive;
    QVector<ZipEntry> entries;
    QVector<QByteArray> contents;
    QString why;
    bool ok = readArchive(zipPath, &archive, &why)
        && readZipDirectory(archive, maxUnzipSize, &entries, &why);
    for (int i = 0; ok && i < entries.size(); ++i)
        ok = entries[i].isDir || checkZipEntryData(archive, entries[i], &why);
    ok = ok && readThroughQtReader(zipPath, entries, &contents, &why);
    if (!ok) {
        qCWarning(lcUnzip) << "refusing archive" << zipPath << ":" << why;
        return false;
    }
    if (!QDir().mkpath(targetDir) || !writeEntries(targetDir, entries, contents)) {
        qCWarning(lcUnzip) << "unpacking" << zipPath << "into" << targetDir << "failed";
        return false;
    }
    return true;
}
