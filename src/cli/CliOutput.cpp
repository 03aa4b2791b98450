#include "CliOutput.h"

#include "FailureText.h"
#include "LanguageChoice.h"
#include "MessageId.h"

#include <cstdio>

namespace {

void writeLine(FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void CliOutput::loadTexts(const QString &configFile)
{
    config.loadConfigFile(configFile);
}

bool CliOutput::selectLanguage(const QString &choice)
{
    if (choice.isEmpty()) {
        current = LanguageChoice::forThisUser(config);
        return true;
    }
    bool isNumber = false;
    const int number = choice.toInt(&isNumber);
    if (isNumber) {
        if (number < 1 || number > config.languageCount)
            return false;
        current = number - 1;
        return true;
    }
    for (int i = 0; i < config.languageCount; ++i) {
        if (config.text(LanguageConfig::languageName, i).compare(choice, Qt::CaseInsensitive) == 0
            || config.text(LanguageConfig::languageKey, i).compare(choice, Qt::CaseInsensitive)
                == 0) {
            current = i;
            return true;
        }
    }
    return false;
}

QString CliOutput::languageList() const
{
    QStringList names;
    for (int i = 0; i < config.languageCount; ++i)
        names << QStringLiteral("%1 %2").arg(i + 1).arg(
            config.text(LanguageConfig::languageName, i));
    return names.join(QStringLiteral(", "));
}

QString CliOutput::message(int id) const
{
    if (id == MessageId::DevicePermissionDenied)
        return text(LanguageConfig::msgDevicePermission);
    if (id < 0 || id > MessageId::NetworkError)
        return QStringLiteral("message %1").arg(id);
    return text(LanguageConfig::Entry(LanguageConfig::msgOpenFileFailed + id));
}

QString CliOutput::withDetail(int id, const QString &detail) const
{
    return detail.isEmpty() ? message(id) : message(id) + QStringLiteral(": ") + detail;
}

void CliOutput::toLog(const QString &line) const
{
    if (logSink)
        logSink(line);
}

void CliOutput::info(const QString &line) const
{
    toLog(line);
    if (!quiet)
        writeLine(stdout, line);
}

void CliOutput::status(const QString &line) const
{
    toLog(line);
    if (!quiet)
        writeLine(stderr, line);
}

void CliOutput::statusMessage(int id, const QString &detail) const
{
    status(withDetail(id, detail));
}

QString CliOutput::failureText(const UpdateFailure &failure) const
{
    return FailureText::describe(config, current, failure);
}

void CliOutput::error(const QString &line) const
{
    toLog(line);
    writeLine(stderr, QStringLiteral("firmware-updater-cli: ") + line);
}

void CliOutput::errorMessage(int id, const QString &detail) const
{
    error(withDetail(id, detail));
}

void CliOutput::infoMessage(int id, const QString &detail) const
{
    info(withDetail(id, detail));
}

void CliOutput::result(const QString &text) const
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
