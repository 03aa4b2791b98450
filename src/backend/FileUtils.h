#pragma once

#include <QString>

// The download folder beside the executable: <appdir>/Config/Temp/ (with the trailing slash).
QString tempFolderPath();

// Deletes a folder with everything in it; true when it is gone (or was never there).
bool removeDirRecursively(const QString &path);
