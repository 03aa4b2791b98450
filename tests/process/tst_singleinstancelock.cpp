// Whether a lock file found on disk still belongs to a running copy.
#include "SingleInstanceLock.h"

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestSingleInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void lockNamingThisProcess_data();
    void lockNamingThisProcess();
};

void TestSingleInstanceLock::lockNamingThisProcess_data()
{
    QTest::addColumn<bool>("heldHere");
    QTest::addColumn<bool>("acquired");
    // A crashed copy's lock whose process id the system has since given to this process.
    QTest::newRow("left by an earlier process with this id") << false << true;
    QTest::newRow("held by this process") << true << false;
}

void TestSingleInstanceLock::lockNamingThisProcess()
{
    QFETCH(bool, heldHere);
    QFETCH(bool, acquired);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("copy.lock");
    std::unique_ptr<SingleInstanceLock> holder;
    if (heldHere) {
        holder = std::make_unique<SingleInstanceLock>(path);
        QCOMPARE(holder->acquire(), SingleInstanceLock::Result::Acquired);
    } else {
        // Qt's own lock file, as a copy of this program with this process id writes it.
        QByteArray contents;
        {
            QLockFile written(path);
            QVERIFY(written.tryLock(0));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            contents = file.readAll();
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    }

    SingleInstanceLock second(path);
    QCOMPARE(second.acquire(),
             acquired ? SingleInstanceLock::Result::Acquired
                      : SingleInstanceLock::Result::HeldByAnother);
    QVERIFY(QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestSingleInstanceLock)
#include "tst_singleinstancelock.moc"
