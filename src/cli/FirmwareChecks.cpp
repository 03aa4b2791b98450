#include "FirmwareChecks.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "FirmwareImage.h"
#include "MessageId.h"
#include "PrintableText.h"

#include <QFile>
#include <QFileInfo>

// Checked before the engine starts, so that a file that cannot be used never reaches the device.
int FirmwareChecks::imageFile(const CliOutput &out, const QString &path, quint64 &size)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || !info.isFile()) {
        out.errorMessage(MessageId::OpenFileFailed, path);
        return ExitCode::BadUsage;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.errorMessage(MessageId::ReadFileFailed, path);
        return ExitCode::BadUsage;
    }
    size = quint64(file.size());
    // The engine's own bound; the smaller one of a legacy device it judges once the kind is known.
    if (!FirmwareImage::fits(size, true)) {
        out.errorMessage(MessageId::FileSizeInvalid, path);
        return ExitCode::BadUsage;
    }
    return ExitCode::Ok;
}

// Firmware made for another identity than the one the device reports could leave it unusable.
int FirmwareChecks::identity(const CliOutput &out, bool force, bool reportsIdentity,
                             const QString &firmwareId, const QString &deviceId)
{
    // The window's rule: identities compared trimmed and without regard to case. Only a legacy
    // device has no identity to compare; a V20 device that reports "*" does not know its own,
    // and an unknown identity matches nothing.
    const bool unknown = deviceId == QLatin1String("*");
    if ((unknown && !reportsIdentity) || firmwareId.isEmpty()
        || (!unknown && firmwareId.trimmed().compare(deviceId.trimmed(), Qt::CaseInsensitive) == 0))
        return ExitCode::Ok;
    const QString detail = out.text(LanguageConfig::cliFirmwareForOther)
                               .arg(printableText(firmwareId),
                                    unknown ? QStringLiteral("\"*\"") : printableText(deviceId));
    if (force) {
        out.status(out.message(MessageId::FirmwareMismatch) + QStringLiteral(": ") + detail
                   + QStringLiteral(" (--force)"));
        return ExitCode::Ok;
    }
    out.errorMessage(MessageId::FirmwareMismatch,
                     out.text(LanguageConfig::cliForceHint).arg(detail));
    return ExitCode::Mismatch;
}
