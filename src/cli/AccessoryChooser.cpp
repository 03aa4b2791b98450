#include "AccessoryChooser.h"

#include "CliOptions.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "PrintableText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace {

bool isBusy(const Accessory &a)
{
    return a.state == Accessory::State::Busy;
}

bool named(const Accessory &a, const QString &name)
{
    if (!a.serial.isEmpty() && a.serial == name)
        return true;
    return std::any_of(a.interfaces.begin(), a.interfaces.end(), [&](const QByteArray &path) {
        return QString::fromLocal8Bit(path) == name;
    });
}

// "  S1  ABC-123  V20  sim-hid:1": serial, identity, kind and path, the way a user tells them
// apart.
QString listing(const QVector<Accessory> &found, const CliOutput &out)
{
    QString lines;
    for (const Accessory &a : found) {
        lines += QStringLiteral("\n  %1  %2  %3  %4")
                     .arg(a.serial.isEmpty() ? out.text(LanguageConfig::cliNoSerial)
                                             : printableText(a.serial),
                          a.v20 ? printableText(a.identity) : QStringLiteral("-"), a.kind(),
                          printableText(QString::fromLocal8Bit(a.path)));
        if (isBusy(a))
            lines += QStringLiteral("  ") + out.text(LanguageConfig::textAccessoryBusy);
    }
    return lines;
}

} // namespace

AccessoryChooser::AccessoryChooser(const CliOptions &options, const CliOutput &out,
                                   AccessoryLocks &locks)
    : options(options)
    , out(out)
    , locks(locks)
{
}

QString AccessoryChooser::names(const QVector<Accessory> &list, const CliOutput &out)
{
    QStringList all;
    for (const Accessory &a : list)
        all << a.name();
    return all.isEmpty() ? out.text(LanguageConfig::cliNone) : all.join(QStringLiteral(", "));
}

int AccessoryChooser::chooseOne(QByteArray &target)
{
    if (!options.device.isEmpty())
        return chooseNamed(target);
    const QVector<Accessory> found = scanAccessories(locks, false);
    if (found.isEmpty())
        return ExitCode::Ok;
    if (std::all_of(found.begin(), found.end(), isBusy)) {
        out.error(out.text(LanguageConfig::textAlreadyRunning));
        return ExitCode::Busy;
    }
    if (found.size() > 1)
        return refuseAmbiguous(scanAccessories(locks, true));
    return claim(found.first(), target);
}

int AccessoryChooser::claim(const Accessory &accessory, QByteArray &target)
{
    if (isBusy(accessory) || !locks.claim(accessory.path)) {
        out.error(out.text(LanguageConfig::textAlreadyRunning));
        return ExitCode::Busy;
    }
    target = accessory.path;
    return ExitCode::Ok;
}

// Counted by serial number, busy ones included: the user says which one is meant.
int AccessoryChooser::refuseAmbiguous(const QVector<Accessory> &found) const
{
    out.error(
        out.text(LanguageConfig::cliSeveralAccessories).arg(found.size()).arg(listing(found, out)));
    return ExitCode::BadUsage;
}

int AccessoryChooser::refuseSeveral(const std::function<void()> &beforeListing)
{
    if (!options.device.isEmpty() || scanAccessories(locks, false).size() <= 1)
        return ExitCode::Ok;
    beforeListing();
    return refuseAmbiguous(scanAccessories(locks, true));
}

int AccessoryChooser::refuseAllBusy(const QVector<Accessory> &found) const
{
    if (found.isEmpty() || !std::all_of(found.begin(), found.end(), isBusy))
        return ExitCode::Ok;
    out.error(out.text(LanguageConfig::cliAllBusy)
                  .arg(out.text(LanguageConfig::textAlreadyRunning), names(found, out)));
    return ExitCode::Busy;
}

// With --device the one named; the accessory may be plugged in during --wait.
int AccessoryChooser::chooseNamed(QByteArray &target)
{
    QVector<Accessory> now = scanAccessories(locks, true);
    QVector<Accessory> matches = matching(now);
    QElapsedTimer clock;
    clock.start();
    while (matches.isEmpty() && clock.elapsed() < qint64(options.waitSeconds * 1000.0)) {
        QThread::msleep(200);
        QCoreApplication::processEvents(); // Ctrl+C ends the wait
        now = scanAccessories(locks, true);
        matches = matching(now);
    }
    if (matches.isEmpty()) {
        out.error(out.text(LanguageConfig::cliNoAccessoryNamed)
                      .arg(printableText(options.device), names(now, out)));
        return ExitCode::NoDevice;
    }
    if (matches.size() > 1) {
        out.error(out.text(LanguageConfig::cliNameSeveral)
                      .arg(printableText(options.device), names(matches, out)));
        return ExitCode::BadUsage;
    }
    return claim(matches.first(), target);
}

QVector<Accessory> AccessoryChooser::matching(const QVector<Accessory> &found) const
{
    QVector<Accessory> matches;
    for (const Accessory &a : found) {
        if (named(a, options.device))
            matches << a;
    }
    // An identity only where no path or serial number matches; the same text trimmed, any case.
    if (matches.isEmpty()) {
        for (const Accessory &a : found) {
            if (a.v20
                && a.identity.trimmed().compare(options.device.trimmed(), Qt::CaseInsensitive) == 0)
                matches << a;
        }
    }
    return matches;
}

// Accessories appear one by one on a hub: the scan is repeated until enough are there. One busy in
// another copy is there too: waiting for its lock would write it again once the other is done.
QVector<Accessory> AccessoryChooser::waitForAccessories()
{
    const int wanted = std::max(options.expect, 1);
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = qint64(options.waitSeconds * 1000.0);
    for (bool said = false;; said = true) {
        if (scanAccessories(locks, false).size() >= wanted || clock.elapsed() >= limit)
            break;
        if (!said)
            out.status(out.text(LanguageConfig::textWaitingForDevice).arg(options.waitSeconds));
        QThread::msleep(100);
        QCoreApplication::processEvents(); // Ctrl+C while waiting ends the run at once
    }
    return scanAccessories(locks, true);
}
