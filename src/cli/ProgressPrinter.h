#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

// Update progress on its stream (stderr): on a terminal one line redrawn in place (bar, percent,
// speed, time left), elsewhere (a pipe, a log file) one plain line each time another tenth is done.
class ProgressPrinter
{
public:
    // timeLeftText is the language's "%1 left" with %1 as m:ss.
    ProgressPrinter(FILE *stream, bool terminal, const QString &timeLeftText);

    void begin(quint64 totalBlocks);
    // One acknowledged block more, and the engine's percent for it.
    void blockDone(int percent);
    // Ends the redrawn line so that whatever follows starts on a line of its own.
    void finish();

    static bool isTerminal(FILE *stream);

private:
    QString line(bool withBar) const;
    QString speedText() const;
    QString timeLeft() const;
    void redraw();
    void write(const QByteArray &bytes);

    FILE *stream;
    bool terminal;
    QString timeLeftText;
    QElapsedTimer clock;
    qint64 lastDrawMs = -1;
    quint64 total = 0;
    quint64 done = 0;
    int percent = 0;
    int lastTenth = 0;
    bool drawn = false;
};
