#pragma once

#include <QLoggingCategory>

// Diagnostics of the device engine; the user sees only the numbered log messages.
Q_DECLARE_LOGGING_CATEGORY(lcDevice)
