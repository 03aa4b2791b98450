#pragma once

#include "AccessoryScan.h"

#include <QByteArray>
#include <QVector>

#include <functional>

class AccessoryLocks;
class CliOutput;
struct CliOptions;

// Which accessory a command writes. Nothing is written that nobody picked: a single `flash` takes
// the accessory named by --device, or the only one present; with several present and none named it
// refuses, listing them. The lock of the chosen accessory is taken here, before the engine starts,
// so that of two copies started together exactly one goes on.
class AccessoryChooser
{
public:
    AccessoryChooser(const CliOptions &options, const CliOutput &out, AccessoryLocks &locks);

    // An exit code; on Ok `target` is the chosen accessory's path, held by this copy, or empty
    // when none is plugged in yet (the engine then waits for the first).
    int chooseOne(QByteArray &target);
    // Before writing starts, without --device: BadUsage (and the list) when more than one
    // accessory is now present. `beforeListing` runs first, to let the engine close its own.
    int refuseSeveral(const std::function<void()> &beforeListing);
    // --all: scans until --expect (at least one) free accessories are there or --wait has run out,
    // then once more asking each its identity.
    QVector<Accessory> waitForAccessories();
    // --all: Busy with their names when every accessory present is held by another copy.
    int refuseAllBusy(const QVector<Accessory> &found) const;

    // "sim-hid:1 [S1], sim-hid:2", or "none".
    static QString names(const QVector<Accessory> &list, const CliOutput &out);

private:
    int chooseNamed(QByteArray &target);
    QVector<Accessory> matching(const QVector<Accessory> &found) const;
    int refuseAmbiguous(const QVector<Accessory> &found) const;
    int claim(const Accessory &accessory, QByteArray &target);

    const CliOptions &options;
    const CliOutput &out;
    AccessoryLocks &locks;
};
