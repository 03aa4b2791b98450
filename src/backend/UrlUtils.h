#pragma once

#include <QString>

// The server root of a URL: its scheme, "://" and host. Port, user, path, query and fragment are
// dropped, so archives and change-history pages always come from the catalogue host's default port.
QString getUrlRoot(const QString &url);

// Whether a downloaded file name may be used as a file inside the temp folder: not empty, not "."
// or "..", and free of separators, drive colons and NUL (a decoded "%5C" is a separator on
// Windows).
bool isSafeFileName(const QString &name);
