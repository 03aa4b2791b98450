#include "ReplayGuard.h"

#include <QCryptographicHash>
#include <QSettings>

#include <memory>

namespace {

// A URL holds slashes, which QSettings reads as groups: its digest names it instead.
QString settingsKey(const QString &url)
{
    return QStringLiteral("catalogue_timestamps/")
        + QString::fromLatin1(
               QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

std::unique_ptr<QSettings> open(const QString &file)
{
    return file.isEmpty() ? std::make_unique<QSettings>()
                          : std::make_unique<QSettings>(file, QSettings::IniFormat);
}

} // namespace

ReplayGuard::ReplayGuard(const QString &settingsFile)
    : file(settingsFile)
{
}

qint64 ReplayGuard::newestSeen(const QString &catalogueUrl) const
{
    return open(file)->value(settingsKey(catalogueUrl), -1).toLongLong();
}

bool ReplayGuard::accepts(const QString &catalogueUrl, qint64 timestamp) const
{
    // The same catalogue fetched again is not a replay; only an older one is.
    return timestamp >= newestSeen(catalogueUrl);
}

void ReplayGuard::remember(const QString &catalogueUrl, qint64 timestamp)
{
    if (timestamp <= newestSeen(catalogueUrl))
        return;
    open(file)->setValue(settingsKey(catalogueUrl), timestamp);
}
