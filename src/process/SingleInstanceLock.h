#pragma once

#include <QLockFile>
#include <QString>

// A lock file in the user's runtime folder (or a cache folder) naming the holding process, so that
// a lock left by a copy that crashed is taken over, also when the system has since given that
// copy's process id to this one. The window holds one under its own name (one window per user and
// session: it empties the download folder). Accessories are locked machine-wide (AccessoryLock).
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
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    Result acquire();
    QString path() const { return filePath; }

    // The shipped window's name: one window at a time owns its download folder.
    static QString sharedName() { return QStringLiteral("firmware-updater"); }
    // <folder()>/<name>.lock
    static QString pathFor(const QString &name);
    // The runtime folder; where there is none, a cache folder that does not depend on the
    // program's name, so that both programs still meet there.
    static QString folder();

private:
    bool takeOverFromEarlierHolderOfThisId();

    QString filePath;
    QLockFile lock;
};
