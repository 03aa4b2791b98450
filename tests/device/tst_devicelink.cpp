// The link's presence poll and reply reader, driven pass by pass on the test's thread.
#include "AccessoryLocks.h"
#include "EngineRecorder.h"
#include "SimHid.h"

#include <QtTest>

namespace {

bool isIdentityRequest(const QByteArray &report)
{
    return report.size() == 65 && report.startsWith(QByteArray::fromHex("00AA55A0"));
}

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void deviceBeforeStart_openedOnPass20AndSignalledOnPass40();
    void detach_closesOnNextPollAndSignalsOnTheOneAfter();
    void lostBeforeSignalled_isNeverReportedAsConnected();
    void legacyDevice_keepsThePlaceholderIdentity();
    void identityReply_reachesTheController();
    void twoDevices_firstEnumeratedStaysOpenInAnyOrder();
    void otherProducts_areIgnored();
    void reattach_opensAgainWithinTheDisconnectPoll();
    void unopenableDevice_isReportedOncePerAppearance();
    void destroyingTheEngine_closesTheDevice();
    void choice_firstClaimableOrTheTarget_data();
    void choice_firstClaimableOrTheTarget();
    void identityRequestWriteFails_deviceStillConnects_data();
    void windowLink_opensOnlyTheNamedAccessory_data();
    void windowLink_opensOnlyTheNamedAccessory();
    void windowLink_namedBusy_reportedThenOpenedOnceFree();
    void identityRequestWriteFails_deviceStillConnects();

private:
    // The work of n passes; with an instant device a reply is read in the pass that caused it.
    void passes(int n)
    {
        for (int i = 0; i < n; ++i) {
            task->RunPassWork();
            task->ReadReply();
        }
    }

    MainTask *task = nullptr;
    EngineRecorder *recorder = nullptr;
};

void TestDeviceLink::init()
{
    SimHid::reset();
    task = new MainTask;
    recorder = new EngineRecorder(task);
}

void TestDeviceLink::cleanup()
{
    delete recorder;
    delete task;
    task = nullptr;
}

void TestDeviceLink::deviceBeforeStart_openedOnPass20AndSignalledOnPass40()
{
    const int device = SimHid::attach({false});
    passes(19);
    QCOMPARE(SimHid::openHandles(device), 0);
    QVERIFY(recorder->events.isEmpty());

    task->PollDevice(); // pass 20
    QCOMPARE(SimHid::openHandles(device), 1);
    QCOMPARE(recorder->events, QStringList {"id:*"});
    const QList<QByteArray> writes = SimHid::writes(device);
    QCOMPARE(writes.size(), 2);
    QVERIFY(isIdentityRequest(writes[0]));
    QCOMPARE(writes[1], writes[0]);
    QCOMPARE(writes[0].mid(61), QByteArray::fromHex("0000019F"));

    passes(19);
    QCOMPARE(recorder->events, QStringList {"id:*"});
    task->PollDevice(); // pass 40
    QCOMPARE(recorder->events, (QStringList {"id:*", "usb:1", "msg:4"}));
    passes(100);
    QCOMPARE(recorder->events.size(), 3);
}

void TestDeviceLink::detach_closesOnNextPollAndSignalsOnTheOneAfter()
{
    const int device = SimHid::attach({false});
    passes(40);
    recorder->clear();
    SimHid::detach(device);
    passes(20);
    QCOMPARE(SimHid::openHandles(device), 0);
    QVERIFY(!task->deviceIsOpen());
    QCOMPARE(recorder->events, QStringList {"id:*"});
    passes(20);
    QCOMPARE(recorder->events, (QStringList {"id:*", "usb:0", "msg:5"}));
    passes(100);
    QCOMPARE(recorder->events.size(), 3);
}

void TestDeviceLink::lostBeforeSignalled_isNeverReportedAsConnected()
{
    const int device = SimHid::attach({false});
    passes(20);
    SimHid::detach(device);
    passes(200);
    QCOMPARE(recorder->events, (QStringList {"id:*", "id:*"}));
    QCOMPARE(SimHid::openHandles(device), 0);
}

void TestDeviceLink::legacyDevice_keepsThePlaceholderIdentity()
{
    const int device = SimHid::attach({false});
    passes(100);
    QCOMPARE(SimHid::identityRequests(device), 2);
    QVERIFY(!task->deviceIsV20());
    QCOMPARE(recorder->filtered("id"), QStringList {"id:*"});
}

void TestDeviceLink::identityReply_reachesTheController()
{
    SimHid::DeviceOptions v20;
    v20.identity = "TX-V20";
    SimHid::attach(v20);
    passes(40);
    QVERIFY(task->deviceIsV20());
    // One reply to each of the two requests.
    QCOMPARE(recorder->events, (QStringList {"id:*", "id:TX-V20", "id:TX-V20", "usb:1", "msg:4"}));
}

void TestDeviceLink::twoDevices_firstEnumeratedStaysOpenInAnyOrder()
{
    const int first = SimHid::attach({false});
    const int second = SimHid::attach({false});
    passes(40);
    QCOMPARE(SimHid::openHandles(first), 1);
    QCOMPARE(SimHid::openHandles(second), 0);
    SimHid::setEnumerationReversed(true);
    passes(100);
    QCOMPARE(SimHid::openHandles(first), 1);
    QCOMPARE(recorder->events, (QStringList {"id:*", "usb:1", "msg:4"}));

    // Losing the open one moves the link to the other after a disconnection.
    SimHid::detach(first);
    passes(40);
    QCOMPARE(SimHid::openHandles(first), 0);
    QCOMPARE(SimHid::openHandles(second), 1);
    QCOMPARE(recorder->events.mid(3), (QStringList {"id:*", "usb:0", "msg:5", "id:*"}));
}

void TestDeviceLink::otherProducts_areIgnored()
{
    SimHid::DeviceOptions other;
    other.productId = 0x5740;
    const int device = SimHid::attach(other);
    passes(100);
    QCOMPARE(SimHid::openHandles(device), 0);
    QVERIFY(recorder->events.isEmpty());
}

void TestDeviceLink::reattach_opensAgainWithinTheDisconnectPoll()
{
    const int first = SimHid::attach({false});
    passes(40);
    SimHid::detach(first);
    const int again = SimHid::attach({false});
    passes(40);
    QCOMPARE(SimHid::openHandles(again), 1);
    QCOMPARE(recorder->events,
             (QStringList {"id:*", "usb:1", "msg:4", "id:*", "usb:0", "msg:5", "id:*"}));
    passes(20);
    QCOMPARE(recorder->events.mid(7), (QStringList {"usb:1", "msg:4"}));
}

void TestDeviceLink::unopenableDevice_isReportedOncePerAppearance()
{
    SimHid::DeviceOptions locked;
    locked.refusesOpen = true;
    locked.answersIdentity = false;
    const int first = SimHid::attach(locked);
    // The reason reaches the diagnostic channel with hidapi's own text.
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("cannot be opened: .*Permission denied")));
    passes(200);
    QCOMPARE(recorder->events, QStringList {"msg:12"});

    // Plugged in again: a new appearance, said again.
    SimHid::detach(first);
    passes(20);
    const int second = SimHid::attach(locked);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot be opened")));
    passes(100);
    QCOMPARE(recorder->events, (QStringList {"msg:12", "msg:12"}));

    // Access granted while it stays plugged in: it opens and connects as any device does.
    SimHid::setOpenRefused(second, false);
    passes(40);
    QCOMPARE(SimHid::openHandles(second), 1);
    QCOMPARE(recorder->events.mid(2), (QStringList {"id:*", "usb:1", "msg:4"}));
}

void TestDeviceLink::destroyingTheEngine_closesTheDevice()
{
    const int device = SimHid::attach({false});
    passes(40);
    QCOMPARE(SimHid::openHandles(device), 1);
    delete task;
    task = nullptr;
    QCOMPARE(SimHid::openHandles(device), 0);
}

// Three accessories: the engine opens the first that its claim allows and that opens, or only its
// target; a claim is given back for one that does not open, and for the open one once it goes.
void TestDeviceLink::choice_firstClaimableOrTheTarget_data()
{
    // Accessories by their place, from 1; 0 for none.
    QTest::addColumn<int>("busy"); // refused by the claim
    QTest::addColumn<int>("unopenable");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("opened");
    QTest::newRow("first free") << 0 << 0 << 0 << 1;
    QTest::newRow("first busy in another copy") << 1 << 0 << 0 << 2;
    QTest::newRow("first cannot be opened") << 0 << 1 << 0 << 2;
    QTest::newRow("target") << 0 << 0 << 3 << 3;
    QTest::newRow("target busy: none opened") << 3 << 0 << 3 << 0;
}

void TestDeviceLink::choice_firstClaimableOrTheTarget()
{
    QFETCH(int, busy);
    QFETCH(int, unopenable);
    QFETCH(int, target);
    QFETCH(int, opened);
    QList<int> devices;
    for (int i = 1; i <= 3; ++i)
        devices << SimHid::attach({true, "ID" + QByteArray::number(i), 0, i == unopenable});
    const auto path = [&](int place) { return SimHid::pathOf(devices[place - 1]).toStdString(); };
    std::vector<std::string> claimed;
    if (target)
        task->setTargetPath(path(target));
    task->setDeviceClaim(
        [&](const std::string &p) {
            if (busy && p == path(busy))
                return false;
            claimed.push_back(p);
            return true;
        },
        [&](const std::string &p) { claimed.erase(std::find(claimed.begin(), claimed.end(), p)); });
    QSignalSpy chosen(task, &MainTask::sig_DeviceChosen);
    passes(20);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(SimHid::openHandles(devices[i - 1]), i == opened ? 1 : 0);
    QCOMPARE(claimed.size(), std::size_t(opened ? 1 : 0));
    if (opened)
        QCOMPARE(claimed.front(), path(opened));
    // The window's log names the one it uses when more than one is there to choose from.
    QCOMPARE(chosen.size(), opened && !target ? 1 : 0);
    if (opened) {
        SimHid::detach(devices[opened - 1]);
        passes(20);
        QVERIFY(claimed.empty());
    }
}

void TestDeviceLink::identityRequestWriteFails_deviceStillConnects_data()
{
    QTest::addColumn<int>("failing"); // of the two requests, from the first
    QTest::addColumn<bool>("v20");
    QTest::newRow("first request fails: the second is answered") << 1 << true;
    QTest::newRow("both fail: a legacy device") << 2 << false;
}

void TestDeviceLink::identityRequestWriteFails_deviceStillConnects()
{
    QFETCH(int, failing);
    QFETCH(bool, v20);
    SimHid::DeviceOptions options;
    options.identity = "TX-V20";
    const int device = SimHid::attach(options);
    SimHid::failWrite(1, failing);
    passes(40);
    QCOMPARE(SimHid::identityRequests(device), 2 - failing);
    QCOMPARE(task->deviceIsV20(), v20);
    QCOMPARE(recorder->filtered("msg"), QStringList {"msg:4"});
    QCOMPARE(recorder->filtered("id").last(),
             v20 ? QStringLiteral("id:TX-V20") : QStringLiteral("id:*"));
}

void TestDeviceLink::windowLink_opensOnlyTheNamedAccessory_data()
{
    // Accessories by their place, from 1; 0 for none, -1 for no second naming.
    QTest::addColumn<int>("named");
    QTest::addColumn<int>("lost"); // detached once the named one is open
    QTest::addColumn<int>("namedLater");
    QTest::addColumn<int>("opened");
    QTest::newRow("named none: none opened") << 0 << 0 << -1 << 0;
    QTest::newRow("named: that one") << 2 << 0 << -1 << 2;
    QTest::newRow("named one lost: no other opened") << 1 << 1 << -1 << 0;
    QTest::newRow("named anew between updates: the link moves") << 1 << 0 << 3 << 3;
    QTest::newRow("named none later: the open one closes") << 1 << 0 << 0 << 0;
}

void TestDeviceLink::windowLink_opensOnlyTheNamedAccessory()
{
    QFETCH(int, named);
    QFETCH(int, lost);
    QFETCH(int, namedLater);
    QFETCH(int, opened);
    AccessoryLocks locks;
    task->setAccessoryLocks(&locks);
    QList<int> devices;
    for (int i = 1; i <= 3; ++i) {
        SimHid::DeviceOptions options;
        options.identity = "ID" + QByteArray::number(i);
        options.serial = "SN" + QByteArray::number(i);
        devices << SimHid::attach(options);
    }
    const auto path = [&](int place) {
        return place > 0 ? QString::fromLatin1(SimHid::pathOf(devices[place - 1])) : QString();
    };
    QSignalSpy reports(task, &MainTask::sig_AccessoriesPresent);
    task->SetTarget(path(named));
    passes(40);
    if (lost)
        SimHid::detach(devices[lost - 1]);
    if (namedLater >= 0)
        task->SetTarget(path(namedLater));
    passes(100);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(SimHid::openHandles(devices[i - 1]), i == opened ? 1 : 0);
    // Only a loss is a disconnection; the window moving the link is not.
    QCOMPARE(recorder->filtered("msg").contains("msg:5"), lost != 0);
    // Reported once, and again only when the set of accessories changes.
    QCOMPARE(reports.size(), lost ? 2 : 1);
    const QVariantList first = reports.first().first().toList();
    QCOMPARE(first.size(), 3);
    for (int i = 1; i <= 3; ++i) {
        const QVariantMap accessory = first[i - 1].toMap();
        QCOMPARE(accessory["serial"].toString(), QStringLiteral("SN%1").arg(i));
        QCOMPARE(accessory["identity"].toString(), QStringLiteral("ID%1").arg(i));
        QCOMPARE(accessory["kind"].toString(), QStringLiteral("V20"));
        QCOMPARE(accessory["busy"].toBool(), false);
    }
}

void TestDeviceLink::windowLink_namedBusy_reportedThenOpenedOnceFree()
{
    AccessoryLocks locks;
    AccessoryLocks otherCopy;
    task->setAccessoryLocks(&locks);
    task->setDeviceClaim([&](const std::string &p) { return locks.claim(p.c_str()); },
                         [&](const std::string &p) { locks.release(p.c_str()); });
    SimHid::DeviceOptions options;
    options.serial = "SN1";
    const int device = SimHid::attach(options);
    const QByteArray path = SimHid::pathOf(device);
    QVERIFY(otherCopy.claim(path));
    QSignalSpy reports(task, &MainTask::sig_AccessoriesPresent);
    task->SetTarget(QString::fromLatin1(path));
    passes(100);
    QCOMPARE(SimHid::openHandles(device), 0);
    QCOMPARE(reports.size(), 2); // the busy one's refusal is reported once, not at every poll
    QVERIFY(reports.last().first().toList().first().toMap()["busy"].toBool());
    otherCopy.release(path);
    passes(100);
    QCOMPARE(SimHid::openHandles(device), 1);
    QCOMPARE(reports.size(), 3);
    QVERIFY(!reports.last().first().toList().first().toMap()["busy"].toBool());
    task->SetTarget(QString()); // closed while the locks it claimed through still exist
    passes(20);
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
