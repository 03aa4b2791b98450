#pragma once

#include <QString>
#include <QVariantList>
#include <QVector>

// Which accessory the window writes. Accessories are told apart by their serial number (interfaces
// sharing one are one accessory); one without a serial only by its path, so it can be picked only
// while it is the only one present. An explicit pick, and an accessory whose update failed, stays
// chosen while it is unplugged, and nothing else is written unasked; any other choice is implicit
// (the only accessory present) and ends with a successful update.
class AccessoryChoice
{
public:
    struct Accessory
    {
        QString key; // the serial, or "path:" and the path where there is none
        QString serial;
        QString path; // of its first interface
        QString identity;
        QString kind;
        bool busy = false; // another copy holds it
    };

    enum class Action {
        Write, // the update goes to `path`
        NothingPresent, // no accessory: the engine says so
        PickFirst, // several present, none chosen
        Away, // the chosen one is unplugged and no single other one stands in
        AskInstead, // the chosen one is unplugged; `other` is the only one present
        Busy, // another copy holds the one to write
    };
    struct Decision
    {
        Action action = Action::NothingPresent;
        QString path;
        QString name; // of the accessory concerned
        QString other; // the key of the one that could be updated instead
        QString otherName;
    };

    // The engine's report: maps of "path", "serial", "identity", "kind" and "busy".
    void setPresent(const QVariantList &interfaces);
    const QVector<Accessory> &present() const { return accessories; }

    // False (and nothing changes) for an accessory not present or not pickable.
    bool pick(const QString &key);
    void clearPick();
    bool pickable(const QString &key) const;
    QString chosenKey() const { return chosen; }
    bool explicitPick() const { return reason == Reason::Explicit; }

    // What Update does now.
    Decision decideUpdate() const;
    // The path the engine should hold open; empty for none.
    QString targetPath() const;

    // The update that began went to the accessory at `path`; how it ended.
    void updateStarted(const QString &path);
    void updateEnded(bool success);
    // The name of the accessory the last update wrote: its serial, empty without one.
    QString writtenName() const { return writtenSerial; }

    // The serial, or the path where there is none.
    static QString nameOf(const Accessory &accessory);

private:
    enum class Reason { None, Explicit, Failed };
    const Accessory *find(const QString &key) const;
    const Accessory *only() const;

    QVector<Accessory> accessories;
    QString chosen;
    Reason reason = Reason::None;
    QString writtenKey;
    QString writtenSerial;
};
