#pragma once

#include <QLockFile>
#include <QString>

// Keeps two copies of the program (the window, the command line, or one of each) from polling and
// writing to the same device. The lock file lives in the user's runtime folder (or a cache folder)
// and names the holding process, so a lock left by a copy that crashed is taken over.
class SingleInstanceLock
{
public:
    enum class Result {
        Acquired,
        HeldByAnother,
        // The folder cannot hold a lock (unwritable, missing): the program runs without one.
        Unavailable
    };

    explicit SingleInstanceLock(const QString &lockFilePath);

    Result acquire();
    QString path() const { return filePath; }

    // The name the shipped window and command line share: whichever runs first owns the devices.
    static QString sharedName() { return QStringLiteral("firmware-updater"); }
    // <folder()>/<name>.lock
    static QString pathFor(const QString &name);
    // The runtime folder; where there is none, a cache folder that does not depend on the
    // program's name, so that both programs still meet there.
    static QString folder();

private:
    QString filePath;
    QLockFile lock;
};
