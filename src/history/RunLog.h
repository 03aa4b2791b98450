#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// One run's log file in the logs folder: named by program and start time, begun with a header
// (program and version, OS, library versions), each line time-stamped. A file stops at the cap;
// with roll-over (station runs, which last for hours) the next line begins a new file instead.
// Only the newest files are kept. A log that cannot be written is silently absent: it never
// stops a run.
class RunLog
{
public:
    static constexpr qint64 defaultCapBytes = 1024 * 1024;
    static constexpr int keptFiles = 50;

    RunLog(const QString &folder, const QString &program, const QStringList &header,
           qint64 capBytes = defaultCapBytes);

    void setRollOver(bool on) { rollOver = on; }
    bool isOpen() const { return file.isOpen(); }
    QString filePath() const { return file.fileName(); }

    // A line with the time of day in front.
    void line(const QString &text);
    // A line already stamped (the window's log as shown).
    void stampedLine(const QString &text);

    // The program, its version, the OS and Qt; the caller adds what it links (hidapi).
    static QStringList standardHeader(const QString &program, const QString &version);

private:
    void openNext();
    void write(const QByteArray &bytes);
    void prune() const;

    QString folder;
    QString program;
    QStringList header;
    qint64 capBytes;
    bool rollOver = false;
    bool full = false;
    QFile file;
};
