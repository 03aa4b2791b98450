#include "FileUtils.h"

#include "AppPaths.h"

#include <QDir>

QString tempFolderPath()
{
    return AppPaths::forThisProgram().downloadDir;
}

bool removeDirRecursively(const QString &path)
{
    QDir dir(path);
    // QDir::removeRecursively also takes hidden and read-only entries, and never follows symlinks.
    return !dir.exists() || dir.removeRecursively();
}
