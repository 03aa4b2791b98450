#include "WindowRecord.h"

#include "FirmwareImage.h"
#include "HistoryPaths.h"
#include "PrintableText.h"

#include <QFileInfo>

WindowRecord::WindowRecord(const QString &version, const QStringList &header,
                           std::function<void(const QString &)> warn)
    : log(std::make_unique<RunLog>(
        HistoryPaths::logFolder(), QStringLiteral("firmware-updater"),
        RunLog::standardHeader(QStringLiteral("firmware-updater"), version) + header))
    , history(QStringLiteral("window"), version, std::move(warn), HistoryPaths::historyFile())
{
}

// A window closed in the middle of an update leaves the update unusable: say so.
WindowRecord::~WindowRecord()
{
    if (open)
        ended(QStringLiteral("interrupted"), current.blocksWritten);
}

void WindowRecord::logLine(const QString &stampedLine)
{
    log->stampedLine(stampedLine);
}

void WindowRecord::support(const QString &englishLine)
{
    log->line(englishLine);
}

void WindowRecord::handed(const QString &imagePath, const QString &identity,
                          const QString &devicePath, const HistoryRecord &origin)
{
    if (open)
        ended(QStringLiteral("failed"), 0); // never ended by the engine
    current = origin;
    const bool v20 = !identity.isEmpty() && identity != QLatin1String("*");
    current.identity = v20 ? identity : QString();
    current.kind = v20 ? QStringLiteral("v20") : QStringLiteral("legacy");
    current.path = devicePath;
    const QFileInfo image(imagePath);
    current.image = image.fileName();
    current.size = image.size();
    // Hashed when the image was opened, off the GUI thread; only an Update pressed before that
    // ended hashes here. The end line has the digest of the copy the engine wrote.
    if (current.sha256.isEmpty())
        current.sha256 = HistoryRecord::fileSha256(imagePath);
    current.blocksTotal = int(FirmwareImage::blocksFor(quint64(current.size)));
    lastFailure = UpdateFailure();
    history.begin(current);
    open = true;
    support(
        QStringLiteral("update %1 handed to the engine: %2 (%3 bytes, SHA-256 %4), accessory "
                       "%5, serial %6, identity %7")
            .arg(current.id, current.image)
            .arg(current.size)
            .arg(current.sha256, devicePath.isEmpty() ? QStringLiteral("?") : devicePath,
                 current.serial.isEmpty() ? QStringLiteral("none") : printableText(current.serial),
                 v20 ? identity : QStringLiteral("none (legacy)")));
}

void WindowRecord::ended(const QString &outcome, int blocksAcknowledged)
{
    if (!open)
        return;
    open = false;
    // The engine tells a lost accessory from a failed write.
    const QString said = outcome == QLatin1String("failed") && lastFailure.isLoss()
        ? QStringLiteral("lost")
        : outcome;
    history.end(current, said, lastFailure, blocksAcknowledged);
    support(QStringLiteral("update %1 ended: %2 after %3 of %4 blocks acknowledged%5")
                .arg(current.id, said)
                .arg(blocksAcknowledged)
                .arg(current.blocksTotal)
                .arg(current.reason.isEmpty()
                         ? QString()
                         : QStringLiteral(" (") + current.reason + QLatin1Char(')')));
}
