#pragma once

#include <QString>

// Unpacks a zip archive into a folder (created when missing). The whole archive is checked first
// and refused, with nothing written, unless every entry is a safe regular file or folder whose data
// unpacks to its declared size and CRC-32; see ZipDirectory.h. The entries are written into a
// staging folder inside the target and moved into place only when all of them were written, so a
// write that fails half-way leaves nothing behind either. Returns false on refusal or failure.
bool unzipFile(const QString &zipPath, const QString &targetDir);

// The largest archive, single entry and total unpacked size accepted.
constexpr qint64 maxUnzipSize = 64 * 1024 * 1024;
// The most entries an archive may hold. A firmware archive holds a handful of files; the bound
// keeps a hostile archive of tens of thousands of entries from costing more than a moment.
constexpr int maxUnzipEntries = 1024;
