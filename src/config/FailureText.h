#pragma once

#include "LanguageConfig.h"
#include "UpdateFailure.h"

#include <QString>

// An update's failure reason in words: the line that follows "Device update failed" in the
// window's log, on the command line's standard error, in its JSON and in the history.
namespace FailureText {
// In a language of the table; empty for UpdateFailure::None.
QString describe(const LanguageConfig &config, int language, const UpdateFailure &failure);
// In English (the built-in fallbacks), for log files support reads.
QString describeInEnglish(const UpdateFailure &failure);
// A stable name of the kind for machine-readable output: "no_block_ack", "unplugged", ….
QString kindName(UpdateFailure::Kind kind);
} // namespace FailureText
