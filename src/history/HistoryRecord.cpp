#include "HistoryRecord.h"

#include "FailureText.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonValue>

#include <cstdlib>

namespace {

QJsonValue orNull(const QString &text)
{
    return text.isNull() ? QJsonValue() : QJsonValue(text);
}

QString stringOrNull(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

QDateTime timeFrom(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString HistoryRecord::timeText(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
        + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2")
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QJsonObject HistoryRecord::startLine() const
{
    QJsonObject line {{"event", "start"},
                      {"id", id},
                      {"started", timeText(started)},
                      {"program", program},
                      {"version", version},
                      {"serial", orNull(serial)},
                      {"identity", orNull(identity)},
                      {"kind", kind},
                      {"path", path},
                      {"image", image},
                      {"size", size},
                      {"sha256", sha256},
                      {"blocks_total", blocksTotal}};
    if (fromCatalogue)
        line.insert("catalogue",
                    QJsonObject {{"device_id", catalogueDeviceId},
                                 {"version", catalogueVersion},
                                 {"url", catalogueUrl},
                                 {"verified", catalogueVerified}});
    return line;
}

QJsonObject HistoryRecord::endLine() const
{
    return {{"event", "end"},
            {"id", id},
            {"ended", timeText(ended)},
            {"outcome", outcome},
            {"reason", orNull(reason)},
            {"failure_kind", FailureText::kindName(failure.kind)},
            {"failure_block", failure.block},
            {"failure_blocks", failure.blocks},
            {"blocks_written", blocksWritten},
            {"blocks_total", blocksTotal},
            {"duration_ms", durationMs},
            // The copy written can differ from the file hashed at the start (changed in between).
            {"sha256", sha256}};
}

QString HistoryRecord::fileSha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

bool HistoryRecord::takeStart(const QJsonObject &line)
{
    if (line.value("event").toString() != QLatin1String("start") || !line.value("id").isString())
        return false;
    id = line.value("id").toString();
    started = timeFrom(line.value("started"));
    program = line.value("program").toString();
    version = line.value("version").toString();
    serial = stringOrNull(line.value("serial"));
    identity = stringOrNull(line.value("identity"));
    kind = line.value("kind").toString();
    path = line.value("path").toString();
    image = line.value("image").toString();
    size = qint64(line.value("size").toDouble());
    sha256 = line.value("sha256").toString();
    blocksTotal = line.value("blocks_total").toInt();
    const QJsonObject catalogue = line.value("catalogue").toObject();
    fromCatalogue = !catalogue.isEmpty();
    catalogueDeviceId = catalogue.value("device_id").toString();
    catalogueVersion = catalogue.value("version").toString();
    catalogueUrl = catalogue.value("url").toString();
    catalogueVerified = catalogue.value("verified").toBool();
    return true;
}

bool HistoryRecord::takeEnd(const QJsonObject &line)
{
    if (line.value("event").toString() != QLatin1String("end") || line.value("id").toString() != id)
        return false;
    ended = timeFrom(line.value("ended"));
    outcome = line.value("outcome").toString();
    if (!line.value("sha256").toString().isEmpty())
        sha256 = line.value("sha256").toString();
    reason = stringOrNull(line.value("reason"));
    const QString kindName = line.value("failure_kind").toString();
    for (int k = UpdateFailure::NoStartAck; k <= UpdateFailure::ImageUnreadable; ++k) {
        if (FailureText::kindName(UpdateFailure::Kind(k)) == kindName)
            failure.kind = UpdateFailure::Kind(k);
    }
    failure.block = line.value("failure_block").toInt();
    failure.blocks = line.value("failure_blocks").toInt();
    // Both losses share one name; only the one during a block names it.
    if (failure.kind == UpdateFailure::UnpluggedDuringBlock && failure.block == 0)
        failure.kind = UpdateFailure::UnpluggedBeforeBlocks;
    blocksWritten = line.value("blocks_written").toInt();
    if (line.value("blocks_total").toInt() > 0)
        blocksTotal = line.value("blocks_total").toInt();
    durationMs = qint64(line.value("duration_ms").toDouble());
    return true;
}

QJsonObject HistoryRecord::toJson() const
{
    const bool open = !ended.isValid();
    QJsonValue catalogue;
    if (fromCatalogue)
        catalogue = QJsonObject {{"device_id", catalogueDeviceId},
                                 {"version", catalogueVersion},
                                 {"url", catalogueUrl},
                                 {"verified", catalogueVerified}};
    return {{"id", id},
            {"started", timeText(started)},
            {"ended", open ? QJsonValue() : QJsonValue(timeText(ended))},
            {"program", program},
            {"version", version},
            {"serial", orNull(serial)},
            {"identity", orNull(identity)},
            {"kind", kind},
            {"path", path},
            {"image", image},
            {"size", size},
            {"sha256", sha256},
            {"catalogue", catalogue},
            {"outcome", open ? QStringLiteral("unfinished") : outcome},
            {"reason", orNull(reason)},
            {"blocks_written", blocksWritten},
            {"blocks_total", blocksTotal},
            {"duration_ms", durationMs}};
}

QStringList HistoryRecord::csvColumns()
{
    return {"id",
            "started",
            "ended",
            "program",
            "version",
            "serial",
            "identity",
            "kind",
            "path",
            "image",
            "size",
            "sha256",
            "catalogue_device_id",
            "catalogue_version",
            "catalogue_url",
            "catalogue_verified",
            "outcome",
            "reason",
            "blocks_written",
            "blocks_total",
            "duration_ms"};
}

QStringList HistoryRecord::csvFields() const
{
    const QJsonObject o = toJson();
    const QString verified
        = fromCatalogue ? QString::fromLatin1(catalogueVerified ? "true" : "false") : QString();
    QStringList fields {id,
                        o.value("started").toString(),
                        o.value("ended").toString(),
                        program,
                        version,
                        serial,
                        identity,
                        kind,
                        path,
                        image,
                        QString::number(size),
                        sha256,
                        catalogueDeviceId,
                        catalogueVersion,
                        catalogueUrl,
                        verified,
                        o.value("outcome").toString(),
                        reason,
                        QString::number(blocksWritten),
                        QString::number(blocksTotal),
                        QString::number(durationMs)};
    for (QString &field : fields)
        field = csvField(field);
    return fields;
}
