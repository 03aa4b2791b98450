#include "LanguageChoice.h"

#include "LanguageConfig.h"

#include <QLocale>
#include <QSettings>

namespace {

const char *const settingsKey = "language";

// The window's settings, whichever program asks: the command line follows the window's choice.
QSettings sharedSettings()
{
    return QSettings(QStringLiteral("Tarvo"), QStringLiteral("firmware-updater"));
}

// "de-AT" and "de_at" name the same locale.
QString normalised(QString locale)
{
    return locale.replace(QLatin1Char('-'), QLatin1Char('_')).trimmed().toLower();
}

QString languagePart(const QString &locale)
{
    return locale.section(QLatin1Char('_'), 0, 0);
}

} // namespace

int LanguageChoice::byName(const LanguageConfig &config, const QString &name)
{
    if (name.isEmpty())
        return -1;
    for (int i = 0; i < config.languageCount; ++i) {
        if (config.text(LanguageConfig::languageName, i) == name)
            return i;
    }
    return -1;
}

int LanguageChoice::byLocale(const LanguageConfig &config, const QString &uiLanguage)
{
    const QString wanted = normalised(uiLanguage);
    if (wanted.isEmpty() || wanted == QLatin1String("c"))
        return -1;
    // Exact first ("de_at"), then by the language part alone ("de_at" finds "de").
    for (int i = 0; i < config.languageCount; ++i) {
        if (normalised(config.ownQtLocale(i)) == wanted)
            return i;
    }
    for (int i = 0; i < config.languageCount; ++i) {
        const QString own = normalised(config.ownQtLocale(i));
        if (!own.isEmpty() && languagePart(own) == languagePart(wanted))
            return i;
    }
    return -1;
}

int LanguageChoice::choose(const LanguageConfig &config, const QStringList &uiLanguages,
                           const QString &remembered)
{
    const int kept = byName(config, remembered);
    if (kept >= 0)
        return kept;
    for (const QString &ui : uiLanguages) {
        const int found = byLocale(config, ui);
        if (found >= 0)
            return found;
    }
    // A system language the file lacks (Italian, or the C locale) reads English best.
    for (int i = 0; i < config.languageCount; ++i) {
        if (normalised(config.ownQtLocale(i)) == QLatin1String("en"))
            return i;
    }
    return 0;
}

int LanguageChoice::forThisUser(const LanguageConfig &config)
{
    const QString remembered = sharedSettings().value(QLatin1String(settingsKey)).toString();
    return choose(config, QLocale::system().uiLanguages(), remembered);
}

void LanguageChoice::remember(const LanguageConfig &config, int language)
{
    if (language < 0 || language >= config.languageCount)
        return;
    sharedSettings().setValue(QLatin1String(settingsKey),
                              config.text(LanguageConfig::languageName, language));
}
