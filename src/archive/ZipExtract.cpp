#include "ZipExtract.h"

#include "ZipDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
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

// Every file entry unpacked once, through the bounded check that also proves size and CRC-32.
bool unpackEntries(const QByteArray &archive, const QVector<ZipEntry> &entries,
                   QVector<QByteArray> *contents, QString *why)
{
    contents->resize(entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries[i].isDir && !checkZipEntryData(archive, entries[i], why, &(*contents)[i]))
            return false;
    }
    return true;
}

// Qt's reader must list the very entries that were checked. It is asked by position only: its
// per-name data lookup searches all names for each entry, which is quadratic in the entries.
bool listingAgrees(const QString &zipPath, const QVector<ZipEntry> &entries, QString *why)
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
    }
    return true;
}

bool writeEntries(const QString &folder, const QVector<ZipEntry> &entries,
                  const QVector<QByteArray> &contents)
{
    const QDir target(folder);
    for (int i = 0; i < entries.size(); ++i) {
        const QString path = target.filePath(entries[i].name);
        if (entries[i].isDir) {
            if (!QDir().mkpath(path))
                return false;
            continue;
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents[i]) != contents[i].size()
            || !file.flush()) {
            qCWarning(lcUnzip) << "cannot write" << path << ":" << file.errorString();
            return false;
        }
    }
    return true;
}

QString firstSegment(const QString &name)
{
    return name.section('/', 0, 0);
}

// Nothing may be in the way of a move: an existing file is replaced, an existing folder is
// merged into, but a file where a folder must go (or the reverse) refuses the whole archive.
bool placesAreFree(const QString &targetDir, const QString &stagingName,
                   const QVector<ZipEntry> &entries)
{
    const QDir target(targetDir);
    for (const ZipEntry &e : entries) {
        if (firstSegment(e.name) == stagingName)
            return false;
        const QString path = e.isDir ? e.name.chopped(1) : e.name;
        const QStringList parts = path.split('/');
        for (int i = 1; i < parts.size(); ++i) {
            const QFileInfo parent(target.filePath(parts.mid(0, i).join('/')));
            if (parent.exists() && !parent.isDir())
                return false;
        }
        const QFileInfo place(target.filePath(path));
        if (place.exists() && (place.isSymLink() || place.isDir() != e.isDir))
            return false;
    }
    return true;
}

// Moves every staged entry to its place; on a failure takes back what it had placed.
bool moveIntoPlace(const QString &stagingDir, const QString &targetDir,
                   const QVector<ZipEntry> &entries)
{
    const QDir staging(stagingDir);
    const QDir target(targetDir);
    QStringList placed; // files moved and folders created, in order
    bool ok = true;
    for (int i = 0; ok && i < entries.size(); ++i) {
        const ZipEntry &e = entries[i];
        const QString to = target.filePath(e.isDir ? e.name.chopped(1) : e.name);
        const QStringList parts = QDir(targetDir).relativeFilePath(to).split('/');
        for (int p = 1; p <= parts.size() - (e.isDir ? 0 : 1); ++p) {
            const QString folder = target.filePath(parts.mid(0, p).join('/'));
            if (!QFileInfo(folder).isDir()) {
                ok = ok && QDir().mkdir(folder);
                placed << folder;
            }
        }
        if (!ok || e.isDir)
            continue;
        QFile::remove(to);
        ok = QFile::rename(staging.filePath(e.name), to);
        if (ok)
            placed << to;
    }
    if (!ok) {
        for (int i = placed.size() - 1; i >= 0; --i)
            QFileInfo(placed[i]).isDir() ? QDir().rmdir(placed[i]) : QFile::remove(placed[i]);
    }
    return ok;
}

// The outermost folder of path that does not exist yet (empty when path exists), so that a failed
// unpacking can remove what it created.
QString firstMissingFolder(const QString &path)
{
    QString missing;
    for (QFileInfo at(QDir::cleanPath(QFileInfo(path).absoluteFilePath())); !at.exists();
         at = QFileInfo(at.absolutePath())) {
        missing = at.absoluteFilePath();
        if (at.isRoot())
            break;
    }
    return missing;
}

bool writeThroughStaging(const QString &targetDir, const QVector<ZipEntry> &entries,
                         const QVector<QByteArray> &contents)
{
    const QString created = firstMissingFolder(targetDir);
    bool ok = QDir().mkpath(targetDir);
    if (ok) {
        QTemporaryDir staging(QDir(targetDir).filePath(".unpacking-XXXXXX"));
        const QString stagingName = QFileInfo(staging.path()).fileName();
        ok = staging.isValid() && writeEntries(staging.path(), entries, contents)
            && placesAreFree(targetDir, stagingName, entries)
            && moveIntoPlace(staging.path(), targetDir, entries);
    }
    if (!ok && !created.isEmpty())
        QDir(created).removeRecursively();
    return ok;
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
    const bool ok = readArchive(zipPath, &archive, &why)
        && readZipDirectory(archive, maxUnzipSize, maxUnzipEntries, &entries, &why)
        && unpackEntries(archive, entries, &contents, &why)
        && listingAgrees(zipPath, entries, &why);
    if (!ok) {
        qCWarning(lcUnzip) << "refusing archive" << zipPath << ":" << why;
        return false;
    }
    if (!writeThroughStaging(targetDir, entries, contents)) {
        qCWarning(lcUnzip) << "unpacking" << zipPath << "into" << targetDir << "failed";
        return false;
    }
    return true;
}
