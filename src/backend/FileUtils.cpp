#include "FileUtils.h"

#include <QCoreApplication>
#include <QDir>

QString tempFolderPath()
{
    return QCoreApplication::applicationDirPath() + "/Config/Temp/";
}

bool removeDirRecursively(const QString &path)
{
    QDir dir(path);
    // QDir::removeRecursively also takes hidden and read-only entries, and never follows symlinks.
    return !dir.exists() || dir.removeRecursively();
}
