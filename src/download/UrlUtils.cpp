#include "UrlUtils.h"

#include <QUrl>

QString getUrlRoot(const QString &url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    QString host = parsed.host(QUrl::FullyDecoded);
    // An IPv6 literal keeps its brackets, or its colons would read as a port.
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const int port = parsed.port();
    const QString portPart = port < 0 ? QString() : QStringLiteral(":%1").arg(port);
    return parsed.scheme() + "://" + host + portPart;
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
