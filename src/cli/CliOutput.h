#pragma once

#include "LanguageConfig.h"
#include "UpdateFailure.h"

#include <QString>

#include <functional>

// The texts of the chosen language and the two channels the command line writes to: stdout holds
// only results (the device list, the catalogue's table or JSON, the update's outcome); status
// lines, progress and failures go to stderr, as flashing and download tools keep them apart.
class CliOutput
{
public:
    // Reads Config.xml from the program's configuration folder.
    void loadTexts(const QString &configFile);
    // Picks the language by its number (from 1, as in the window's language box) or by its name or
    // key; false when there is no such language.
    bool selectLanguage(const QString &choice);
    QString languageList() const;
    int language() const { return current; }

    // A numbered log message in the chosen language.
    QString message(int id) const;
    // The message with its detail ("Cannot open the file: fw.zip").
    QString withDetail(int id, const QString &detail) const;
    // Why an update failed and where, in the chosen language; empty when nothing is known.
    QString failureText(const UpdateFailure &failure) const;
    QString text(LanguageConfig::Entry entry) const { return config.text(entry, current); }
    const LanguageConfig &texts() const { return config; }
    // The catalogue address: the first language's, as the window fetches it.
    QString catalogueUrl() const { return config.text(LanguageConfig::catalogueUrl, 0); }
    QStringList cataloguePublicKeys() const { return config.cataloguePublicKeys; }

    // Every line printed (results excepted) also goes here: the run's log file.
    void setLogSink(std::function<void(const QString &)> sink) { logSink = std::move(sink); }
    // A line for the log file only, in English: what support needs and the user does not.
    void supportLine(const QString &line) const { toLog(line); }

    void setQuiet(bool on) { quiet = on; }
    bool isQuiet() const { return quiet; }
    // --no-progress: the outcome and errors, no progress lines.
    void setProgressShown(bool on) { progressShown = on; }
    bool showsProgress() const { return progressShown && !quiet; }

    // A result line on stdout unless quiet (the update's outcome).
    void info(const QString &line) const;
    // A status line on stderr unless quiet: what the run is doing, not what it produced.
    void status(const QString &line) const;
    void statusMessage(int id, const QString &detail = QString()) const;
    // One line on stderr, always.
    void error(const QString &line) const;
    void errorMessage(int id, const QString &detail = QString()) const;
    void infoMessage(int id, const QString &detail = QString()) const;
    // Raw text on stdout (tables, JSON), printed also when quiet: it is the command's result.
    void result(const QString &text) const;

private:
    void toLog(const QString &line) const;

    LanguageConfig config;
    int current = 0;
    bool quiet = false;
    std::function<void(const QString &)> logSink;
    bool progressShown = true;
};
