#pragma once

#include <QString>

// Remembers, per user and per catalogue address, the newest signed timestamp seen, so that a
// validly signed but older catalogue (one an attacker kept) is refused.
class ReplayGuard
{
public:
    // The user's settings by default; a settings file of its own when a path is given (tests).
    explicit ReplayGuard(const QString &settingsFile = QString());

    // Whether a catalogue signed at timestamp may be used: not older than the newest seen.
    bool accepts(const QString &catalogueUrl, qint64 timestamp) const;
    // Records timestamp as seen when it is newer.
    void remember(const QString &catalogueUrl, qint64 timestamp);
    qint64 newestSeen(const QString &catalogueUrl) const;

private:
    QString file;
};
