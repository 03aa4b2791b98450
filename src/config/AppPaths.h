#pragma once

#include <QString>

// Where the program reads its configuration and keeps its downloads. Chosen once at start-up and
// handed to the objects that read or write there, so an installed program (read-only folders) and
// the portable one (everything beside the executable) run the same code. Both folders end in "/".
class AppPaths
{
public:
    QString configDir;
    QString downloadDir;
    // False when neither configuration folder exists (the built-in texts are used).
    bool configFound = false;

    QString configFile() const { return configDir + QStringLiteral("Config.xml"); }

    enum class Downloads { BesidePortableConfig, InUserCache };

    // The portable layout when <appDir>/Config/ exists, else the installed one
    // (<appDir>/../share/firmware-updater/Config/). With BesidePortableConfig, downloads stay in
    // <appDir>/Config/Temp/ when that can be created and written in the portable layout; else, and
    // always with InUserCache, they go to <userCacheDir>/Temp/.
    static AppPaths choose(const QString &appDir, const QString &userCacheDir,
                           Downloads downloads = Downloads::BesidePortableConfig);
    // The configuration folder alone, as choose() picks it; writes nothing, probes nothing.
    static QString configDirFor(const QString &appDir, bool *found = nullptr);
    // choose() for the running program and the user's cache folder; on Windows, InUserCache.
    static AppPaths forThisProgram();
};
