// The update's step machine driven pass by pass on the test's thread: pass counts, and which
// replies count as an acknowledgement.
#include "EngineRecorder.h"
#include "SimHid.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray frame(uint8_t code)
{
    QByteArray body(64, '\0');
    body[0] = char(0xAA);
    body[1] = char(0x55);
    body[2] = char(code);
    uint32_t sum = 0xAA + 0x55 + code;
    body[60] = char(sum >> 24);
    body[61] = char(sum >> 16);
    body[62] = char(sum >> 8);
    body[63] = char(sum);
    return body;
}

} // namespace

class TestUpdateSteps : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startCommand_followsTheZeroReportByElevenPasses();
    void invalidReply_isNoAcknowledgement_data();
    void invalidReply_isNoAcknowledgement();
    void replyBeforeTheCommand_isNoAcknowledgement();
    void v20Device_takesImagesBeyondTheLegacyLimit();
    void deviceLostWhileWaiting_failsAtOnce();

private:
    void passes(int n)
    {
        for (int i = 0; i < n; ++i) {
            task->RunPassWork();
            task->ReadReply();
        }
    }
    QList<QByteArray> commandsSent() const;
    void connectAndStart(const QByteArray &image);

    QTemporaryDir dir;
    MainTask *task = nullptr;
    EngineRecorder *recorder = nullptr;
    int device = 0;
};

void TestUpdateSteps::init()
{
    SimHid::reset();
    task = new MainTask;
    recorder = new EngineRecorder(task);
}

void TestUpdateSteps::cleanup()
{
    delete recorder;
    delete task;
}

// Connects the device (40 passes) and requests an update of the given image.
void TestUpdateSteps::connectAndStart(const QByteArray &image)
{
    passes(40);
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(image);
    file.close();
    task->SetFilePath(path);
    task->StartUpdate();
}

// The frames the device received after its two identity requests, as header byte and command.
QList<QByteArray> TestUpdateSteps::commandsSent() const
{
    QList<QByteArray> commands;
    for (const QByteArray &report : SimHid::writes(device).mid(2))
        commands << report.mid(1, 3).toHex();
    return commands;
}

void TestUpdateSteps::startCommand_followsTheZeroReportByElevenPasses()
{
    device = SimHid::attach({false});
    connectAndStart(QByteArray(10, '\1'));
    passes(3); // steps 0, 1 and 2: the all-zero report goes out on the third pass
    QCOMPARE(commandsSent(), QList<QByteArray> {"000000"});
    passes(10);
    QCOMPARE(commandsSent().size(), 1);
    passes(1);
    QCOMPARE(commandsSent(), (QList<QByteArray> {"000000", "aa5500"}));
    // The start command's body after the code is still the zeros of the all-zero report.
    const QByteArray start = SimHid::writes(device).last();
    QCOMPARE(start.mid(4, 57), QByteArray(57, '\0'));
}

void TestUpdateSteps::invalidReply_isNoAcknowledgement_data()
{
    QTest::addColumn<int>("corruption"); // -1: an identity reply instead of an acknowledgement
    QTest::newRow("header 0x55 0xAA") << int(SimHid::Corruption::BadHeader);
    QTest::newRow("checksum one off") << int(SimHid::Corruption::ChecksumOffByOne);
    QTest::newRow("identity reply") << -1;
}

void TestUpdateSteps::invalidReply_isNoAcknowledgement()
{
    QFETCH(int, corruption);
    device = SimHid::attach({false});
    if (corruption >= 0)
        SimHid::corruptReply(device, SimHid::Stage::Start, SimHid::Corruption(corruption));
    else
        SimHid::withholdReply(device, SimHid::Stage::Start);
    connectAndStart(QByteArray(10, '\1'));
    passes(14);
    QCOMPARE(commandsSent().size(), 2);
    if (corruption < 0)
        SimHid::injectReport(device, frame(0xA1));
    passes(200);
    QCOMPARE(commandsSent().size(), 2); // still waiting for the start command's reply

    SimHid::injectReport(device, frame(0x55));
    passes(3); // read, seen by the waiting step, then the prepare command
    QCOMPARE(commandsSent().last(), QByteArray("aa5502"));
    passes(40);
    QCOMPARE(recorder->events.last(), QStringLiteral("msg:9"));
}

void TestUpdateSteps::replyBeforeTheCommand_isNoAcknowledgement()
{
    device = SimHid::attach({false});
    SimHid::withholdReply(device, SimHid::Stage::Start);
    connectAndStart(QByteArray(10, '\1'));
    passes(5);
    SimHid::injectReport(device, frame(0x01)); // a stray reply while the device settles
    passes(100);
    QCOMPARE(commandsSent(), (QList<QByteArray> {"000000", "aa5500"}));
}

void TestUpdateSteps::v20Device_takesImagesBeyondTheLegacyLimit()
{
    device = SimHid::attach();
    connectAndStart(QByteArray(4096 * 1024 + 1, '\7'));
    passes(18);
    const QList<SimHid::BlockHeader> headers = SimHid::blockHeaders(device);
    QVERIFY(!headers.isEmpty());
    QCOMPARE(headers.first().command, uint8_t(0x08));
    QVERIFY(!recorder->events.contains(QStringLiteral("msg:1")));
}

void TestUpdateSteps::deviceLostWhileWaiting_failsAtOnce()
{
    device = SimHid::attach();
    SimHid::withholdReply(device, SimHid::Stage::Prepare);
    connectAndStart(QByteArray(3000, '\7'));
    passes(20);
    QCOMPARE(commandsSent().last(), QByteArray("aa5502"));
    SimHid::detach(device);
    // The next poll closes the device; the waiting step then ends the update.
    passes(21);
    QCOMPARE(recorder->filtered("msg"), (QStringList {"msg:4", "msg:8"}));
    QVERIFY(!task->isUpdateRequested());
}

QTEST_GUILESS_MAIN(TestUpdateSteps)
#include "tst_updatesteps.moc"
