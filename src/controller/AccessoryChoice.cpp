#include "AccessoryChoice.h"

#include <QVariantMap>

#include <algorithm>

void AccessoryChoice::setPresent(const QVariantList &interfaces)
{
    accessories.clear();
    for (const QVariant &item : interfaces) {
        const QVariantMap map = item.toMap();
        Accessory a;
        a.serial = map.value(QStringLiteral("serial")).toString();
        a.path = map.value(QStringLiteral("path")).toString();
        a.key = a.serial.isEmpty() ? QStringLiteral("path:") + a.path : a.serial;
        a.identity = map.value(QStringLiteral("identity")).toString();
        a.kind = map.value(QStringLiteral("kind")).toString();
        a.busy = map.value(QStringLiteral("busy")).toBool();
        // Further interfaces of one accessory: it is busy when any of them is held.
        auto same = std::find_if(accessories.begin(), accessories.end(),
                                 [&](const Accessory &seen) { return seen.key == a.key; });
        if (same == accessories.end()) {
            accessories << a;
            continue;
        }
        same->busy = same->busy || a.busy;
        if (same->identity.isEmpty())
            same->identity = a.identity;
    }
}

const AccessoryChoice::Accessory *AccessoryChoice::find(const QString &key) const
{
    for (const Accessory &a : accessories) {
        if (a.key == key)
            return &a;
    }
    return nullptr;
}

const AccessoryChoice::Accessory *AccessoryChoice::only() const
{
    return accessories.size() == 1 ? &accessories.front() : nullptr;
}

bool AccessoryChoice::pickable(const QString &key) const
{
    const Accessory *a = find(key);
    return a && (!a->serial.isEmpty() || accessories.size() == 1);
}

bool AccessoryChoice::pick(const QString &key)
{
    if (!pickable(key))
        return false;
    chosen = key;
    reason = Reason::Explicit;
    return true;
}

void AccessoryChoice::clearPick()
{
    chosen.clear();
    reason = Reason::None;
}

QString AccessoryChoice::nameOf(const Accessory &accessory)
{
    return accessory.serial.isEmpty() ? accessory.path : accessory.serial;
}

AccessoryChoice::Decision AccessoryChoice::decideUpdate() const
{
    Decision d;
    const Accessory *target = reason == Reason::None ? only() : find(chosen);
    if (reason != Reason::None && !target) {
        d.name = chosen.startsWith(QStringLiteral("path:")) ? chosen.mid(5) : chosen;
        const Accessory *other = only();
        d.action = other ? Action::AskInstead : Action::Away;
        if (other) {
            d.other = other->key;
            d.otherName = nameOf(*other);
        }
        return d;
    }
    if (!target) {
        d.action = accessories.isEmpty() ? Action::NothingPresent : Action::PickFirst;
        return d;
    }
    d.name = nameOf(*target);
    d.path = target->path;
    d.action = target->busy ? Action::Busy : Action::Write;
    return d;
}

QString AccessoryChoice::targetPath() const
{
    const Accessory *target = reason == Reason::None ? only() : find(chosen);
    return target ? target->path : QString();
}

void AccessoryChoice::updateStarted(const QString &path)
{
    writtenKey.clear();
    writtenSerial.clear();
    for (const Accessory &a : accessories) {
        if (a.path == path) {
            writtenKey = a.key;
            writtenSerial = a.serial;
        }
    }
}

void AccessoryChoice::updateEnded(bool success)
{
    if (success) {
        // A choice made for the user ends here; one the user made stays.
        if (reason == Reason::Failed)
            clearPick();
        return;
    }
    if (writtenKey.isEmpty() || reason == Reason::Explicit)
        return;
    chosen = writtenKey;
    reason = Reason::Failed;
}
