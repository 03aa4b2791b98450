// Unpacking refuses any archive that could write outside its folder, write something else than
// what it declares, or exhaust memory; such an archive leaves nothing behind.
#include "ZipBuilder.h"
#include "ZipExtract.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <private/qzipwriter_p.h>

using Entry = ZipBuilder::Entry;

namespace {

QByteArray archiveOf(const QList<Entry> &entries)
{
    ZipBuilder builder;
    for (const Entry &e : entries)
        builder.add(e);
    return builder.build();
}

QByteArray dataFile(const QString &name)
{
    QFile file(QStringLiteral(FWU_UNZIP_DATA "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Entry with(Entry e, void (*change)(Entry &))
{
    change(e);
    return e;
}

// Every file under a folder, relative to it, with its content.
QMap<QString, QByteArray> filesUnder(const QString &root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        out.insert(QDir(root).relativeFilePath(file.fileName()), file.readAll());
    }
    return out;
}

} // namespace

class TestUnzip : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void accepted_data();
    void accepted();
    void archiveFromQtWriter_unpacksWithFolders();
    void refused_data();
    void refused();
    void existingTarget_data();
    void existingTarget();
    void refused_notAnArchive_data();
    void refused_notAnArchive();

private:
    QString archivePath() const { return dir->filePath("in/fw.zip"); }
    QString target() const { return dir->filePath("out/deep/bin"); }
    void writeArchive(const QByteArray &bytes);

    QScopedPointer<QTemporaryDir> dir;
};

void TestUnzip::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(QDir().mkpath(dir->filePath("in")));
}

void TestUnzip::writeArchive(const QByteArray &bytes)
{
    QFile file(archivePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestUnzip::accepted_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QStringList>("files");

    const QByteArray image(5000, '\x5a');
    QTest::newRow("deflated image")
        << archiveOf({ZipBuilder::file("A.bin", image)}) << QStringList {"A.bin"};
    Entry stored = ZipBuilder::file("A.bin", image);
    stored.method = 0;
    QTest::newRow("stored image") << archiveOf({stored}) << QStringList {"A.bin"};
    QTest::newRow("folder and nested file")
        << archiveOf({ZipBuilder::folder("doc/"), ZipBuilder::file("doc/notes.txt", "n"),
                      ZipBuilder::file("A.bin", image)})
        << QStringList {"A.bin", "doc/notes.txt"};
    QTest::newRow("hidden file, empty file")
        << archiveOf({ZipBuilder::file(".DS_Store", "x"), ZipBuilder::file("empty", "")})
        << QStringList {".DS_Store", "empty"};
    Entry dos = ZipBuilder::file("A.bin", image);
    dos.madeBy = 0x0014; // DOS: no Unix mode to check
    dos.unixMode = 0;
    QTest::newRow("made on DOS") << archiveOf({dos}) << QStringList {"A.bin"};
    Entry utf8 = ZipBuilder::file("固件.bin", "fw");
    utf8.flags = 0x0800;
    QTest::newRow("UTF-8 name") << archiveOf({utf8}) << QStringList {"固件.bin"};
    QList<Entry> most;
    QStringList mostNames;
    for (int i = 0; i < maxUnzipEntries; ++i) {
        most << ZipBuilder::file(QByteArray::number(10000 + i), "x");
        mostNames << QString::number(10000 + i);
    }
    QTest::newRow("as many entries as accepted") << archiveOf(most) << mostNames;
}

void TestUnzip::accepted()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, files);
    writeArchive(archive);
    QVERIFY(unzipFile(archivePath(), target()));
    const QMap<QString, QByteArray> written = filesUnder(target());
    QCOMPARE(written.keys(), files);
    if (written.contains("A.bin"))
        QCOMPARE(written["A.bin"], QByteArray(5000, '\x5a'));
}

void TestUnzip::archiveFromQtWriter_unpacksWithFolders()
{
    {
        QZipWriter writer(archivePath());
        writer.addDirectory("sub");
        writer.addFile("sub/readme.txt", QByteArray("read me"));
        writer.setCompressionPolicy(QZipWriter::NeverCompress);
        writer.addFile("A.bin", QByteArray(3000, '\1'));
    }
    QVERIFY(unzipFile(archivePath(), target()));
    const QMap<QString, QByteArray> written = filesUnder(target());
    QCOMPARE(written.value("sub/readme.txt"), QByteArray("read me"));
    QCOMPARE(written.value("A.bin"), QByteArray(3000, '\1'));
}

void TestUnzip::refused_data()
{
    QTest::addColumn<QByteArray>("archive");
    const Entry good = ZipBuilder::file("A.bin", QByteArray(4000, 'g'));
    auto one = [&](const Entry &bad) { return archiveOf({good, bad}); };
    auto named = [](const QByteArray &name) { return ZipBuilder::file(name, "evil"); };

    QTest::newRow("symlink") << one(ZipBuilder::symlink("link", "/etc/passwd"));
    QTest::newRow("symlink then file through it")
        << archiveOf({ZipBuilder::symlink("d", "/tmp"), ZipBuilder::file("d/x", "evil")});
    QTest::newRow("a/ then a/../../x") << archiveOf({ZipBuilder::folder("a/"), named("a/../../x")});
    QTest::newRow("folder d/../../e/") << one(ZipBuilder::folder("d/../../e/"));
    QTest::newRow("../x") << one(named("../x"));
    QTest::newRow("absolute") << one(named("/tmp/x"));
    QTest::newRow("drive") << one(named("C:/x"));
    QTest::newRow("drive-relative") << one(named("c:x"));
    QTest::newRow("backslash") << one(named("..\\x"));
    QTest::newRow("NUL") << one(named(QByteArray("x\0.bin", 6)));
    QTest::newRow("./x") << one(named("./x"));
    QTest::newRow("empty segment") << one(named("a//x"));
    QTest::newRow("empty name") << one(named(""));
    QTest::newRow("device node") << one(with(named("dev"), [](Entry &e) { e.unixMode = 020644; }));
    QTest::newRow("LZMA") << one(with(named("x"), [](Entry &e) {
        e.method = 14;
        e.rawData = "not really lzma";
    }));
    QTest::newRow("zip64 extra") << one(with(named("x"), [](Entry &e) {
        e.extra = QByteArray("\x01\x00\x10\x00", 4) + QByteArray(16, '\0');
    }));
    QTest::newRow("encrypted") << one(with(named("x"), [](Entry &e) { e.flags = 1; }));
    QTest::newRow("corrupt deflate") << one(
        with(named("x"), [](Entry &e) { e.rawData = QByteArray("\xff\xff\xff\xff garbage", 13); }));
    QTest::newRow("truncated deflate") << one(with(named("x"), [](Entry &e) {
        e.data = QByteArray(10000, 'q') + QByteArray::number(qHash(e.name));
        e.rawData = ZipBuilder::deflateRaw(e.data).left(5);
    }));
    QTest::newRow("CRC mismatch, stored")
        << one(with(named("x"), [](Entry &e) { e.method = 0, e.declaredCrc = 1234; }));
    QTest::newRow("CRC mismatch, deflated")
        << one(with(named("x"), [](Entry &e) { e.declaredCrc = 1234; }));
    QTest::newRow("size claims 4 GiB")
        << one(with(named("x"), [](Entry &e) { e.declaredSize = 0xfffffff0; }));
    QTest::newRow("size claims too little") << one(with(named("x"), [](Entry &e) {
        e.data = QByteArray(1 << 20, 'b'); // a megabyte from a few hundred bytes
        e.declaredSize = 16;
    }));
    QTest::newRow("stored sizes disagree")
        << one(with(named("x"), [](Entry &e) { e.method = 0, e.declaredSize = 2; }));
    QTest::newRow("duplicate name") << archiveOf({good, good});
    QTest::newRow("names differing in case")
        << archiveOf({good, ZipBuilder::file("a.BIN", "evil")});
    QTest::newRow("file and folder of one name")
        << archiveOf({named("x"), ZipBuilder::file("x/y", "evil")});
    // Qt's reader takes the method from the local header: both headers must agree.
    QTest::newRow("local header says stored")
        << one(with(named("x"), [](Entry &e) { e.localMethod = 0; }));
    QTest::newRow("local header names another file")
        << one(with(named("x"), [](Entry &e) { e.localName = "../y"; }));
    QTest::newRow("found by fuzzing: local method disagrees")
        << dataFile("local-method-disagrees.zip");
    QTest::newRow("needs a later zip version")
        << one(with(named("x"), [](Entry &e) { e.versionNeeded = 51; }));
    QTest::newRow("found by fuzzing: version needed 5140") << dataFile("version-needed-5140.zip");
    QList<Entry> many;
    for (int i = 0; i <= maxUnzipEntries; ++i)
        many << named(QByteArray::number(i));
    QTest::newRow("one entry more than accepted") << archiveOf(many);
    // Names that pass every check but that the file system refuses, after A.bin was written.
    QTest::newRow("name too long to write") << one(named(QByteArray(300, 'n')));
    QByteArray deep;
    for (int i = 0; i < 25; ++i)
        deep += QByteArray(200, char('a' + i)) + '/';
    QTest::newRow("path too long to write") << one(named(deep + "x"));
}

void TestUnzip::refused()
{
    QFETCH(QByteArray, archive);
    writeArchive(archive);
    QVERIFY(!unzipFile(archivePath(), target()));
    // Nothing written anywhere: only the archive is left in the whole test folder.
    QCOMPARE(filesUnder(dir->path()).keys(), QStringList {"in/fw.zip"});
    QVERIFY(!QDir(dir->filePath("out")).exists());
}

void TestUnzip::existingTarget_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("files");
    const Entry image = ZipBuilder::file("A.bin", "new image");
    QTest::newRow("older image replaced, other files kept")
        << archiveOf({image, ZipBuilder::file("doc/notes.txt", "n")}) << true
        << QStringList {"A.bin=new image", "doc/notes.txt=n", "doc/old.txt=old", "keep=keep"};
    QTest::newRow("refused by its checks")
        << archiveOf({image, ZipBuilder::file("../x", "evil")}) << false
        << QStringList {"A.bin=old image", "doc/old.txt=old", "keep=keep"};
    QTest::newRow("refused by a write")
        << archiveOf({image, ZipBuilder::file(QByteArray(300, 'n'), "evil")}) << false
        << QStringList {"A.bin=old image", "doc/old.txt=old", "keep=keep"};
    QTest::newRow("a folder where a file is")
        << archiveOf({image, ZipBuilder::file("keep/x", "x")}) << false
        << QStringList {"A.bin=old image", "doc/old.txt=old", "keep=keep"};
}

void TestUnzip::existingTarget()
{
    QFETCH(QByteArray, archive);
    QFETCH(bool, accepted);
    QFETCH(QStringList, files);
    const QMap<QString, QByteArray> before {
        {"A.bin", "old image"}, {"doc/old.txt", "old"}, {"keep", "keep"}};
    for (auto it = before.begin(); it != before.end(); ++it) {
        QVERIFY(QDir().mkpath(QFileInfo(target() + "/" + it.key()).path()));
        QFile file(target() + "/" + it.key());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(it.value());
    }
    writeArchive(archive);
    QCOMPARE(unzipFile(archivePath(), target()), accepted);
    QStringList found;
    const QMap<QString, QByteArray> after = filesUnder(target());
    for (auto it = after.begin(); it != after.end(); ++it)
        found << it.key() + "=" + it.value();
    QCOMPARE(found, files);
    // No staging folder stays behind.
    QCOMPARE(QDir(target()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList {"A.bin", "doc", "keep"}));
}

void TestUnzip::refused_notAnArchive_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("exists");
    const QByteArray valid = archiveOf({ZipBuilder::file("A.bin", QByteArray(4000, 'g'))});
    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("HTML page") << QByteArray("<html><body>Not found</body></html>") << true;
    QTest::newRow("cut in half") << valid.left(valid.size() / 2) << true;
    QTest::newRow("directory cut off") << valid.left(valid.size() - 30) << true;
}

void TestUnzip::refused_notAnArchive()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, exists);
    if (exists)
        writeArchive(bytes);
    QVERIFY(!unzipFile(archivePath(), target()));
    QVERIFY(!QDir(dir->filePath("out")).exists());
}

QTEST_MAIN(TestUnzip)
#include "tst_unzip.moc"
