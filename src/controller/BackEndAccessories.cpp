// The controller's side of the accessories: the list the window shows, the user's pick, which
// accessory Update writes, and the failure reason after "Device update failed".
#include "BackEnd.h"

#include "FailureText.h"
#include "PrintableText.h"
#include "WindowRecord.h"

#include <algorithm>

void BackEnd::fromUiEevent(int Event)
{
    if (Event != 1)
        return;
    using Action = AccessoryChoice::Action;
    using L = LanguageConfig;
    const AccessoryChoice::Decision decision = choice.decideUpdate();
    const QString name = printableText(decision.name);
    // An accepted mismatch waits only while the accessory to write is being opened.
    if (decision.action != Action::Write && decision.action != Action::NothingPresent)
        mismatchAccepted.clear();
    switch (decision.action) {
    case Action::Write:
        // The engine writes whatever it has open: only once that is this one may it start.
        if (engineOpenPath != decision.path || !engineConnected) {
            startPending = true;
            followChoice();
            return;
        }
        break;
    case Action::NothingPresent:
        break; // the engine says that a device must be connected first
    case Action::PickFirst:
        logMessage(true, text(L::textAccessoryPickHint));
        return;
    case Action::Away:
        logMessage(true, text(L::textAccessoryAway).arg(name));
        return;
    case Action::Busy:
        logMessage(true, text(L::textAccessoryBusyLog).arg(name));
        return;
    case Action::AskInstead: {
        insteadKey = decision.other;
        const QString other = printableText(decision.otherName);
        emit sigInsteadQuestion(text(L::textAccessoryInsteadQuestion).arg(name, other),
                                text(L::textAccessoryUpdateInstead).arg(other));
        return;
    }
    }
    startChecked();
}

void BackEnd::qml_UpdateInstead()
{
    if (running || !choice.pick(insteadKey))
        return;
    followChoice();
    fromUiEevent(1);
}

void BackEnd::qml_PickAccessory(QString key)
{
    if (running || !choice.pick(key))
        return;
    startPending = false;
    followChoice();
}

void BackEnd::qml_ClearPick()
{
    if (running)
        return;
    choice.clearPick();
    startPending = false;
    followChoice();
}

// The engine is told the accessory to hold open after every change of the list or the choice;
// the same path told again changes nothing there.
void BackEnd::followChoice()
{
    const AccessoryChoice::Decision decision = choice.decideUpdate();
    if (startPending && decision.action != AccessoryChoice::Action::Write)
        startPending = false;
    emit sig_SetTarget(choice.targetPath());
    emit accessoriesChanged();
}

void BackEnd::slot_AccessoriesPresent(QVariantList present)
{
    const QVector<AccessoryChoice::Accessory> before = choice.present();
    choice.setPresent(present);
    if (records)
        logAccessoriesFound(before);
    followChoice();
}

// For support: each accessory newly found, or found with a different identity or kind, in English.
void BackEnd::logAccessoriesFound(const QVector<AccessoryChoice::Accessory> &before)
{
    const auto none = [](const QString &value) {
        return value.isEmpty() ? QStringLiteral("none") : printableText(value);
    };
    for (const AccessoryChoice::Accessory &a : choice.present()) {
        const bool known = std::any_of(before.begin(), before.end(), [&a](const auto &b) {
            return b.key == a.key && b.path == a.path && b.identity == a.identity
                && b.kind == a.kind;
        });
        if (!known)
            records->support(
                QStringLiteral("accessory found: path %1, serial %2, identity %3, kind %4")
                    .arg(printableText(a.path), none(a.serial), none(a.identity), none(a.kind)));
    }
}

void BackEnd::slot_AccessoryOpened(QString path)
{
    engineOpenPath = path;
    engineConnected = false;
}

void BackEnd::slot_UpdateFailure(UpdateFailure reason)
{
    failure = reason;
    if (reason.isLoss())
        deviceLost = true;
}

void BackEnd::logFailureReason()
{
    // Kept until the update's end: the history records it there when no outcome message came.
    const QString reason = FailureText::describe(config, currentLanguage, failure);
    if (reason.isEmpty())
        return;
    const QString name = printableText(choice.writtenName());
    logMessage(true,
               name.isEmpty() ? reason : text(LanguageConfig::textFailureOn).arg(name, reason));
}

QVariantList BackEnd::accessories() const
{
    QVariantList list;
    for (const AccessoryChoice::Accessory &a : choice.present()) {
        QStringList detail;
        if (!a.identity.isEmpty())
            detail << printableText(a.identity);
        if (a.kind == QLatin1String("legacy"))
            detail << text(LanguageConfig::textAccessoryLegacy);
        else if (!a.kind.isEmpty() && a.kind != QLatin1String("?"))
            detail << a.kind;
        if (a.busy)
            detail << text(LanguageConfig::textAccessoryBusy);
        list << QVariantMap {
            {QStringLiteral("key"), a.key},
            {QStringLiteral("serial"),
             a.serial.isEmpty() ? QStringLiteral("—") : printableText(a.serial)},
            {QStringLiteral("detail"), detail.join(QStringLiteral("  ·  "))},
            {QStringLiteral("picked"), a.key == choice.chosenKey()},
            {QStringLiteral("pickable"), choice.pickable(a.key)},
        };
    }
    return list;
}

QString BackEnd::accessoryHeader() const
{
    const QString chosen = choice.chosenKey();
    if (!chosen.isEmpty()) {
        const QString name = chosen.startsWith(QStringLiteral("path:")) ? chosen.mid(5) : chosen;
        return text(LanguageConfig::textAccessoryPicked).arg(printableText(name));
    }
    return choice.present().size() > 1 ? text(LanguageConfig::textAccessoryPickHint) : QString();
}
