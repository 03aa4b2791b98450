#include "FirmwareImage.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + 3) & 0xFF);
    return bytes;
}

uint32_t sum(const QByteArray &bytes)
{
    uint32_t total = 0;
    for (char c : bytes)
        total += uint8_t(c);
    return total;
}

QByteArray toBytes(const FirmwareImage::Block &block)
{
    return QByteArray(reinterpret_cast<const char *>(block.bytes.data()), int(block.bytes.size()));
}

} // namespace

class TestFirmwareImage : public QObject
{
    Q_OBJECT
private slots:
    void blocks_data();
    void blocks();
    void shortRead_marksTheBlockIncomplete();
    void snapshot_blocksComeFromTheCopy_data();
    void snapshot_blocksComeFromTheCopy();
    void fits_data();
    void fits();
    void open_refusesWhatIsNotARegularFile_data();
    void open_refusesWhatIsNotARegularFile();
    void open_failsForMissingFile();
    void resolvePath_data();
    void resolvePath();

private:
    QString write(const QByteArray &bytes);
    QTemporaryDir dir;
    int files = 0;
};

QString TestFirmwareImage::write(const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("image%1.bin").arg(++files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TestFirmwareImage::blocks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<uint>("blockCount");
    QTest::newRow("1 byte") << 1 << 1u;
    QTest::newRow("1024 bytes") << 1024 << 1u;
    QTest::newRow("1025 bytes") << 1025 << 2u;
    QTest::newRow("3000 bytes") << 3000 << 3u;
    QTest::newRow("3 x 1024 bytes") << 3072 << 3u;
}

// Every block is the file's bytes at its offsets followed by 0xFF fill, and its checksum is the
// sum of exactly those 1024 values.
void TestFirmwareImage::blocks()
{
    QFETCH(int, size);
    QFETCH(uint, blockCount);
    const QByteArray content = patterned(size);
    FirmwareImage image;
    QVERIFY(image.open(write(content)));
    image.measure();
    QCOMPARE(image.imageSize(), quint64(size));
    QCOMPARE(image.blockCount(), quint64(blockCount));
    image.restart();
    const QByteArray padded = content.leftJustified(int(blockCount) * 1024, char(0xFF));
    for (uint k = 0; k < blockCount; ++k) {
        const FirmwareImage::Block block = image.nextBlock();
        const QByteArray expected = padded.mid(int(k) * 1024, 1024);
        QCOMPARE(toBytes(block), expected);
        QCOMPARE(block.checksum, sum(expected));
        QVERIFY(block.complete);
    }
}

void TestFirmwareImage::shortRead_marksTheBlockIncomplete()
{
    const QString path = write(patterned(3000));
    FirmwareImage image;
    QVERIFY(image.open(path));
    image.measure();
    image.restart();
    // The file shrinks after it was measured: its last 1000 bytes can no longer be read.
    QVERIFY(QFile::resize(path, 2000));
    QVERIFY(image.nextBlock().complete);
    const FirmwareImage::Block second = image.nextBlock();
    QVERIFY(!second.complete);
    QCOMPARE(toBytes(second).left(976), patterned(2000).mid(1024));
    QVERIFY(!image.nextBlock().complete);
}

void TestFirmwareImage::snapshot_blocksComeFromTheCopy_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("in memory") << 3000;
    QTest::newRow("in a temp file, above the memory limit")
        << int(FirmwareImage::memoryLimit) + 5000;
}

// Once copied, the file may change as it likes: the blocks and the digest are the copy's.
void TestFirmwareImage::snapshot_blocksComeFromTheCopy()
{
    QFETCH(int, size);
    const QByteArray original = patterned(size);
    const QString path = write(original);
    FirmwareImage image;
    QVERIFY(image.open(path));
    image.measure();
    image.beginSnapshot();
    int slices = 0;
    FirmwareImage::Snapshot state;
    while ((state = image.snapshotSlice()) == FirmwareImage::Snapshot::Pending)
        ++slices;
    QCOMPARE(state, FirmwareImage::Snapshot::Done);
    QCOMPARE(slices, (size - 1) / int(FirmwareImage::sliceSize)); // a slice per call
    QCOMPARE(image.sha256(),
             QString::fromLatin1(
                 QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(size, '\x55'));
    file.close();
    image.restart();
    QByteArray delivered;
    for (quint64 b = 0; b < image.blockCount(); ++b)
        delivered += toBytes(image.nextBlock());
    QCOMPARE(delivered.left(size), original);
}

void TestFirmwareImage::fits_data()
{
    QTest::addColumn<quint64>("size");
    QTest::addColumn<bool>("v20");
    QTest::addColumn<bool>("fits");
    const quint64 MiB = 1024 * 1024;
    QTest::newRow("empty") << quint64(0) << true << false;
    QTest::newRow("one byte, legacy") << quint64(1) << false << true;
    QTest::newRow("legacy, 4096 blocks") << 4 * MiB << false << true;
    QTest::newRow("legacy, 4096 blocks and one byte") << 4 * MiB + 1 << false << false;
    QTest::newRow("V20, 4096 blocks and one byte") << 4 * MiB + 1 << true << true;
    QTest::newRow("V20, the upper bound") << 64 * MiB << true << true;
    QTest::newRow("V20, above the upper bound") << 64 * MiB + 1 << true << false;
    QTest::newRow("V20, 4 GiB less one byte") << (quint64(1) << 32) - 1 << true << false;
    QTest::newRow("V20, 4 GiB and one byte") << (quint64(1) << 32) + 1 << true << false;
    QTest::newRow("V20, 2^32 blocks and one byte") << (quint64(1) << 42) + 1 << true << false;
}

void TestFirmwareImage::fits()
{
    QFETCH(quint64, size);
    QFETCH(bool, v20);
    QFETCH(bool, fits);
    QCOMPARE(FirmwareImage::fits(size, v20), fits);
}

void TestFirmwareImage::open_refusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("folder") << QString();
    QTest::newRow("FIFO") << QStringLiteral("fifo");
#ifdef Q_OS_UNIX
    QTest::newRow("device node") << QStringLiteral("/dev/zero");
#endif
}

// A FIFO without a writer would block a plain open for ever: the open must return at once.
void TestFirmwareImage::open_refusesWhatIsNotARegularFile()
{
    QFETCH(QString, path);
    if (path.isEmpty())
        path = dir.path();
    if (path == QLatin1String("fifo")) {
#ifdef Q_OS_UNIX
        path = dir.filePath(QStringLiteral("image.fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#else
        QSKIP("no FIFOs here");
#endif
    }
    FirmwareImage image;
    QVERIFY(!image.open(path));
    QVERIFY(!image.isOpen());
}

void TestFirmwareImage::open_failsForMissingFile()
{
    FirmwareImage image;
    QVERIFY(!image.open(dir.filePath(QStringLiteral("missing.bin"))));
    QVERIFY(!image.isOpen());
}

void TestFirmwareImage::resolvePath_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
    QTest::newRow("local-file URL, drive") << "file:///C:/fw/a.bin"
                                           << "C:/fw/a.bin";
#else
    // Elsewhere a drive letter is just the first folder of an absolute path.
    QTest::newRow("local-file URL, drive") << "file:///C:/fw/a.bin"
                                           << "/C:/fw/a.bin";
#endif
    QTest::newRow("local-file URL, POSIX") << "file:///home/user/a.bin"
                                           << "/home/user/a.bin";
    QTest::newRow("local-file URL, escaped") << "file:///tmp/a%20b.bin"
                                             << "/tmp/a b.bin";
    QTest::newRow("drive path") << "C:/fw/a.bin"
                                << "C:/fw/a.bin";
    QTest::newRow("POSIX path") << "/home/user/a.bin"
                                << "/home/user/a.bin";
    QTest::newRow("relative path") << "fw/a.bin"
                                   << "fw/a.bin";
    QTest::newRow("other scheme") << "https://example.invalid/a.bin"
                                  << "https://example.invalid/a.bin";
    QTest::newRow("empty") << ""
                           << "";
}

void TestFirmwareImage::resolvePath()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QCOMPARE(FirmwareImage::resolvePath(given), expected);
}

QTEST_GUILESS_MAIN(TestFirmwareImage)
#include "tst_firmwareimage.moc"
