#pragma once

#include <QString>

// The running program's download folder as AppPaths::forThisProgram() chooses it (with the trailing
// slash). The program hands its folders around explicitly; this is the default of objects made
// without them.
QString tempFolderPath();

// Deletes a folder with everything in it; true when it is gone (or was never there).
bool removeDirRecursively(const QString &path);
