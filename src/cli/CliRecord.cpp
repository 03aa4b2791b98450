#include "CliRecord.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "FailureText.h"
#include "FirmwareImage.h"
#include "HistoryPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <hidapi.h>

#include <algorithm>

namespace {

QString outcomeOf(int exitCode, const UpdateFailure &failure)
{
    if (exitCode == ExitCode::Ok)
        return QStringLiteral("done");
    if (exitCode == ExitCode::Interrupted)
        return QStringLiteral("interrupted");
    return failure.isLoss() ? QStringLiteral("lost") : QStringLiteral("failed");
}

} // namespace

CliRecord::CliRecord(CliOutput &out)
    : out(out)
{
    const QString version = QCoreApplication::applicationVersion();
    QStringList header = RunLog::standardHeader(QStringLiteral("firmware-updater-cli"), version);
    header << QStringLiteral("hidapi: %1").arg(QStringLiteral(HID_API_VERSION_STR));
    log = std::make_unique<RunLog>(HistoryPaths::logFolder(),
                                   QStringLiteral("firmware-updater-cli"), header);
    out.setLogSink([this](const QString &line) { log->line(shortened(line)); });
    history = std::make_unique<HistoryRecorder>(
        QStringLiteral("cli"), version,
        [&out](const QString &why) {
            out.error(out.text(LanguageConfig::textHistoryUnwritable).arg(why));
        },
        HistoryPaths::historyFile());
}

CliRecord::~CliRecord()
{
    out.setLogSink(nullptr);
}

void CliRecord::setStation(bool on)
{
    log->setRollOver(on);
}

void CliRecord::support(const QString &englishLine)
{
    log->line(shortened(englishLine));
}

void CliRecord::hide(const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    QStringList forms {path, info.absoluteFilePath(), QDir::toNativeSeparators(path),
                       QDir::toNativeSeparators(info.absoluteFilePath())};
    for (QString form : forms) {
        // A file keeps its name; a folder (ending in a separator) goes entirely.
        if (!info.isDir())
            form.chop(info.fileName().size());
        if (!form.isEmpty() && !hidden.contains(form))
            hidden << form;
    }
    std::sort(hidden.begin(), hidden.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
}

QString CliRecord::shortened(QString line) const
{
    for (const QString &form : hidden)
        line.replace(form, QString());
    return line;
}

void CliRecord::accessoriesFound(const QVector<Accessory> &found, bool identityAsked)
{
    support(QStringLiteral("%1 accessories found").arg(found.size()));
    for (const Accessory &a : found) {
        const char *state = a.state == Accessory::State::Busy ? "busy"
            : a.state == Accessory::State::CannotOpen         ? "cannot open"
                                                              : "free";
        const bool known = identityAsked && a.state == Accessory::State::Free;
        support(QStringLiteral("accessory: path %1, serial %2, identity %3, kind %4, %5")
                    .arg(QString::fromLocal8Bit(a.path),
                         a.serial.isEmpty() ? QStringLiteral("none") : a.serial,
                         !known      ? QStringLiteral("not asked")
                             : a.v20 ? a.identity
                                     : QStringLiteral("none"),
                         known ? a.kind() : QStringLiteral("not asked"),
                         QString::fromLatin1(state)));
    }
}

Accessory CliRecord::openedAccessory(AccessoryLocks &locks, const QByteArray &target)
{
    const QVector<Accessory> found = scanAccessories(locks, false);
    accessoriesFound(found, false);
    for (const Accessory &a : found) {
        if (target.isEmpty() ? found.size() == 1
                             : a.interfaces.contains(target) || a.path == target)
            return a;
    }
    Accessory unknown;
    unknown.path = target;
    return unknown;
}

HistoryRecord CliRecord::fromCatalogue(const FirmwareInfo &info, const QUrl &archive)
{
    HistoryRecord record;
    record.fromCatalogue = true;
    record.catalogueDeviceId = info.device_id;
    record.catalogueVersion = info.version;
    record.catalogueUrl = archive.toString();
    // Only an archive that matched the record's digest is unpacked.
    record.catalogueVerified = !info.sha256.isEmpty();
    return record;
}

HistoryRecord CliRecord::begin(const Accessory &accessory, const QString &image, quint64 size,
                               HistoryRecord record)
{
    if (!accessory.serial.isEmpty())
        record.serial = accessory.serial;
    if (accessory.v20)
        record.identity = accessory.identity;
    record.kind = accessory.v20 ? QStringLiteral("v20") : QStringLiteral("legacy");
    record.path = QString::fromLocal8Bit(accessory.path);
    record.image = QFileInfo(image).fileName();
    record.size = qint64(size);
    record.sha256 = HistoryRecord::fileSha256(image);
    record.blocksTotal = int(FirmwareImage::blocksFor(size));
    history->begin(record);
    support(QStringLiteral("update %1 started: %2 (%3 bytes, SHA-256 %4) into %5")
                .arg(record.id, record.image)
                .arg(size)
                .arg(record.sha256, accessory.name()));
    return record;
}

void CliRecord::end(HistoryRecord &record, int exitCode, const UpdateFailure &failure,
                    int blocksWritten)
{
    history->end(record, outcomeOf(exitCode, failure), failure, blocksWritten);
    support(QStringLiteral("update %1 ended: %2 after %3 of %4 blocks acknowledged%5")
                .arg(record.id, record.outcome)
                .arg(blocksWritten)
                .arg(record.blocksTotal)
                .arg(record.reason.isEmpty()
                         ? QString()
                         : QStringLiteral(" (") + record.reason + QLatin1Char(')')));
}
