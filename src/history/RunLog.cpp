#include "RunLog.h"

#include <QDateTime>
#include <QDir>
#include <QSysInfo>

RunLog::RunLog(const QString &folder, const QString &program, const QStringList &header,
               qint64 capBytes)
    : folder(folder)
    , program(program)
    , header(header)
    , capBytes(capBytes)
{
    openNext();
}

QStringList RunLog::standardHeader(const QString &program, const QString &version)
{
    return {program + QLatin1Char(' ') + version,
            QStringLiteral("OS: %1 (%2 %3, %4)")
                .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                     QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture()),
            QStringLiteral("Qt: %1").arg(QString::fromLatin1(qVersion()))};
}

void RunLog::openNext()
{
    file.close();
    full = false;
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = QStringLiteral("%1/%2-%3.log").arg(folder, program, stamp);
    for (int n = 2; QFile::exists(name); ++n)
        name = QStringLiteral("%1/%2-%3-%4.log").arg(folder, program, stamp).arg(n);
    file.setFileName(QDir::cleanPath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    prune();
    for (const QString &text : qAsConst(header))
        write(text.toUtf8() + '\n');
}

void RunLog::line(const QString &text)
{
    stampedLine(QDateTime::currentDateTime().toString(QStringLiteral("[HH:mm:ss] ")) + text);
}

void RunLog::stampedLine(const QString &text)
{
    if (full && rollOver)
        openNext();
    if (!file.isOpen() || full)
        return;
    const QByteArray bytes = text.toUtf8() + '\n';
    if (file.size() + bytes.size() > capBytes) {
        write(rollOver ? QByteArray("(continued in the next file)\n")
                       : QByteArray("(log full: later lines are left out)\n"));
        full = true;
        return;
    }
    write(bytes);
}

void RunLog::write(const QByteArray &bytes)
{
    file.write(bytes);
    // Each line reaches the file at once: a crash leaves the log up to its last line.
    file.flush();
}

// The oldest go first; this run's file counts among the kept.
void RunLog::prune() const
{
    QDir dir(folder);
    const QFileInfoList logs
        = dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Time | QDir::Reversed);
    const int excess = logs.size() - keptFiles;
    for (int i = 0; i < excess; ++i) {
        if (logs.at(i).absoluteFilePath() != QFileInfo(file).absoluteFilePath())
            QFile::remove(logs.at(i).absoluteFilePath());
    }
}
