#pragma once

#include <QString>

// Unpacks a zip archive into a folder (created when missing). The whole archive is checked first
// and refused, with nothing written, unless every entry is a safe regular file or folder whose data
// unpacks to its declared size and CRC-32; see ZipDirectory.h. Returns false on refusal.
bool unzipFile(const QString &zipPath, const QString &targetDir);

// The largest archive, single entry and total unpacked size accepted.
constexpr qint64 maxUnzipSize = 64 * 1024 * 1024;
