#include "ProgressPrinter.h"

#include "FirmwareImage.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#endif

namespace {
constexpr int barWidth = 30;
constexpr qint64 redrawIntervalMs = 100;
} // namespace

ProgressPrinter::ProgressPrinter(FILE *stream, bool terminal, const QString &timeLeftText)
    : stream(stream)
    , terminal(terminal)
    , timeLeftText(timeLeftText)
{
}

bool ProgressPrinter::isTerminal(FILE *stream)
{
    return isatty(fileno(stream)) != 0 && qgetenv("TERM") != "dumb";
}

void ProgressPrinter::begin(quint64 totalBlocks)
{
    total = totalBlocks;
    done = 0;
    percent = 0;
    lastTenth = 0;
    clock.start();
    if (terminal)
        redraw();
}

void ProgressPrinter::blockDone(int value)
{
    ++done;
    percent = qBound(0, value, 100);
    if (terminal) {
        if (percent == 100 || clock.elapsed() - lastDrawMs >= redrawIntervalMs)
            redraw();
        return;
    }
    if (percent / 10 > lastTenth) {
        lastTenth = percent / 10;
        write((line(false) + '\n').toUtf8());
    }
}

void ProgressPrinter::finish()
{
    if (terminal && drawn)
        write("\n");
    drawn = false;
}

QString ProgressPrinter::line(bool withBar) const
{
    QString text = QStringLiteral("%1 %").arg(percent, 3);
    if (withBar) {
        const int filled = percent * barWidth / 100;
        text = QStringLiteral("[%1%2] ").arg(QString(filled, QChar('#')),
                                             QString(barWidth - filled, QChar('-')))
            + text;
    }
    const QString speed = speedText();
    if (!speed.isEmpty())
        text += QStringLiteral("  ") + speed;
    const QString left = timeLeft();
    if (!left.isEmpty())
        text += QStringLiteral("  ") + left;
    return text;
}

QString ProgressPrinter::speedText() const
{
    const qint64 ms = clock.elapsed();
    if (done == 0 || ms <= 0)
        return QString();
    const double kib = double(done) * FirmwareImage::blockSize / 1024.0 / (double(ms) / 1000.0);
    return QStringLiteral("%1 KiB/s").arg(kib, 0, 'f', 1);
}

// Estimated from the rate so far, once two blocks have gone: one block says little about the link.
QString ProgressPrinter::timeLeft() const
{
    const qint64 ms = clock.elapsed();
    if (done < 2 || ms <= 0 || done >= total)
        return done >= total && total > 0 ? timeLeftText.arg(QStringLiteral("0:00")) : QString();
    const qint64 seconds = qint64(double(total - done) * double(ms) / double(done) / 1000.0 + 0.5);
    return timeLeftText.arg(
        QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0')));
}

void ProgressPrinter::redraw()
{
    // Carriage return, the line, then erase what a longer earlier line left to its right.
    write(("\r" + line(true) + "\x1b[K").toUtf8());
    lastDrawMs = clock.elapsed();
    drawn = true;
}

void ProgressPrinter::write(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
