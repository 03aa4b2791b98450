#include "UrlUtils.h"

#include <QUrl>

QString getUrlRoot(const QString &url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    return parsed.scheme() + "://" + parsed.host(QUrl::FullyDecoded);
}

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == '/' || c == '\\' || c == ':' || c.unicode() == 0)
            return false;
    }
    return true;
}
