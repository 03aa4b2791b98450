#pragma once

#include <QString>

class CliOutput;

// The `devices` command: every matching accessory with its path, its kind (V20 with the identity
// it reports, or legacy) and whether it can be opened. Returns the exit code: Ok when one is found,
// NoDevice when none is.
// With `busyText` set another copy holds the devices: each is named with that text, none opened.
int listDevices(const CliOutput &out, const QString &busyText = QString());
