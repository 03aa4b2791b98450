// Archives from untrusted bytes: check and unpack into a folder deep inside a scratch folder, then
// look at everything in the scratch folder. Nothing may exist outside the target but the archive;
// a refused archive leaves no target at all; an accepted one leaves exactly its files, with the
// data Qt's own reader gives for them.
#include "FuzzCheck.h"
#include "ZipDirectory.h"
#include "ZipExtract.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <private/qzipreader_p.h>

namespace {

// Deep enough that a name climbing out of the target still lands inside the scratch folder.
const char *const targetPath = "a/b/c/d/e/f/g/h/i/j/bin";
const char *const archivePath = "in/fw.zip";

QStringList everythingUnder(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    return found;
}

// Every file the target holds is an entry of the archive with the data Qt's own reader gives for
// it; every entry is there; nothing else was written anywhere.
void checkUnpackedFiles(const QString &archive, const QString &target, const QStringList &found)
{
    QFile file(archive);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    QVector<ZipEntry> entries;
    QString why;
    FUZZ_CHECK(readZipDirectory(file.readAll(), maxUnzipSize, maxUnzipEntries, &entries, &why));
    QZipReader reader(archive);
    const QString prefix = QLatin1String(targetPath) + '/';
    QSet<QString> files;
    QSet<QString> folders; // the folder entries and the folders leading to any entry
    for (const ZipEntry &e : entries) {
        const QStringList parts = (prefix + e.name).split('/', Qt::SkipEmptyParts);
        for (int i = 1; i < parts.size(); ++i)
            folders.insert(parts.mid(0, i).join('/'));
        if (e.isDir)
            folders.insert(parts.join('/'));
        const QFileInfo written(QDir(target).filePath(e.name));
        FUZZ_CHECK(!written.isSymLink());
        if (e.isDir) {
            FUZZ_CHECK(written.isDir());
            continue;
        }
        QFile unpacked(written.filePath());
        FUZZ_CHECK(written.isFile() && unpacked.open(QIODevice::ReadOnly));
        FUZZ_CHECK(unpacked.readAll() == reader.fileData(e.name));
        files.insert(QLatin1String(targetPath) + '/' + e.name);
    }
    for (const QString &path : found) {
        const bool onTheWay = prefix.startsWith(path + '/');
        FUZZ_CHECK(path == "in" || path == archivePath || onTheWay || files.contains(path)
                   || folders.contains(path));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir scratch;
    const QDir root(scratch.path());
    FUZZ_CHECK(QDir().mkpath(root.filePath("in")));
    {
        QFile file(root.filePath(archivePath));
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }
    const QString target = root.filePath(targetPath);
    const bool accepted = unzipFile(root.filePath(archivePath), target);
    QStringList found = everythingUnder(root.path());
    found.sort();
    if (accepted) {
        checkUnpackedFiles(root.filePath(archivePath), target, found);
    } else {
        FUZZ_CHECK(found == (QStringList {"in", archivePath}));
    }
    FUZZ_CHECK(QDir(root.filePath("a")).removeRecursively()
               || !QFileInfo::exists(root.filePath("a")));
    return 0;
}
