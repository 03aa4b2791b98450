#pragma once

#include <QLockFile>
#include <QString>

// Keeps a second copy of the program from polling and writing to the same device. The lock file
// lives in the user's runtime folder (or cache folder) and names the holding process, so a lock
// left by a copy that crashed is taken over.
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

    // <runtime folder>/<application name>.lock; the cache folder where there is no runtime folder.
    static QString defaultPath();

private:
    QString filePath;
    QLockFile lock;
};
