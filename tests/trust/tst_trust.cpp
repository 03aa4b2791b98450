// A firmware from a catalogue is saved only when what arrived is what the catalogue names, and a
// signed catalogue only when its minisign signature (made by the real minisign, see fixtures/)
// holds, by a configured key, and is not older than one already seen. Served on loopback.
#include "CatalogueGate.h"
#include "CatalogueTrust.h"
#include "FileDownloader.h"
#include "FirmwareCatalog.h"
#include "ReplayGuard.h"
#include "TestHttpServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(FWU_TRUST_FIXTURES) + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString keyLine(const QString &name)
{
    return QString::fromLatin1(fixture(QStringLiteral("key-%1.txt").arg(name)).trimmed());
}

} // namespace

class TestTrust : public QObject
{
    Q_OBJECT

private slots:
    void catalogueFirmware_savedOnlyWhenVerified_data();
    void catalogueFirmware_savedOnlyWhenVerified();
};

void TestTrust::catalogueFirmware_savedOnlyWhenVerified_data()
{
    QTest::addColumn<QStringList>("keys"); // configured <catalogue_public_key> fixtures
    QTest::addColumn<QString>("signature"); // the fixture served as .minisig; "" a 404, "503"
    QTest::addColumn<bool>("tampered"); // the catalogue changed after it was signed
    QTest::addColumn<qint64>("seen"); // the newest timestamp seen before, -1 none
    QTest::addColumn<int>("record");
    QTest::addColumn<QString>("archive"); // as served: "same", "other", "short", "long"
    QTest::addColumn<QString>("outcome");

    const QStringList none;
    const QStringList a {QStringLiteral("a")};
    // Without keys the digest alone decides.
    QTest::newRow("digest ok") << none << "" << false << -1LL << 0 << "same"
                               << "saved";
    QTest::newRow("digest wrong") << none << "" << false << -1LL << 0 << "other"
                                  << "mismatch";
    QTest::newRow("digest absent") << none << "" << false << -1LL << 1 << "other"
                                   << "saved";
    QTest::newRow("size short") << none << "" << false << -1LL << 0 << "short"
                                << "mismatch";
    QTest::newRow("size long") << none << "" << false << -1LL << 0 << "long"
                               << "mismatch";
    // With a key the signature decides first, before anything is parsed.
    QTest::newRow("signature ok, prehashed")
        << a << "prehashed.minisig" << false << -1LL << 0 << "same"
        << "saved";
    QTest::newRow("signature ok, legacy") << a << "legacy.minisig" << false << -1LL << 0 << "same"
                                          << "saved";
    QTest::newRow("signature ok, second key configured")
        << QStringList {"a", "b"} << "other-key.minisig" << false << -1LL << 0 << "same"
        << "saved";
    QTest::newRow("signed, digest wrong")
        << a << "prehashed.minisig" << false << -1LL << 0 << "other"
        << "mismatch";
    QTest::newRow("signature tampered") << a << "prehashed.minisig" << true << -1LL << 0 << "same"
                                        << "refused: invalid";
    QTest::newRow("signature tampered, legacy")
        << a << "legacy.minisig" << true << -1LL << 0 << "same"
        << "refused: invalid";
    QTest::newRow("signature absent") << a << "" << false << -1LL << 0 << "same"
                                      << "refused: missing";
    QTest::newRow("signature unreachable") << a << "503" << false << -1LL << 0 << "same"
                                           << "network error";
    QTest::newRow("signature by another key")
        << a << "other-key.minisig" << false << -1LL << 0 << "same"
        << "refused: unknown key";
    QTest::newRow("signature replayed")
        << a << "older.minisig" << false << 1700000200LL << 0 << "same"
        << "refused: replayed";
    // The timestamp is trusted only because the global signature covers the comment.
    QTest::newRow("signature replayed, its comment made newer")
        << a << "older.minisig:newer" << false << 1700000200LL << 0 << "same"
        << "refused: invalid";
    QTest::newRow("signature as new as the newest seen")
        << a << "prehashed.minisig" << false << 1700000200LL << 0 << "same"
        << "saved";
    QTest::newRow("signed record without digest")
        << a << "prehashed.minisig" << false << -1LL << 1 << "same"
        << "record refused";
}

void TestTrust::catalogueFirmware_savedOnlyWhenVerified()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, signature);
    QFETCH(bool, tampered);
    QFETCH(qint64, seen);
    QFETCH(int, record);
    QFETCH(QString, archive);
    QFETCH(QString, outcome);

    const QByteArray image = fixture(QStringLiteral("archive.bin"));
    QVERIFY(!image.isEmpty());
    QByteArray served = image;
    if (archive == QLatin1String("other"))
        served[100] = char(served[100] ^ 0x01);
    else if (archive == QLatin1String("short"))
        served.chop(1);
    else if (archive == QLatin1String("long"))
        served.append('\0');
    QByteArray catalogue = fixture(QStringLiteral("catalogue.json"));
    if (tampered)
        catalogue.replace("\"1.0\"", "\"1.1\"");

    TestHttpServer server;
    QVERIFY(server.start());
    server.setReply("/cat.json", TestHttpServer::ok(catalogue));
    if (signature == QLatin1String("503"))
        server.setReply("/cat.json.minisig", TestHttpServer::status(503));
    else if (signature.endsWith(QLatin1String(":newer")))
        server.setReply(
            "/cat.json.minisig",
            TestHttpServer::ok(fixture(signature.section(':', 0, 0))
                                   .replace("timestamp:1700000100", "timestamp:1700000300")));
    else if (!signature.isEmpty())
        server.setReply("/cat.json.minisig", TestHttpServer::ok(fixture(signature)));
    server.setReply("/fw/ABC.zip", TestHttpServer::ok(served));
    server.setReply("/fw/XYZ.zip", TestHttpServer::ok(served));

    QTemporaryDir dir;
    FileDownloader downloader;
    downloader.setDownloadFolder(dir.path() + "/");
    ReplayGuard guard(dir.path() + "/seen.ini");
    const QUrl url(server.origin() + "/cat.json");
    if (seen >= 0)
        guard.remember(url.toString(), seen);
    QStringList keyLines;
    for (const QString &key : keys)
        keyLines << keyLine(key);
    CatalogueTrust trust(keyLines, &guard);
    CatalogueGate gate(downloader, trust);

    downloader.downloadFile(url);
    QVERIFY(downloader.succeeded());
    const CatalogueGate::Outcome checked = gate.check(url, dir.path() + "/cat.json");
    QString result;
    if (checked == CatalogueGate::Outcome::NetworkError) {
        result = QStringLiteral("network error");
    } else if (checked == CatalogueGate::Outcome::Refused) {
        const char *why[] = {"", "", "missing", "invalid", "unknown key", "replayed"};
        result = QStringLiteral("refused: ") + why[int(gate.verdict())];
    } else {
        FirmwareCatalog parsed;
        QVERIFY(parsed.parseJson(gate.catalogue()));
        parsed.isSigned = trust.required();
        const FirmwareInfo &info = parsed.records.at(record);
        if (!CatalogueTrust::recordUsable(info, parsed.isSigned)) {
            result = QStringLiteral("record refused");
        } else {
            downloader.expect(info.size, info.sha256);
            downloader.downloadFile(QUrl(server.origin() + "/" + info.firmware_url));
            result = downloader.succeeded() ? QStringLiteral("saved")
                : downloader.mismatched()   ? QStringLiteral("mismatch")
                                            : QStringLiteral("failed");
            // Nothing that failed the check is left where the unpacker would look.
            QCOMPARE(QFile::exists(dir.path() + "/" + downloader.downloadedFileName()),
                     downloader.succeeded());
        }
    }
    QCOMPARE(result, outcome);
    // A refused catalogue leaves nothing to parse; a replay leaves the newest seen as it was.
    if (checked == CatalogueGate::Outcome::Refused)
        QVERIFY(gate.catalogue().isEmpty());
    if (outcome == QLatin1String("saved") && !keys.isEmpty())
        QCOMPARE(guard.newestSeen(url.toString()), 1700000200LL);
}

QTEST_GUILESS_MAIN(TestTrust)
#include "tst_trust.moc"
