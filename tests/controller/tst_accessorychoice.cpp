// Which accessory Update writes, through plugging, picks and outcomes, without the window.
#include "AccessoryChoice.h"

#include <QtTest>

using Action = AccessoryChoice::Action;
Q_DECLARE_METATYPE(AccessoryChoice::Action)

namespace {

// "A B- C*": serials, "-" alone for one without a serial, a trailing "*" for busy.
QVariantList accessories(const QString &list)
{
    QVariantList present;
    for (QString serial : list.split(' ', Qt::SkipEmptyParts)) {
        const bool busy = serial.endsWith('*');
        serial.remove('*');
        if (serial == QLatin1String("-"))
            serial.clear();
        present << QVariantMap {{"serial", serial},
                                {"path", "/dev/hid-" + (serial.isEmpty() ? "none" : serial)},
                                {"busy", busy}};
    }
    return present;
}

// Steps separated by ";": "present A B", "pick A", "clear", "write A ok", "write A fail".
void run(AccessoryChoice &choice, const QString &script)
{
    for (const QString &step : script.split(';', Qt::SkipEmptyParts)) {
        const QStringList words = step.trimmed().split(' ');
        if (words[0] == QLatin1String("present")) {
            choice.setPresent(accessories(QStringList(words.mid(1)).join(' ')));
        } else if (words[0] == QLatin1String("pick")) {
            choice.pick(words[1] == QLatin1String("-") ? QStringLiteral("path:/dev/hid-none")
                                                       : words[1]);
        } else if (words[0] == QLatin1String("clear")) {
            choice.clearPick();
        } else if (words[0] == QLatin1String("write")) {
            QCOMPARE(choice.decideUpdate().action, Action::Write);
            choice.updateStarted("/dev/hid-" + words[1]);
            choice.updateEnded(words[2] == QLatin1String("ok"));
        }
    }
}

} // namespace

class TestAccessoryChoice : public QObject
{
    Q_OBJECT
private slots:
    void update_writesOnlyWhatWasPickedOrAlone_data();
    void update_writesOnlyWhatWasPickedOrAlone();
};

void TestAccessoryChoice::update_writesOnlyWhatWasPickedOrAlone_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("name"); // the accessory written, away or offered instead
    QTest::addColumn<QString>("target"); // the path the engine holds open

    QTest::newRow("alone: written unpicked") << "present A" << Action::Write << "A"
                                             << "/dev/hid-A";
    QTest::newRow("nothing present") << "present" << Action::NothingPresent << ""
                                     << "";
    QTest::newRow("several unpicked: nothing written") << "present A B" << Action::PickFirst << ""
                                                       << "";
    QTest::newRow("picked: written") << "present A B; pick B" << Action::Write << "B"
                                     << "/dev/hid-B";
    QTest::newRow("failed, away, others: none written")
        << "present A; write A fail; present B C" << Action::Away << "A"
        << "";
    QTest::newRow("failed, away, one other: asked first")
        << "present A; write A fail; present B" << Action::AskInstead << "B"
        << "";
    QTest::newRow("failed, back: written again")
        << "present A; write A fail; present B A" << Action::Write << "A"
        << "/dev/hid-A";
    QTest::newRow("implicit ends with success: the next one written")
        << "present A; write A ok; present B" << Action::Write << "B"
        << "/dev/hid-B";
    QTest::newRow("failed then done: implicit again")
        << "present A; write A fail; write A ok; present B" << Action::Write << "B"
        << "/dev/hid-B";
    QTest::newRow("picked stays after success: asked first")
        << "present A B; pick A; write A ok; present B" << Action::AskInstead << "B"
        << "";
    QTest::newRow("pick cleared: implicit again")
        << "present A; write A fail; clear; present B" << Action::Write << "B"
        << "/dev/hid-B";
    QTest::newRow("no serial among others: not pickable")
        << "present A -; pick -" << Action::PickFirst << ""
        << "";
    QTest::newRow("no serial alone: written") << "present -" << Action::Write << "/dev/hid-none"
                                              << "/dev/hid-none";
    QTest::newRow("busy in another copy: not written") << "present A*" << Action::Busy << "A"
                                                       << "/dev/hid-A";
    QTest::newRow("interfaces sharing a serial: one accessory")
        << "present A A" << Action::Write << "A"
        << "/dev/hid-A";
}

void TestAccessoryChoice::update_writesOnlyWhatWasPickedOrAlone()
{
    QFETCH(QString, script);
    QFETCH(Action, action);
    QFETCH(QString, name);
    QFETCH(QString, target);
    AccessoryChoice choice;
    run(choice, script);
    const AccessoryChoice::Decision decision = choice.decideUpdate();
    QCOMPARE(decision.action, action);
    QCOMPARE(action == Action::AskInstead ? decision.otherName : decision.name, name);
    if (action == Action::Write)
        QCOMPARE(decision.path, target);
    QCOMPARE(choice.targetPath(), target);
}

QTEST_GUILESS_MAIN(TestAccessoryChoice)
#include "tst_accessorychoice.moc"
