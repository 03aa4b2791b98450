#include "HistoryPaths.h"

#include <QDir>
#include <QtGlobal>

namespace HistoryPaths {

QString folder()
{
#ifdef Q_OS_WIN
    const QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty())
        return {};
    return QDir::fromNativeSeparators(base) + QStringLiteral("/Tarvo/firmware-updater/");
#else
    // XDG: a relative value is invalid and must be ignored.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = QDir::homePath();
        if (home.isEmpty())
            return {};
        base = home + QStringLiteral("/.local/state");
    }
    return base + QStringLiteral("/firmware-updater/");
#endif
}

QString historyFile()
{
    const QString dir = folder();
    return dir.isEmpty() ? QString() : dir + QStringLiteral("history.jsonl");
}

QString logFolder()
{
    const QString dir = folder();
    return dir.isEmpty() ? QString() : dir + QStringLiteral("logs/");
}

} // namespace HistoryPaths
