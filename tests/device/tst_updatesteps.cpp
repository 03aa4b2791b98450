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
    void updateBeforeTheConnectionIsReported_isRefused();
    void identityReplyDuringAnUpdate_keepsTheDeviceKind();
    void imageChangedDuringTheUpdate_theOriginalIsWritten_data();
    void imageChangedDuringTheUpdate_theOriginalIsWritten();
    void shortRead_isNoAcknowledgement();
    void staleReplyQueuedBeforeABlock_isNoAcknowledgement();
    void updateState_spansFromTheChecksToTheEnd_data();
    void updateState_spansFromTheChecksToTheEnd();
    void runOnePass_takesTheStepMachinesPassCount();

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
    // Runs passes until `event` is recorded; false after `limit` passes.
    bool passesUntil(const QString &event, int limit = 20000)
    {
        for (int i = 0; i < limit && !recorder->events.contains(event); ++i)
            passes(1);
        return recorder->events.contains(event);
    }
    QString imagePath() const { return dir.filePath(QStringLiteral("fw.bin")); }

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
    const QString path = imagePath();
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
    QTest::addColumn<int>("stage");
    QTest::addColumn<uint>("block");
    QTest::addColumn<int>("corruption"); // -1: an identity reply instead of an acknowledgement
    const struct
    {
        const char *name;
        SimHid::Stage stage;
        uint block;
    } stages[] = {{"start", SimHid::Stage::Start, 0},
                  {"prepare", SimHid::Stage::Prepare, 0},
                  {"block 1", SimHid::Stage::Block, 1}};
    for (const auto &at : stages) {
        QTest::addRow("%s: header 0x55 0xAA", at.name)
            << int(at.stage) << at.block << int(SimHid::Corruption::BadHeader);
        QTest::addRow("%s: checksum one off", at.name)
            << int(at.stage) << at.block << int(SimHid::Corruption::ChecksumOffByOne);
        QTest::addRow("%s: identity reply", at.name) << int(at.stage) << at.block << -1;
    }
}

void TestUpdateSteps::invalidReply_isNoAcknowledgement()
{
    QFETCH(int, stage);
    QFETCH(uint, block);
    QFETCH(int, corruption);
    device = SimHid::attach({false});
    const auto at = SimHid::Stage(stage);
    if (corruption >= 0)
        SimHid::corruptReply(device, at, SimHid::Corruption(corruption), block);
    else
        SimHid::withholdReply(device, at, block);
    // Reports sent once the awaited command or block has gone out: all-zero, start, prepare,
    // blocks.
    const int sent = at == SimHid::Stage::Start ? 2
        : at == SimHid::Stage::Prepare          ? 3
                                                : 3 + 17 * int(block + 1);
    connectAndStart(QByteArray(3000, '\1'));
    for (int i = 0; i < 1000 && commandsSent().size() < sent; ++i)
        passes(1);
    QCOMPARE(commandsSent().size(), sent);
    if (corruption < 0)
        SimHid::injectReport(device, frame(0xA1));
    passes(200);
    QCOMPARE(commandsSent().size(), sent); // still waiting for the awaited reply

    SimHid::injectReport(device, frame(0x55));
    passes(3); // read, seen by the waiting step, then the next command or block
    QVERIFY(commandsSent().size() > sent);
    QVERIFY(passesUntil(QStringLiteral("msg:9")));
    QCOMPARE(SimHid::protocolErrors(device), QStringList());
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
    // The image is first copied, a slice a pass.
    passes(18 + (4096 * 1024 + 1) / FirmwareImage::sliceSize + 1);
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

void TestUpdateSteps::updateBeforeTheConnectionIsReported_isRefused()
{
    device = SimHid::attach();
    passes(20); // opened and asked for its identity, but its connection is not yet reported
    task->SetFilePath(imagePath());
    task->StartUpdate();
    passes(1);
    QCOMPARE(recorder->filtered("progress") + recorder->filtered("msg"),
             (QStringList {"progress:0", "msg:6"}));
    QCOMPARE(SimHid::writes(device).size(), 2); // the two identity requests only

    // Once connected, the V20 device gets V20 headers from the first block to the last.
    connectAndStart(QByteArray(3 * 1024, '\x11'));
    QVERIFY(passesUntil(QStringLiteral("msg:9")));
    const QList<SimHid::BlockHeader> headers = SimHid::blockHeaders(device);
    QCOMPARE(headers.size(), 3);
    for (const SimHid::BlockHeader &header : headers)
        QCOMPARE(header.command, uint8_t(0x08));
}

void TestUpdateSteps::identityReplyDuringAnUpdate_keepsTheDeviceKind()
{
    device = SimHid::attach({false});
    const QByteArray image = QByteArray(3 * 1024, '\x22');
    connectAndStart(image);
    QVERIFY(passesUntil(QStringLiteral("progress:33")));
    QByteArray identity = QByteArray::fromHex("AA55A1") + "LATE";
    identity = identity.leftJustified(60, '\0');
    uint32_t sum = 0;
    for (char c : identity)
        sum += uint8_t(c);
    for (int shift : {24, 16, 8, 0})
        identity += char(sum >> shift);
    SimHid::injectReport(device, identity);
    QVERIFY(passesUntil(QStringLiteral("msg:9")));
    QVERIFY(task->deviceIsV20()); // the reply was taken, but not for this update
    QCOMPARE(SimHid::protocolErrors(device), QStringList());
    QCOMPARE(SimHid::receivedImage(device), image);
    for (const SimHid::BlockHeader &header : SimHid::blockHeaders(device))
        QCOMPARE(header.command, uint8_t(0x04));
}

void TestUpdateSteps::imageChangedDuringTheUpdate_theOriginalIsWritten_data()
{
    QTest::addColumn<int>("newSize"); // the file's size after the change
    QTest::addColumn<bool>("overwritten"); // its bytes replaced in place (as dd conv=notrunc)
    QTest::newRow("shrinks") << 1500 << false;
    QTest::newRow("overwritten, same size") << 3 * 1024 << true;
    QTest::newRow("overwritten and grown") << 5 * 1024 << true;
}

// What is written is the copy taken before the first write, whatever happens to the file after.
void TestUpdateSteps::imageChangedDuringTheUpdate_theOriginalIsWritten()
{
    QFETCH(int, newSize);
    QFETCH(bool, overwritten);
    device = SimHid::attach();
    const QByteArray image(3 * 1024, '\x33');
    connectAndStart(image);
    QVERIFY(passesUntil(QStringLiteral("progress:33")));
    QFile file(imagePath());
    QVERIFY(file.open(QIODevice::ReadWrite));
    if (overwritten)
        QCOMPARE(file.write(QByteArray(newSize, '\x55')), qint64(newSize));
    QVERIFY(file.resize(newSize));
    file.close();
    QVERIFY(passesUntil(QStringLiteral("msg:9")));
    QCOMPARE(SimHid::receivedImage(device), image);
    QVERIFY(recorder->failures.isEmpty());
}

void TestUpdateSteps::shortRead_isNoAcknowledgement()
{
    device = SimHid::attach();
    SimHid::withholdReply(device, SimHid::Stage::Block, 0);
    connectAndStart(QByteArray(3 * 1024, '\x44'));
    QVERIFY(passesUntil(QStringLiteral("progress:0")));
    while (SimHid::blocksReceived(device) == 0)
        passes(1);
    // One byte of a header: with the rest of the prepare command's reply still in the buffer it
    // would read as a whole acknowledgement.
    SimHid::injectReport(device, QByteArray(1, char(0xAA)));
    passes(200);
    QCOMPARE(SimHid::blockHeaders(device).size(), 1);
}

void TestUpdateSteps::staleReplyQueuedBeforeABlock_isNoAcknowledgement()
{
    device = SimHid::attach();
    SimHid::withholdReply(device, SimHid::Stage::Block, 1);
    connectAndStart(QByteArray(3 * 1024, '\x55'));
    QVERIFY(passesUntil(QStringLiteral("progress:33")));
    // A late duplicate of block 0's reply is already waiting when block 1 goes out.
    SimHid::injectReport(device, frame(0x09));
    task->RunPassWork();
    QCOMPARE(SimHid::blockHeaders(device).size(), 2);
    passes(200);
    QCOMPARE(SimHid::blockHeaders(device).size(), 2);
    QVERIFY(!recorder->events.contains(QStringLiteral("progress:66")));
}

void TestUpdateSteps::updateState_spansFromTheChecksToTheEnd_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("failingWrite"); // 0: none
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("states"); // with the device's write count when each came
    QTest::newRow("success") << 3000 << 0 << "msg:9"
                             << QStringList {"1@2", "0@" + QString::number(2 + 3 + 3 * 17)};
    QTest::newRow("empty image") << 0 << 0 << "msg:1" << QStringList();
    QTest::newRow("write failure") << 3000 << 4 << "msg:8" << QStringList {"1@2", "0@5"};
}

void TestUpdateSteps::updateState_spansFromTheChecksToTheEnd()
{
    QFETCH(int, size);
    QFETCH(int, failingWrite);
    QFETCH(QString, end);
    QFETCH(QStringList, states);
    device = SimHid::attach();
    QStringList seen;
    connect(task, &MainTask::sig_UpdateState, this, [&](bool running) {
        seen << QStringLiteral("%1@%2").arg(int(running)).arg(SimHid::writes(device).size());
        // The state ends after the update's last message.
        if (!running)
            QCOMPARE(recorder->events.last(), end);
    });
    connectAndStart(QByteArray(size, '\x66'));
    if (failingWrite)
        SimHid::failWrite(failingWrite);
    QVERIFY(passesUntil(end));
    passes(5);
    QCOMPARE(seen, states);
}

// Whole passes, waits included, with queued calls delivered inside them. Against an instant
// device the count is the step machine's own: 3 checks and opening steps, 10 settling passes,
// 2 passes for each command and each block (send, then see the reply), and the finish.
void TestUpdateSteps::runOnePass_takesTheStepMachinesPassCount()
{
    device = SimHid::attach();
    task->setPassSlot(std::chrono::microseconds(0));
    for (int i = 0; i < 40; ++i)
        task->RunOnePass();
    QCOMPARE(recorder->filtered("msg"), QStringList {"msg:4"});
    const QString path = imagePath();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(3 * 1024, '\x77'));
    file.close();
    QMetaObject::invokeMethod(task, "SetFilePath", Qt::QueuedConnection, Q_ARG(QString, path));
    QMetaObject::invokeMethod(task, "StartUpdate", Qt::QueuedConnection);
    task->RunOnePass(); // delivers the two calls
    QVERIFY(task->isUpdateRequested());
    int count = 0;
    while (task->isUpdateRequested() && count < 1000) {
        task->RunOnePass();
        ++count;
    }
    QCOMPARE(recorder->events.last(), QStringLiteral("msg:9"));
    QCOMPARE(count, 3 + 10 + 2 * 2 + 3 * 2 + 1);
    QCOMPARE(SimHid::receivedImage(device), QByteArray(3 * 1024, '\x77'));
}

QTEST_GUILESS_MAIN(TestUpdateSteps)
#include "tst_updatesteps.moc"
