// The history file as both programs share it: what reads back after starts and ends, a torn last
// line, rotation, two writers at once and a folder that cannot be written.
#include "HistoryFile.h"
#include "HistoryRecorder.h"
#include "RunLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

enum Scenario { StartAndEnd, TornLine, Rotation, TwoWriters, Unwritable, LogFiles };

HistoryRecord accessory(const QString &serial)
{
    HistoryRecord r;
    r.serial = serial;
    r.identity = QStringLiteral("ABC");
    r.kind = QStringLiteral("v20");
    r.path = QStringLiteral("sim-hid:1");
    r.image = QStringLiteral("fw.bin");
    r.size = 5000;
    r.sha256 = QString(64, QLatin1Char('a'));
    r.blocksTotal = 5;
    return r;
}

// `count` updates, each begun and ended as done, through a handle of its own.
void writeUpdates(const QString &path, int count)
{
    HistoryRecorder recorder("cli", "1.0", nullptr, path);
    for (int i = 0; i < count; ++i) {
        HistoryRecord r = accessory(QStringLiteral("SN%1").arg(i));
        recorder.begin(r);
        recorder.end(r, "done", UpdateFailure(), 5);
    }
}

QStringList outcomes(const QVector<HistoryRecord> &records)
{
    QStringList list;
    for (const HistoryRecord &r : records)
        list << r.toJson().value("outcome").toString();
    return list;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void history_readsWhatWasWritten_data();
    void history_readsWhatWasWritten();
};

void TestHistory::history_readsWhatWasWritten_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("warnings");
    QTest::newRow("an end line closes its start; none reads as unfinished")
        << int(StartAndEnd) << QStringList {"failed", "unfinished"} << 0;
    QTest::newRow("a torn last line is skipped, the next write starts a fresh line")
        << int(TornLine) << QStringList {"done", "lost"} << 0;
    QTest::newRow("rotation keeps one previous file, read as well")
        << int(Rotation) << QStringList {"unfinished"} << 0;
    QTest::newRow("two writers at once lose no line")
        << int(TwoWriters) << QStringList(QVector<QString>(100, "done").toList()) << 0;
    QTest::newRow("an unwritable folder warns once and goes on")
        << int(Unwritable) << QStringList() << 1;
    QTest::newRow("log files: capped, a station's goes on in a new one, the newest 50 kept")
        << int(LogFiles) << QStringList() << 0;
}

void TestHistory::history_readsWhatWasWritten()
{
    QFETCH(int, scenario);
    QFETCH(QStringList, expected);
    QFETCH(int, warnings);
    QTemporaryDir dir;
    QString path = dir.path() + "/state/history.jsonl";
    qint64 rotateBytes = HistoryFile::defaultRotateBytes;
    if (scenario == Unwritable) {
        // A plain file where the folder should be: no user, root neither, can create it.
        QFile blocker(dir.path() + "/state");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
    }
    if (scenario == Rotation)
        rotateBytes = 1; // every line begins a new file
    int warned = 0;
    HistoryRecorder recorder(
        "window", "2.0", [&](const QString &) { ++warned; }, path);
    HistoryFile history(path, rotateBytes);

    if (scenario == StartAndEnd || scenario == Unwritable) {
        HistoryRecord failed = accessory("SN1");
        recorder.begin(failed);
        failed.sha256 = QString(64, QLatin1Char('b')); // the copy written differed from the file
        recorder.end(failed, "failed", {UpdateFailure::BlockWriteFailed, 8, 20}, 7);
        HistoryRecord open = accessory(QString());
        recorder.begin(open);
    } else if (scenario == TornLine) {
        writeUpdates(path, 1);
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(R"({"event":"end","id":"x","outc)"); // cut off by a power cut
        file.close();
        HistoryRecord lost = accessory("SN2");
        recorder.begin(lost);
        recorder.end(lost, "lost", {UpdateFailure::UnpluggedDuringBlock, 3, 5}, 2);
    } else if (scenario == Rotation) {
        HistoryRecord first = accessory("SN1");
        first.id = "first";
        QVERIFY(history.append(first.startLine()));
        QVERIFY(history.append(first.endLine()));
        HistoryRecord second = accessory("SN2");
        second.id = "second";
        QVERIFY(history.append(second.startLine()));
        // The first's start went with the oldest file; its end alone names no update.
        QVERIFY(QFile::exists(history.previousPath()));
    } else if (scenario == TwoWriters) {
        std::unique_ptr<QThread> other(QThread::create([&] { writeUpdates(path, 50); }));
        other->start();
        writeUpdates(path, 50);
        QVERIFY(other->wait(60000));
    }

    if (scenario == LogFiles) {
        // 55 logs of earlier runs, the oldest first by time.
        const QString logs = dir.path() + "/logs";
        QVERIFY(QDir().mkpath(logs));
        for (int i = 0; i < 55; ++i) {
            QFile old(QStringLiteral("%1/old-%2.log").arg(logs).arg(i, 2, 10, QLatin1Char('0')));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.setFileTime(QDateTime::currentDateTime().addDays(i - 100),
                            QFileDevice::FileModificationTime);
        }
        RunLog single(logs, "cli", {"header"}, 200);
        for (int i = 0; i < 20; ++i)
            single.line(QString(30, 'x'));
        QVERIFY(QFileInfo(single.filePath()).size() <= 200 + 64);
        RunLog station(logs, "station", {"header"}, 200);
        station.setRollOver(true);
        for (int i = 0; i < 20; ++i)
            station.line(QStringLiteral("line %1").arg(i) + QString(30, 'x'));
        const QStringList kept = QDir(logs).entryList({"*.log"}, QDir::Files);
        QCOMPARE(kept.size(), RunLog::keptFiles);
        QVERIFY(!kept.contains("old-00.log") && kept.contains("old-54.log"));
        QVERIFY(kept.filter("station-").size() > 1);
        QVERIFY(kept.contains(QFileInfo(single.filePath()).fileName()));
        // The station's last line is in its newest file.
        QFile last(station.filePath());
        QVERIFY(last.open(QIODevice::ReadOnly) && last.readAll().contains("line 19"));
    }

    const QVector<HistoryRecord> records = history.read();
    QCOMPARE(outcomes(records), expected);
    QCOMPARE(warned, warnings);
    if (scenario == StartAndEnd) {
        const QJsonObject failed = records.first().toJson();
        QCOMPARE(failed.keys(),
                 QStringList({"blocks_total", "blocks_written", "catalogue", "duration_ms", "ended",
                              "id", "identity", "image", "kind", "outcome", "path", "program",
                              "reason", "serial", "sha256", "size", "started", "version"}));
        QCOMPARE(failed.value("serial").toString(), QString("SN1"));
        QCOMPARE(failed.value("sha256").toString(), QString(64, QLatin1Char('b')));
        QCOMPARE(failed.value("reason").toString(), QString("writing block 8 of 20 failed"));
        QCOMPARE(failed.value("blocks_written").toInt(), 7);
        QCOMPARE(records.first().failure.kind, UpdateFailure::BlockWriteFailed);
        QCOMPARE(records.first().failure.block, 8);
        QCOMPARE(failed.value("program").toString(), QString("window"));
        const QJsonObject open = records.last().toJson();
        QVERIFY(open.value("serial").isNull() && open.value("ended").isNull()
                && open.value("reason").isNull() && open.value("catalogue").isNull());
        QVERIFY(
            QDateTime::fromString(failed.value("started").toString(), Qt::ISODateWithMs).isValid());
    }
    if (scenario == TornLine || scenario == TwoWriters) {
        // Every line but the torn one reads whole.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        int unreadable = 0;
        while (!file.atEnd())
            unreadable += QJsonDocument::fromJson(file.readLine()).isNull() ? 1 : 0;
        QCOMPARE(unreadable, scenario == TornLine ? 1 : 0);
    }
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
