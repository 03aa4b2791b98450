#pragma once

#include "AccessoryLocks.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A matching accessory as enumeration and a short look at it find it.
struct Accessory
{
    enum class State { Free, Busy, CannotOpen };
    QByteArray path; // hidapi's path: the name every copy sees the same, and the one written
    // Every HID interface of the accessory in enumeration order, `path` first: interfaces that
    // report the same serial number are one accessory.
    QVector<QByteArray> interfaces;
    QString serial; // the USB serial number, where hidapi gives one
    State state = State::Free;
    bool v20 = false; // answered the identity request
    QString identity; // the identity it reported (device text, not escaped)

    // The name a user types: the path, and the serial number where there is one.
    QString name() const;
    QString kind() const; // "V20", "legacy", "?" when not opened
};

// Every matching accessory in enumeration order, counted by serial number. One that another copy
// holds (through any of its interfaces) is Busy and is not opened; with `askIdentity`, every other
// one is opened (under its lock, for the look only) to ask its identity.
QVector<Accessory> scanAccessories(AccessoryLocks &locks, bool askIdentity);
