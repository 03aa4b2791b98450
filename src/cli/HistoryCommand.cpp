#include "HistoryCommand.h"

#include "CliOptions.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "FailureText.h"
#include "HistoryFile.h"
#include "PrintableText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

bool names(const HistoryRecord &r, const QString &name)
{
    return r.path == name || (!r.serial.isEmpty() && r.serial == name)
        || (!r.identity.isEmpty()
            && r.identity.trimmed().compare(name.trimmed(), Qt::CaseInsensitive) == 0);
}

QString outcomeText(const CliOutput &out, const HistoryRecord &r)
{
    if (!r.ended.isValid())
        return out.text(LanguageConfig::textHistoryUnfinished);
    QString text = r.outcome == QLatin1String("done") ? out.text(LanguageConfig::textHistoryDone)
        : r.outcome == QLatin1String("lost")          ? out.text(LanguageConfig::textHistoryLost)
        : r.outcome == QLatin1String("interrupted")
        ? out.text(LanguageConfig::textHistoryInterrupted)
        : out.text(LanguageConfig::textHistoryFailed);
    const QString reason = FailureText::describe(out.texts(), out.language(), r.failure);
    if (!reason.isEmpty())
        text += QStringLiteral(" (") + reason + QLatin1Char(')');
    return text;
}

QString line(const CliOutput &out, const HistoryRecord &r)
{
    QString accessory = printableText(r.serial.isEmpty() ? r.path : r.serial);
    if (!r.identity.isEmpty())
        accessory += QLatin1Char(' ') + printableText(r.identity);
    return out.text(LanguageConfig::textHistoryLine)
        .arg(r.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             printableText(r.image), accessory, outcomeText(out, r));
}

} // namespace

int showHistory(const CliOutput &out, const CliOptions &options, const QString &historyFile)
{
    QVector<HistoryRecord> records;
    for (const HistoryRecord &r : HistoryFile(historyFile).read()) {
        if (options.device.isEmpty() || names(r, options.device))
            records << r;
    }
    if (options.last > 0 && records.size() > options.last)
        records.remove(0, records.size() - options.last);
    if (options.json) {
        QJsonArray array;
        for (const HistoryRecord &r : qAsConst(records))
            array.append(r.toJson());
        out.result(QString::fromUtf8(QJsonDocument(array).toJson()));
        return ExitCode::Ok;
    }
    QString text;
    if (options.csv) {
        text = HistoryRecord::csvColumns().join(QLatin1Char(',')) + QLatin1Char('\n');
        for (const HistoryRecord &r : qAsConst(records))
            text += r.csvFields().join(QLatin1Char(',')) + QLatin1Char('\n');
    } else {
        for (const HistoryRecord &r : qAsConst(records))
            text += line(out, r) + QLatin1Char('\n');
        if (records.isEmpty())
            out.status(out.text(LanguageConfig::textHistoryEmpty));
    }
    out.result(text);
    return ExitCode::Ok;
}
