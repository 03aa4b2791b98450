#pragma once

#include <QString>

class CliOutput;
struct CliOptions;

// The `history` command: the updates recorded in the history file (both programs', newest last),
// a line each in the current language, or JSON or CSV; `--device` keeps the ones of an accessory
// (path, serial or identity) and `--last N` the newest N. Exit code Ok, also when there are none.
int showHistory(const CliOutput &out, const CliOptions &options, const QString &historyFile);
