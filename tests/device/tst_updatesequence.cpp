// Whole updates through the engine's own loop on its worker thread against the simulated device.
#include "EngineHarness.h"

#include <QtTest>

class TestUpdateSequence : public QObject
{
    Q_OBJECT
private slots:
    void init() { SimHid::reset(); }

    void update_deliversTheImageWithItsFill_data();
    void update_deliversTheImageWithItsFill();
    void update_reportsProgressPerBlock();
    void legacyDevice_largeImagesCarryTheIndexHighBitsInTheCommand_data();
    void legacyDevice_largeImagesCarryTheIndexHighBitsInTheCommand();
    void update_refusedBeforeAnythingIsWritten_data();
    void update_refusedBeforeAnythingIsWritten();
    void update_withoutDevice_reportsProgressZeroThenNoDevice();
    void update_failsWhenStartIsNotAcknowledged();
    void update_failsAtAWriteErrorAndWritesNothingMore_data();
    void update_failsAtAWriteErrorAndWritesNothingMore();
    void update_failsWhenDeviceDetachesMidUpdate();
    void update_failsWhenAReplyNeverComes_data();
    void update_failsWhenAReplyNeverComes();
    void deviceLeavesMidUpdate_nothingMoreWrittenAndTheNextDeviceUpdates_data();
    void deviceLeavesMidUpdate_nothingMoreWrittenAndTheNextDeviceUpdates();
    void startUpdateTwice_runsOneUpdate();
    void newPathDuringUpdate_isUsedByTheNextUpdate();
    void stop_duringAnUpdate_endsWithoutAMessage();
};

void TestUpdateSequence::update_deliversTheImageWithItsFill_data()
{
    QTest::addColumn<bool>("v20");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("repliesTwice");
    for (bool v20 : {true, false}) {
        const char *kind = v20 ? "V20" : "legacy";
        for (int size : {1, 1024, 1025, 3000})
            QTest::addRow("%s, %d bytes", kind, size) << v20 << size << false;
    }
    // Indices above 255 need all four bytes of the V20 header's index.
    QTest::newRow("V20, 300 blocks") << true << 300 * 1024 - 7 << false;
    QTest::newRow("V20, every reply sent twice") << true << 5000 << true;
    QTest::newRow("legacy, every reply sent twice") << false << 5000 << true;
}

void TestUpdateSequence::update_deliversTheImageWithItsFill()
{
    QFETCH(bool, v20);
    QFETCH(int, size);
    QFETCH(bool, repliesTwice);
    SimHid::DeviceOptions options;
    options.answersIdentity = v20;
    options.repliesTwice = repliesTwice;
    const int device = SimHid::attach(options);
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    const QByteArray image = testImage(size);
    engine.setFilePath(QUrl::fromLocalFile(engine.writeImage(image)).toString());
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());

    QCOMPARE(engine.recorder.events.last(), QStringLiteral("msg:9"));
    QCOMPARE(SimHid::protocolErrors(device), QStringList());
    QCOMPARE(SimHid::receivedImage(device), withFill(image));
    const QList<SimHid::BlockHeader> headers = SimHid::blockHeaders(device);
    QCOMPARE(headers.size(), (size + 1023) / 1024);
    for (int k = 0; k < headers.size(); ++k) {
        QCOMPARE(headers[k].command, uint8_t(v20 ? 0x08 : 0x04));
        QCOMPARE(headers[k].index, uint32_t(k));
        QVERIFY(headers[k].checksumMatches);
    }
}

void TestUpdateSequence::update_reportsProgressPerBlock()
{
    SimHid::DeviceOptions options;
    options.ackDelayMs = 2; // replies come a few passes later, as from a real device
    SimHid::attach(options);
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    engine.recorder.clear();
    engine.setFilePath(engine.writeImage(testImage(3 * 1024)));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.events,
             (QStringList {"progress:0", "progress:33", "progress:66", "progress:100", "msg:9"}));
}

void TestUpdateSequence::legacyDevice_largeImagesCarryTheIndexHighBitsInTheCommand_data()
{
    QTest::addColumn<int>("blocks");
    QTest::newRow("257 blocks") << 257;
    QTest::newRow("4096 blocks, the most a legacy header addresses") << 4096;
}

void TestUpdateSequence::legacyDevice_largeImagesCarryTheIndexHighBitsInTheCommand()
{
    QFETCH(int, blocks);
    const int device = SimHid::attach({false});
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    const QByteArray image = testImage(blocks * 1024 - 100);
    engine.setFilePath(engine.writeImage(image));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.events.last(), QStringLiteral("msg:9"));
    QCOMPARE(SimHid::protocolErrors(device), QStringList());
    QCOMPARE(SimHid::receivedImage(device), withFill(image));

    const QList<SimHid::BlockHeader> headers = SimHid::blockHeaders(device);
    QCOMPARE(headers.size(), blocks);
    // The header of block k is the first report after the 16 data reports of block k - 1.
    const auto headerBytes = [&](int k) {
        const QList<QByteArray> writes = SimHid::writes(device);
        const int first = writes.size() - 17 * blocks;
        return writes[first + 17 * k];
    };
    QCOMPARE(uint8_t(headerBytes(255)[3]), uint8_t(0x04));
    QCOMPARE(uint8_t(headerBytes(255)[4]), uint8_t(0xFF));
    QCOMPARE(uint8_t(headerBytes(256)[3]), uint8_t(0x14));
    QCOMPARE(uint8_t(headerBytes(256)[4]), uint8_t(0x00));
    QCOMPARE(uint8_t(headerBytes(blocks - 1)[3]), uint8_t(blocks == 4096 ? 0xF4 : 0x14));
    QCOMPARE(uint8_t(headerBytes(blocks - 1)[4]), uint8_t((blocks - 1) & 0xFF));
}

void TestUpdateSequence::update_refusedBeforeAnythingIsWritten_data()
{
    QTest::addColumn<QString>("path"); // "<image>" stands for a written image of `size` bytes
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("v20");
    QTest::addColumn<QString>("message");
    const qint64 MiB = 1024 * 1024;
    const qint64 GiB4 = qint64(1) << 32;
    QTest::newRow("no path chosen") << QString() << qint64(0) << false << "msg:7";
    QTest::newRow("missing file") << "/nonexistent/fw.bin" << qint64(0) << false << "msg:0";
    QTest::newRow("another scheme")
        << "https://example.invalid/fw.bin" << qint64(0) << false << "msg:0";
    QTest::newRow("folder") << "<dir>" << qint64(0) << false << "msg:0";
#ifndef Q_OS_WIN
    QTest::newRow("FIFO") << "<fifo>" << qint64(0) << false << "msg:0";
#endif
    QTest::newRow("device node") << "/dev/zero" << qint64(0) << false << "msg:0";
    QTest::newRow("empty image") << "<image>" << qint64(0) << false << "msg:1";
    QTest::newRow("legacy device, 4096 blocks and one byte")
        << "<image>" << 4096 * 1024 + qint64(1) << false << "msg:1";
    QTest::newRow("V20, above the 64 MiB bound") << "<image>" << 64 * MiB + 1 << true << "msg:1";
    // Sizes whose low 32 bits look small or wrap the block count.
    QTest::newRow("V20, 4 GiB less one byte") << "<image>" << GiB4 - 1 << true << "msg:1";
    QTest::newRow("V20, 4 GiB and one byte") << "<image>" << GiB4 + 1 << true << "msg:1";
}

void TestUpdateSequence::update_refusedBeforeAnythingIsWritten()
{
    QFETCH(QString, path);
    QFETCH(qint64, size);
    QFETCH(bool, v20);
    QFETCH(QString, message);
    SimHid::DeviceOptions options;
    options.answersIdentity = v20;
    const int device = SimHid::attach(options);
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    const int writesBefore = SimHid::writeAttempts();
    if (path == QLatin1String("<image>"))
        path = engine.writeSparseImage(size);
    else if (path == QLatin1String("<dir>"))
        path = engine.dir.path();
    else if (path == QLatin1String("<fifo>"))
        path = engine.makeFifo();
    QVERIFY(!path.isNull() || message == QLatin1String("msg:7"));
    engine.recorder.clear();
    if (!path.isEmpty())
        engine.setFilePath(path);
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.events, (QStringList {"progress:0", message}));
    QCOMPARE(engine.recorder.failures, QStringList()); // refused, not failed
    QCOMPARE(SimHid::writeAttempts(), writesBefore);
    QCOMPARE(SimHid::blockHeaders(device).size(), 0);
    // The engine goes on polling: it was not stuck in the open.
    QVERIFY(engine.stop());
}

void TestUpdateSequence::update_withoutDevice_reportsProgressZeroThenNoDevice()
{
    EngineHarness engine;
    engine.setFilePath(engine.writeImage(testImage(10)));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.events, (QStringList {"progress:0", "msg:6"}));
    QCOMPARE(SimHid::writeAttempts(), 0);
}

void TestUpdateSequence::update_failsWhenStartIsNotAcknowledged()
{
    const int device = SimHid::attach();
    SimHid::withholdReply(device, SimHid::Stage::Start);
    EngineHarness engine(std::chrono::microseconds(0));
    QVERIFY(engine.waitConnected());
    engine.recorder.clear();
    const quint64 passesBefore = engine.task->passCount();
    engine.setFilePath(engine.writeImage(testImage(2000)));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.events, (QStringList {"progress:0", "msg:8"}));
    QCOMPARE(engine.recorder.failures,
             QStringList {EngineRecorder::failureEvent(UpdateFailure::NoStartAck, 0, 2)});
    // The wait is counted in passes: more than 5000 after the start command went out.
    QVERIFY(engine.task->passCount() - passesBefore > 5000 + 14);
    // All-zero report and start command, then nothing more: there are no retries.
    QCOMPARE(SimHid::writes(device).size(), 2 + 2);
    QCOMPARE(SimHid::blockHeaders(device).size(), 0);
}

void TestUpdateSequence::update_failsAtAWriteErrorAndWritesNothingMore_data()
{
    QTest::addColumn<int>("failingWrite");
    QTest::addColumn<int>("blocksAcknowledged");
    QTest::addColumn<QString>("failure");
    const auto command = EngineRecorder::failureEvent(UpdateFailure::CommandWriteFailed, 0, 3);
    const auto block
        = [](int n) { return EngineRecorder::failureEvent(UpdateFailure::BlockWriteFailed, n, 3); };
    QTest::newRow("all-zero report") << 1 << 0 << command;
    QTest::newRow("start command") << 2 << 0 << command;
    QTest::newRow("prepare command") << 3 << 0 << command;
    QTest::newRow("header of block 0") << 4 << 0 << block(1);
    QTest::newRow("first data report of block 0") << 5 << 0 << block(1);
    QTest::newRow("last data report of block 1") << 3 + 17 + 17 << 1 << block(2);
}

void TestUpdateSequence::update_failsAtAWriteErrorAndWritesNothingMore()
{
    QFETCH(int, failingWrite);
    QFETCH(int, blocksAcknowledged);
    QFETCH(QString, failure);
    SimHid::attach();
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    engine.recorder.clear();
    const int writesBefore = SimHid::writeAttempts();
    SimHid::failWrite(failingWrite);
    engine.setFilePath(engine.writeImage(testImage(3 * 1024)));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.events.last(), QStringLiteral("msg:8"));
    QCOMPARE(engine.recorder.filtered("progress").size(), 1 + blocksAcknowledged);
    QCOMPARE(SimHid::writeAttempts() - writesBefore, failingWrite);
    QCOMPARE(engine.recorder.failures, QStringList {failure});
}

void TestUpdateSequence::update_failsWhenDeviceDetachesMidUpdate()
{
    const int device = SimHid::attach();
    SimHid::detachAfterBlock(device, 1);
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    engine.recorder.clear();
    engine.setFilePath(engine.writeImage(testImage(5 * 1024)));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.filtered("progress"), (QStringList {"progress:0", "progress:20"}));
    QCOMPARE(engine.recorder.filtered("msg"), QStringList {"msg:8"});
    QCOMPARE(engine.recorder.failures,
             QStringList {EngineRecorder::failureEvent(UpdateFailure::UnpluggedDuringBlock, 2, 5)});
    // Every write reached the device: nothing was attempted once it had gone.
    QCOMPARE(SimHid::writeAttempts(), SimHid::writes(device).size());
    QCOMPARE(SimHid::blockHeaders(device).size(), 2);
}

void TestUpdateSequence::update_failsWhenAReplyNeverComes_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<uint>("block");
    QTest::addColumn<bool>("repliesTwice");
    QTest::addColumn<int>("reports"); // what the device received: all-zero, commands, blocks
    QTest::addColumn<QString>("failure"); // block 2 from 0 is the third counted from 1
    const auto noPrepareAck = EngineRecorder::failureEvent(UpdateFailure::NoPrepareAck, 0, 5);
    const auto noBlockAck = EngineRecorder::failureEvent(UpdateFailure::NoBlockAck, 3, 5);
    QTest::newRow("prepare command")
        << int(SimHid::Stage::Prepare) << 0u << false << 3 << noPrepareAck;
    QTest::newRow("middle block") << int(SimHid::Stage::Block) << 2u << false << 3 + 3 * 17
                                  << noBlockAck;
    // The second reply to block 1 is stale once block 2 has gone out.
    QTest::newRow("middle block, after a duplicate reply")
        << int(SimHid::Stage::Block) << 2u << true << 3 + 3 * 17 << noBlockAck;
}

void TestUpdateSequence::update_failsWhenAReplyNeverComes()
{
    QFETCH(int, stage);
    QFETCH(uint, block);
    QFETCH(bool, repliesTwice);
    QFETCH(int, reports);
    QFETCH(QString, failure);
    SimHid::DeviceOptions options;
    options.repliesTwice = repliesTwice;
    const int device = SimHid::attach(options);
    SimHid::withholdReply(device, SimHid::Stage(stage), block);
    EngineHarness engine(std::chrono::microseconds(0)); // the wait by its pass count alone
    QVERIFY(engine.waitConnected());
    const int before = SimHid::writes(device).size();
    const quint64 passesBefore = engine.task->passCount();
    engine.setFilePath(engine.writeImage(testImage(5 * 1024)));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.filtered("msg"), (QStringList {"msg:4", "msg:8"}));
    QVERIFY(engine.task->passCount() - passesBefore > 5000);
    QCOMPARE(engine.recorder.filtered("progress").size(), 1 + int(block));
    QCOMPARE(SimHid::writes(device).size() - before, reports);
    QCOMPARE(engine.recorder.failures, QStringList {failure});
}

// The device goes away before a block, between a block's data reports, or after a block while
// its reply is awaited, with another one already plugged in.
void TestUpdateSequence::deviceLeavesMidUpdate_nothingMoreWrittenAndTheNextDeviceUpdates_data()
{
    QTest::addColumn<int>("afterReports"); // -1: after block 1, before its reply
    QTest::addColumn<int>("reports"); // what it received
    QTest::addColumn<QString>("failure");
    const auto during = [](int block) {
        return EngineRecorder::failureEvent(UpdateFailure::UnpluggedDuringBlock, block, 4);
    };
    QTest::newRow("before block 0")
        << 3 << 3 << EngineRecorder::failureEvent(UpdateFailure::UnpluggedBeforeBlocks, 0, 4);
    QTest::newRow("in the middle of block 0's data reports") << 3 + 1 + 8 << 3 + 1 + 8 << during(1);
    QTest::newRow("while block 1's reply is awaited") << -1 << 3 + 2 * 17 << during(2);
}

void TestUpdateSequence::deviceLeavesMidUpdate_nothingMoreWrittenAndTheNextDeviceUpdates()
{
    QFETCH(int, afterReports);
    QFETCH(int, reports);
    QFETCH(QString, failure);
    const int first = SimHid::attach();
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    const int replacement = SimHid::attach();
    if (afterReports < 0)
        SimHid::detachAfterBlock(first, 1);
    else
        SimHid::detachAfterWrites(first, afterReports);
    const int before = SimHid::writes(first).size();
    const QByteArray image = testImage(4 * 1024);
    engine.setFilePath(engine.writeImage(image));
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.filtered("msg"), (QStringList {"msg:4", "msg:8"}));
    QCOMPARE(SimHid::writes(first).size() - before, reports);
    QCOMPARE(SimHid::writes(replacement).size(), 0); // never touched during the update
    QCOMPARE(engine.recorder.failures, QStringList {failure});

    // The engine moves on to the device that is still there, which then takes the image.
    QVERIFY(engine.recorder.waitFor(QStringLiteral("msg:5")));
    engine.recorder.clear();
    QVERIFY(engine.waitConnected());
    engine.recorder.clear();
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.filtered("msg"), QStringList {"msg:9"});
    QCOMPARE(SimHid::receivedImage(replacement), image);
    QCOMPARE(SimHid::protocolErrors(replacement), QStringList());
}

void TestUpdateSequence::startUpdateTwice_runsOneUpdate()
{
    const int device = SimHid::attach();
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    engine.recorder.clear();
    engine.setFilePath(engine.writeImage(testImage(2048)));
    engine.startUpdate();
    engine.startUpdate();
    QVERIFY(engine.waitForEnd());
    QCOMPARE(engine.recorder.events,
             (QStringList {"progress:0", "progress:50", "progress:100", "msg:9"}));
    QCOMPARE(SimHid::blockHeaders(device).size(), 2);
}

void TestUpdateSequence::newPathDuringUpdate_isUsedByTheNextUpdate()
{
    SimHid::DeviceOptions options;
    options.ackDelayMs = 5;
    const int device = SimHid::attach(options);
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    const QByteArray first = testImage(4 * 1024);
    const QByteArray second = QByteArray(1500, '\x42');
    engine.setFilePath(engine.writeImage(first));
    engine.startUpdate();
    QVERIFY(engine.recorder.waitFor(QStringLiteral("progress:25"))); // the first image is open
    engine.setFilePath(engine.writeImage(second));
    QVERIFY(engine.recorder.waitFor(QStringLiteral("msg:9")));
    QCOMPARE(SimHid::receivedImage(device), withFill(first));

    engine.recorder.clear();
    engine.startUpdate();
    QVERIFY(engine.recorder.waitFor(QStringLiteral("msg:9")));
    QCOMPARE(SimHid::receivedImage(device), withFill(second));
    QCOMPARE(SimHid::protocolErrors(device), QStringList());
}

void TestUpdateSequence::stop_duringAnUpdate_endsWithoutAMessage()
{
    const int device = SimHid::attach();
    SimHid::withholdReply(device, SimHid::Stage::Block, 1);
    EngineHarness engine;
    QVERIFY(engine.waitConnected());
    engine.recorder.clear();
    engine.setFilePath(engine.writeImage(testImage(3 * 1024)));
    engine.startUpdate();
    QVERIFY(engine.recorder.waitFor(QStringLiteral("progress:33")));
    QVERIFY(engine.stop());
    QCoreApplication::processEvents();
    QCOMPARE(engine.recorder.filtered("msg"), QStringList());
    // Whoever guards the running update is told that it has ended.
    QCOMPARE(engine.recorder.states, (QStringList {"state:1", "state:0"}));
}

QTEST_GUILESS_MAIN(TestUpdateSequence)
#include "tst_updatesequence.moc"
