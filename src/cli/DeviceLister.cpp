#include "DeviceLister.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "MessageId.h"
#include "PrintableText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

int listDevices(const CliOutput &out, bool json)
{
    AccessoryLocks locks;
    const QVector<Accessory> found = scanAccessories(locks, true);
    QJsonArray array;
    QString table;
    int usable = 0;
    for (const Accessory &a : found) {
        const QString state = a.state == Accessory::State::Free ? QStringLiteral("free")
            : a.state == Accessory::State::Busy                 ? QStringLiteral("busy")
                                                                : QStringLiteral("cannot open");
        usable += a.state == Accessory::State::Free ? 1 : 0;
        array.append(
            QJsonObject {{"name", a.name()},
                         {"path", QString::fromLocal8Bit(a.path)},
                         {"serial", a.serial},
                         {"kind", a.state == Accessory::State::Free ? a.kind() : QString()},
                         {"identity", a.v20 ? a.identity : QString()},
                         {"state", state}});
        QString line = a.name() + QStringLiteral("  ") + a.kind() + QStringLiteral("  ")
            + (a.v20 ? printableText(a.identity) : QStringLiteral("-")) + QStringLiteral("  ");
        if (a.state == Accessory::State::Busy)
            line += out.text(LanguageConfig::cliBusyBecause)
                        .arg(out.text(LanguageConfig::textAlreadyRunning));
        else if (a.state == Accessory::State::CannotOpen)
            line += out.message(MessageId::DevicePermissionDenied);
        else
            line += out.text(LanguageConfig::cliFree);
        table += line + '\n';
    }
    out.result(json ? QString::fromUtf8(QJsonDocument(array).toJson()) : table);
    if (found.isEmpty())
        out.errorMessage(MessageId::ConnectDeviceFirst);
    // Exit 0 when at least one accessory can be served, by this copy or the one holding it.
    for (const Accessory &a : found) {
        if (a.state != Accessory::State::CannotOpen)
            return ExitCode::Ok;
    }
    return ExitCode::NoDevice;
}
