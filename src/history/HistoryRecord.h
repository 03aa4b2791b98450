#pragma once

#include "UpdateFailure.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// One update handed to the engine, as the history keeps it. The file holds two lines per update
// sharing the id: the start (written before the first byte goes out) and the end.
struct HistoryRecord
{
    QString id;
    QDateTime started;
    QDateTime ended; // invalid while unfinished
    QString program; // "window" or "cli"
    QString version;
    QString serial; // null without one
    QString identity; // null for a legacy accessory
    QString kind; // "v20" or "legacy"
    QString path;
    QString image; // the image's file name, never its folder
    qint64 size = 0;
    QString sha256; // of the image as written
    bool fromCatalogue = false;
    QString catalogueDeviceId;
    QString catalogueVersion;
    QString catalogueUrl;
    bool catalogueVerified = false;
    QString outcome = QStringLiteral("unfinished"); // done, failed, lost, interrupted, unfinished
    QString reason; // the failure line in English, null otherwise
    UpdateFailure failure; // the same, for saying it in another language
    int blocksWritten = 0; // acknowledged by the accessory
    int blocksTotal = 0;
    qint64 durationMs = 0;

    // The file's two lines.
    QJsonObject startLine() const;
    QJsonObject endLine() const;
    // Fills the fields a line carries; false when it is not one of ours.
    bool takeStart(const QJsonObject &line);
    bool takeEnd(const QJsonObject &line);

    // The object `history --json` prints: exactly its documented keys.
    QJsonObject toJson() const;
    static QStringList csvColumns();
    // The SHA-256 of a file as hex; empty when it cannot be read. The start line's digest, until
    // the engine reports the one of the copy it writes from.
    static QString fileSha256(const QString &path);
    QStringList csvFields() const;

    // ISO 8601 with milliseconds and the UTC offset ("2026-12-09T18:02:03.045+01:00").
    static QString timeText(const QDateTime &time);
};
