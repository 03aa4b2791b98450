#include "DeviceFrame.h"

#include <QtTest>

#include <array>

using Report = std::array<uint8_t, DeviceFrame::reportSize>;
using Body = std::array<uint8_t, DeviceFrame::bodySize>;

Q_DECLARE_METATYPE(DeviceFrame::Reply)

namespace {

Body validBody(uint8_t code, const QByteArray &payload)
{
    Report report {};
    DeviceFrame::build(code, reinterpret_cast<const uint8_t *>(payload.constData()),
                       uint8_t(payload.size()), report.data());
    Body body;
    std::copy(report.begin() + 1, report.end(), body.begin());
    return body;
}

QByteArray toBytes(const Body &body)
{
    return QByteArray(reinterpret_cast<const char *>(body.data()), int(body.size()));
}

} // namespace

class TestDeviceFrame : public QObject
{
    Q_OBJECT
private slots:
    void identityRequest_onZeroedBufferHasChecksum0x19F();
    void payloadOf57Bytes_fillsBodyUpToTheChecksum();
    void build_keepsTheTailOfThePreviousReportUnderTheChecksum();
    void classify_data();
    void classify();
    void decodeIdentity_data();
    void decodeIdentity();
    void legacyBlockCommand_data();
    void legacyBlockCommand();
};

void TestDeviceFrame::identityRequest_onZeroedBufferHasChecksum0x19F()
{
    Report report {};
    DeviceFrame::build(DeviceFrame::cmdDeviceIdRequest, nullptr, 0, report.data());
    QCOMPARE(report[0], uint8_t(0x00));
    QCOMPARE(report[1], uint8_t(0xAA));
    QCOMPARE(report[2], uint8_t(0x55));
    QCOMPARE(report[3], uint8_t(0xA0));
    for (int i = 4; i <= 60; ++i)
        QCOMPARE(report[i], uint8_t(0));
    const Report::const_iterator checksum = report.begin() + 61;
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&*checksum), 4),
             QByteArray::fromHex("0000019F"));
}

void TestDeviceFrame::payloadOf57Bytes_fillsBodyUpToTheChecksum()
{
    QByteArray payload(57, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i + 1);
    const Body body = validBody(0x08, payload);
    QCOMPARE(toBytes(body).mid(3, 57), payload);
    QCOMPARE(DeviceFrame::getBigEndian(body.data() + 60), DeviceFrame::bodySum(body.data()));
    QCOMPARE(DeviceFrame::classify(body.data()), DeviceFrame::Reply::Acknowledgement);
}

void TestDeviceFrame::build_keepsTheTailOfThePreviousReportUnderTheChecksum()
{
    Report report;
    report.fill(0x11);
    const uint8_t payload[5] = {1, 2, 3, 4, 5};
    DeviceFrame::build(0x04, payload, 5, report.data());
    QCOMPARE(report[1 + 8], uint8_t(0x11)); // first body byte after the payload
    QCOMPARE(report[60], uint8_t(0x11));
    const uint32_t expected = 0xAA + 0x55 + 0x04 + (1 + 2 + 3 + 4 + 5) + 52 * 0x11;
    QCOMPARE(DeviceFrame::getBigEndian(report.data() + 61), expected);
}

void TestDeviceFrame::classify_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<DeviceFrame::Reply>("expected");

    const Body ack = validBody(0x09, QByteArray(1, '\0'));
    QTest::newRow("acknowledgement") << toBytes(ack) << DeviceFrame::Reply::Acknowledgement;
    QTest::newRow("acknowledgement with code 0x00")
        << toBytes(validBody(0x00, {})) << DeviceFrame::Reply::Acknowledgement;
    QTest::newRow("identity reply")
        << toBytes(validBody(0xA1, "ABC")) << DeviceFrame::Reply::DeviceId;

    Body swapped = ack;
    std::swap(swapped[0], swapped[1]);
    QTest::newRow("header 0x55 0xAA") << toBytes(swapped) << DeviceFrame::Reply::Invalid;
    Body above = ack;
    ++above[63];
    QTest::newRow("checksum one above") << toBytes(above) << DeviceFrame::Reply::Invalid;
    Body below = ack;
    --below[63];
    QTest::newRow("checksum one below") << toBytes(below) << DeviceFrame::Reply::Invalid;
    Body payloadChanged = validBody(0xA1, "ABC");
    payloadChanged[4] = 'C';
    QTest::newRow("identity altered after the checksum")
        << toBytes(payloadChanged) << DeviceFrame::Reply::Invalid;
    QTest::newRow("all zero") << QByteArray(64, '\0') << DeviceFrame::Reply::Invalid;
}

void TestDeviceFrame::classify()
{
    QFETCH(QByteArray, body);
    QFETCH(DeviceFrame::Reply, expected);
    QCOMPARE(DeviceFrame::classify(reinterpret_cast<const uint8_t *>(body.constData())), expected);
}

void TestDeviceFrame::decodeIdentity_data()
{
    QTest::addColumn<QByteArray>("identity");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ABC and 29 NULs")
        << QByteArray("ABC").leftJustified(32, '\0') << QStringLiteral("ABC");
    const QByteArray full = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
    QTest::newRow("32 bytes without NUL") << full << QString::fromLatin1(full);
    QTest::newRow("UTF-8") << QByteArray("\xE8\xAE\xBE\xE5\xA4\x87").leftJustified(32, '\0')
                           << QStringLiteral("设备");
    QTest::newRow("empty") << QByteArray(32, '\0') << QString();
}

void TestDeviceFrame::decodeIdentity()
{
    QFETCH(QByteArray, identity);
    QFETCH(QString, expected);
    // Bytes after the 32 identity bytes must not leak into the text.
    const Body body = validBody(0xA1, identity + QByteArray("XYZ"));
    const QString decoded = DeviceFrame::decodeIdentity(body.data());
    QCOMPARE(decoded, expected);
}

void TestDeviceFrame::legacyBlockCommand_data()
{
    QTest::addColumn<uint>("index");
    QTest::addColumn<uint>("count");
    QTest::addColumn<uint>("command");
    QTest::newRow("small image, block 0") << 0u << 1u << 0x04u;
    QTest::newRow("255 blocks, last") << 254u << 255u << 0x04u;
    QTest::newRow("257 blocks, block 255") << 255u << 257u << 0x04u;
    QTest::newRow("257 blocks, block 256") << 256u << 257u << 0x14u;
    QTest::newRow("4096 blocks, block 2048") << 2048u << 4096u << 0x84u;
    QTest::newRow("4096 blocks, block 4095") << 4095u << 4096u << 0xF4u;
}

void TestDeviceFrame::legacyBlockCommand()
{
    QFETCH(uint, index);
    QFETCH(uint, count);
    QFETCH(uint, command);
    QCOMPARE(uint(DeviceFrame::legacyBlockCommand(index, count)), command);
}

QTEST_GUILESS_MAIN(TestDeviceFrame)
#include "tst_deviceframe.moc"
