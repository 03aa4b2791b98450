#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

// Creating a folder can succeed where writing into it does not (a read-only mount), so probe with a
// real file. Folders made only for the probe are removed again: choosing changes nothing on disk.
bool canWriteInto(const QString &dir)
{
    QStringList created; // deepest first
    for (QString path = QDir::cleanPath(dir); !QFileInfo::exists(path);
         path = QFileInfo(path).path())
        created.append(path);
    bool writable = false;
    if (QDir().mkpath(dir)) {
        QTemporaryFile probe(dir + QStringLiteral(".write-probe-XXXXXX"));
        writable = probe.open();
    }
    for (const QString &path : created)
        QDir().rmdir(path);
    return writable;
}

} // namespace

QString AppPaths::configDirFor(const QString &appDir, bool *found)
{
    const QString portable = appDir + QStringLiteral("/Config/");
    const QString installed
        = QDir::cleanPath(appDir + QStringLiteral("/../share/firmware-updater/Config")) + '/';
    if (found)
        *found = true;
    if (QFileInfo(portable).isDir())
        return portable;
    if (QFileInfo(installed).isDir())
        return installed;
    if (found)
        *found = false;
    return portable;
}

AppPaths AppPaths::choose(const QString &appDir, const QString &userCacheDir, Downloads downloads)
{
    const QString portable = appDir + QStringLiteral("/Config/");
    AppPaths paths;
    paths.configDir = configDirFor(appDir, &paths.configFound);
    // An installed program never writes beside itself, even where it could (run as root).
    const QString beside = portable + QStringLiteral("Temp/");
    if (downloads == Downloads::BesidePortableConfig && paths.configDir == portable
        && canWriteInto(beside))
        paths.downloadDir = beside;
    else
        paths.downloadDir = userCacheDir + QStringLiteral("/Temp/");
    return paths;
}

AppPaths AppPaths::forThisProgram()
{
#ifdef Q_OS_WIN
    // A Windows program folder is no place for scratch files, whether the installer or a ZIP put
    // it there: downloads go to %LOCALAPPDATA%, which the uninstaller leaves alone.
    const Downloads downloads = Downloads::InUserCache;
#else
    const Downloads downloads = Downloads::BesidePortableConfig;
#endif
    return choose(QCoreApplication::applicationDirPath(),
                  QStandardPaths::writableLocation(QStandardPaths::CacheLocation), downloads);
}
