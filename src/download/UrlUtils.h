#pragma once

#include <QString>

// The server root of a URL: its scheme, "://", host and port when the URL names one (an IPv6 host
// in brackets), so archives and change-history pages come from the catalogue's own server. User,
// path, query and fragment are dropped.
QString getUrlRoot(const QString &url);

// Whether a downloaded file name may be used as a file inside the temp folder: not empty, not "."
// or "..", and free of separators, drive colons and NUL (a decoded "%5C" is a separator on
// Windows).
bool isSafeFileName(const QString &name);
