#pragma once

#include "AccessoryScan.h"

class CliOutput;

// The `devices` command: name, kind, identity and state (free, busy, cannot open) of every
// accessory, as a table or JSON. Exit code: Ok when one is there that can be opened (or is busy in
// another copy), NoDevice when there is none, or none can be opened.
int listDevices(const CliOutput &out, bool json);
