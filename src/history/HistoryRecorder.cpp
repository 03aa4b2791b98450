#include "HistoryRecorder.h"

#include "FailureText.h"

#include <QUuid>

HistoryRecorder::HistoryRecorder(const QString &program, const QString &version, Warn warn,
                                 const QString &path)
    : file(path)
    , program(program)
    , version(version)
    , warn(std::move(warn))
{
}

void HistoryRecorder::begin(HistoryRecord &record)
{
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.started = QDateTime::currentDateTime();
    record.program = program;
    record.version = version;
    clocks[record.id].start();
    write(record.startLine());
}

void HistoryRecorder::end(HistoryRecord &record, const QString &outcome,
                          const UpdateFailure &failure, int blocksWritten)
{
    record.ended = QDateTime::currentDateTime();
    record.outcome = outcome;
    record.failure = failure;
    record.reason
        = failure.kind == UpdateFailure::None ? QString() : FailureText::describeInEnglish(failure);
    record.blocksWritten = blocksWritten;
    record.durationMs = clocks.contains(record.id) ? clocks.take(record.id).elapsed() : 0;
    write(record.endLine());
}

void HistoryRecorder::write(const QJsonObject &line)
{
    if (file.append(line) || warned)
        return;
    warned = true;
    if (warn)
        warn(file.errorString());
}
