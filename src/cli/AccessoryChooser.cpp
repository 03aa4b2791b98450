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
QString listing(const QVector<Accessory> &found)
{
    QString lines;
    for (const Accessory &a : found) {
        lines += QStringLiteral("\n  %1  %2  %3  %4")
                     .arg(a.serial.isEmpty() ? QStringLiteral("(no serial)")
                                             : printableText(a.serial),
                          a.v20 ? printableText(a.identity) : QStringLiteral("-"), a.kind(),
                          printableText(QString::fromLocal8Bit(a.path)));
        if (isBusy(a))
            lines += QStringLiteral("  busy");
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

QString AccessoryChooser::names(const QVector<Accessory> &list)
{
    QStringList all;
    for (const Accessory &a : list)
        all << a.name();
    return all.isEmpty() ? QStringLiteral("none") : all.join(QStringLiteral(", "));
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
    out.error(QStringLiteral("%1 accessories are plugged in; name the one to update with --device "
                             "SERIAL (or its path), or update each with --all:%2")
                  .arg(found.size())
                  .arg(listing(found)));
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
    out.error(out.text(LanguageConfig::textAlreadyRunning)
              + QStringLiteral(" (busy: %1)").arg(names(found)));
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
        out.error(QStringLiteral("no accessory named %1; present: %2")
                      .arg(printableText(options.device), names(now)));
        return ExitCode::NoDevice;
    }
    if (matches.size() > 1) {
        out.error(QStringLiteral("%1 names several accessories: %2; name one by its path")
                      .arg(printableText(options.device), names(matches)));
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

// Accessories appear one by one on a hub: the scan is repeated until enough are there.
QVector<Accessory> AccessoryChooser::waitForAccessories()
{
    const int wanted = std::max(options.expect, 1);
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = qint64(options.waitSeconds * 1000.0);
    for (bool said = false;; said = true) {
        const QVector<Accessory> found = scanAccessories(locks, false);
        const auto free = std::count_if(found.begin(), found.end(),
                                        [](const Accessory &a) { return !isBusy(a); });
        if (free >= wanted || clock.elapsed() >= limit)
            break;
        if (!said)
            out.status(out.text(LanguageConfig::textWaitingForDevice).arg(options.waitSeconds));
        QThread::msleep(100);
        QCoreApplication::processEvents(); // Ctrl+C while waiting ends the run at once
    }
    return scanAccessories(locks, true);
}
