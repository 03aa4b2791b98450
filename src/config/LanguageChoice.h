#pragma once

#include <QString>
#include <QStringList>

class LanguageConfig;

// Which configured language a program starts in: the user's remembered choice while that language
// is still configured, else the one whose own <qt_locale> matches the system's UI language, else
// English (<qt_locale> "en") when configured, else the first. The window and the command line share the rule and the remembered choice.
class LanguageChoice
{
public:
    // uiLanguages as QLocale::uiLanguages() gives them, most preferred first; remembered is a
    // language's name as remember() stored it (empty for none).
    static int choose(const LanguageConfig &config, const QStringList &uiLanguages,
                      const QString &remembered);
    // choose() for the system's UI languages and this user's remembered choice.
    static int forThisUser(const LanguageConfig &config);
    // Keeps the language by its name, so a reordered Config.xml still finds it.
    static void remember(const LanguageConfig &config, int language);

private:
    static int byName(const LanguageConfig &config, const QString &name);
    static int byLocale(const LanguageConfig &config, const QString &uiLanguage);
};
